#include "platform/text_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <system_error>

#include "platform/exceptions.h"

namespace nimbrel {

bool HoldsNul(std::string_view Path) { return Path.find('\0') != std::string_view::npos; }

bool FileExists(const std::string& FileName) {
    // The system would read a name only up to a NUL and test another file.
    if (FileName.empty() || HoldsNul(FileName)) return false;
    std::error_code error;
    return std::filesystem::is_regular_file(std::filesystem::u8path(FileName), error);
}

std::string ExtractFileName(const std::string& FileName) {
    const std::size_t slash = FileName.find_last_of("\\/");
    return slash == std::string::npos ? FileName : FileName.substr(slash + 1);
}

std::ifstream OpenInputFile(const std::string& FileName) {
    if (HoldsNul(FileName)) throw EInOutError("Cannot open file \"" + FileName + "\". Invalid file name");
    errno = 0;
    std::ifstream in(std::filesystem::u8path(FileName), std::ios::in | std::ios::binary);
    if (!in.is_open()) {
        const int error = errno;
        throw EInOutError("Cannot open file \"" + FileName + "\". " +
                          (error ? std::strerror(error) : "Access is denied"));
    }
    return in;
}

void TLineReader::CountLine() {
    if (lineNumber_ == std::numeric_limits<int32_t>::max()) throw ERangeError();
    ++lineNumber_;
}

int TLineReader::NextByte(bool firstOfLine) {
    try {
        return input_.sbumpc();
    } catch (const std::exception& error) {
        // A file buffer reports a read error of the system with an exception of
        // the C++ library; it is the failure of the line being read.
        if (firstOfLine) CountLine();
        throw EInOutError(std::string("Read error: ") + error.what());
    }
}

TLineResult TLineReader::ReadLine(std::string& line) {
    using Traits = std::streambuf::traits_type;
    line.clear();
    int c = NextByte(true);
    if (Traits::eq_int_type(c, Traits::eof())) return TLineResult::lrEnd;
    CountLine();
    // One byte more than the limit is kept so that the CR of a CR LF does not
    // count towards the length.
    bool tooLong = false;
    for (; !Traits::eq_int_type(c, Traits::eof()); c = NextByte(false)) {
        const char ch = Traits::to_char_type(c);
        if (ch == '\n') break;
        if (line.size() <= MaxLineBytes)
            line.push_back(ch);
        else
            tooLong = true;
    }
    // Only the CR right before the LF belongs to the line end; a lone CR at
    // the very end of the file is text of the line.
    if (Traits::eq_int_type(c, Traits::to_int_type('\n')) && !tooLong && !line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > MaxLineBytes) {
        tooLong = true;
        line.resize(MaxLineBytes);
    }
    return tooLong ? TLineResult::lrTooLong : TLineResult::lrLine;
}

std::string PathToUtf8(const std::filesystem::path& Path) {
    const std::u8string text = Path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace nimbrel
