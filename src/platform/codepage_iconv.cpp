// DecodeCp932 and EncodeCp932 through the C library's iconv (glibc knows code
// page 932 as "CP932": 0x5C is the backslash and 0x7E the tilde, as on
// Windows).
#if !defined(_WIN32) && !defined(__EMSCRIPTEN__)

#include <iconv.h>

#include <cerrno>
#include <vector>

#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace nimbrel {

namespace {

const char* const kNoMapping = "No mapping for the Unicode character exists in the target multi-byte code page";

class TIconv {
public:
    TIconv(const char* to, const char* from) : handle_(iconv_open(to, from)) {
        if (handle_ == reinterpret_cast<iconv_t>(-1)) throw EConvertError("Code page 932 is not available");
    }
    ~TIconv() { iconv_close(handle_); }
    TIconv(const TIconv&) = delete;
    TIconv& operator=(const TIconv&) = delete;
    iconv_t Get() const { return handle_; }

private:
    iconv_t handle_;
};

// The whole of `input` through one conversion; any byte or character that
// does not convert raises EConvertError. `growth` bounds the output bytes per
// input byte.
std::string Convert(const char* to, const char* from, std::string_view input, std::size_t growth) {
    if (input.empty()) return {};
    TIconv converter(to, from);
    std::vector<char> output(input.size() * growth);
    // iconv takes a non-const input pointer but does not write through it.
    char* in = const_cast<char*>(input.data());
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    if (iconv(converter.Get(), &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
        throw EConvertError(kNoMapping);
    return std::string(output.data(), output.size() - outLeft);
}

}  // namespace

std::string DecodeCp932(std::string_view bytes) {
    // One byte of code page 932 gives at most three bytes of UTF-8.
    return Convert("UTF-8", "CP932", bytes, 3);
}

std::string EncodeCp932(std::string_view text) {
    // A character of UTF-8 takes at least as many bytes as its code in code
    // page 932.
    std::string bytes = Convert("CP932", "UTF-8", text, 1);
    // A character that the code page holds only as a look-alike of another
    // (iconv maps some of them) would read back as the other one.
    if (DecodeCp932(bytes) != text) throw EConvertError(kNoMapping);
    return bytes;
}

}  // namespace nimbrel

#endif  // !_WIN32 && !__EMSCRIPTEN__
