#include "platform/file_settings_store.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

#include "platform/sysutils.h"

namespace nimbrel {

namespace {

const char* const kHeader =
    "; Nimbrel settings: the keys of the current user's registry that the program uses.\n"
    "; [path] starts a key. \"name\"=\"text\" is a string value, \"name\"=dword:0000000a a 32-bit\n"
    "; integer. Inside quotes \\\\ stands for \\, \\\" for \" and \\xHH for any byte.\n"
    "; The program rewrites this file when it saves; comments are not kept.\n";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

void AppendHexByte(std::string& out, unsigned char byte) {
    const char* const digits = "0123456789abcdef";
    out.push_back(digits[byte >> 4]);
    out.push_back(digits[byte & 15]);
}

void AppendQuoted(std::string& out, std::string_view text) {
    out.push_back('"');
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(c);
        } else if (byte < 32 || byte == 127) {
            out.append("\\x");
            AppendHexByte(out, byte);
        } else {
            out.push_back(c);
        }
    }
    out.push_back('"');
}

// Keys without values whose children are written: their sections would only
// repeat what the children's paths say.
std::vector<bool> ImpliedParents(const TSettingsData& data) {
    std::vector<std::string> paths;
    for (const TSettingsKeyData& key : data.Keys()) paths.push_back(UpperCase(key.Path) + "\\");
    std::vector<bool> implied(paths.size(), false);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!data.Keys()[i].Values.empty()) continue;
        for (std::size_t j = 0; j < paths.size() && !implied[i]; ++j)
            implied[i] = j != i && (i == 0 || paths[j].compare(0, paths[i].size(), paths[i]) == 0);
    }
    return implied;
}

// Reads one line of the file; the failures name the file and the line.
class TLineParser {
public:
    TLineParser(std::string_view line, const std::string& fileName, int lineNumber)
        : rest_(line), fileName_(fileName), lineNumber_(lineNumber) {}

    [[noreturn]] void Fail(const std::string& what) const {
        throw ERegistryException(fileName_ + ", line " + std::to_string(lineNumber_) + ": " + what);
    }

    bool AtEnd() const { return rest_.empty(); }

    bool Skip(std::string_view text) {
        if (rest_.substr(0, text.size()) != text) return false;
        rest_.remove_prefix(text.size());
        return true;
    }

    void Expect(std::string_view text, const char* what) {
        if (!Skip(text)) Fail(what);
    }

    void SkipBlanks() {
        while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
    }

    std::string Quoted() {
        Expect("\"", "a quote expected");
        std::string text;
        for (;;) {
            if (rest_.empty()) Fail("the closing quote is missing");
            const char c = rest_.front();
            rest_.remove_prefix(1);
            if (c == '"') return text;
            if (c != '\\') {
                text.push_back(c);
                continue;
            }
            if (rest_.empty()) Fail("the closing quote is missing");
            const char escaped = rest_.front();
            rest_.remove_prefix(1);
            if (escaped == '"' || escaped == '\\') {
                text.push_back(escaped);
            } else if (escaped == 'x' && rest_.size() >= 2 && HexDigit(rest_[0]) >= 0 && HexDigit(rest_[1]) >= 0) {
                text.push_back(static_cast<char>(HexDigit(rest_[0]) * 16 + HexDigit(rest_[1])));
                rest_.remove_prefix(2);
            } else {
                Fail("unknown escape \\" + std::string(1, escaped));
            }
        }
    }

    int32_t Dword() {
        uint32_t pattern = 0;
        int digits = 0;
        while (!rest_.empty() && HexDigit(rest_.front()) >= 0) {
            if (++digits > 8) Fail("a dword has at most eight hexadecimal digits");
            pattern = (pattern << 4) | static_cast<uint32_t>(HexDigit(rest_.front()));
            rest_.remove_prefix(1);
        }
        if (digits == 0) Fail("hexadecimal digits expected after dword:");
        return static_cast<int32_t>(pattern);
    }

    std::string Bytes() {
        std::string bytes;
        SkipBlanks();
        while (!rest_.empty()) {
            if (!bytes.empty()) {
                Expect(",", "a comma expected between the bytes");
                SkipBlanks();
            }
            if (rest_.size() < 2 || HexDigit(rest_[0]) < 0 || HexDigit(rest_[1]) < 0)
                Fail("two hexadecimal digits expected for each byte");
            bytes.push_back(static_cast<char>(HexDigit(rest_[0]) * 16 + HexDigit(rest_[1])));
            rest_.remove_prefix(2);
            SkipBlanks();
        }
        return bytes;
    }

private:
    std::string_view rest_;
    const std::string& fileName_;
    const int lineNumber_;
};

void ParseValue(TLineParser& line, TSettingsKeyData& key) {
    const std::string name = line.Quoted();
    line.SkipBlanks();
    line.Expect("=", "\"=\" expected after the value name");
    line.SkipBlanks();
    TSettingsValue value{name, TRegDataType::rdString, {}, 0};
    if (line.Skip("dword:")) {
        value.Type = TRegDataType::rdInteger;
        value.Integer = line.Dword();
    } else if (line.Skip("expand:")) {
        value.Type = TRegDataType::rdExpandString;
        value.Data = line.Quoted();
    } else if (line.Skip("hex:")) {
        value.Type = TRegDataType::rdBinary;
        value.Data = line.Bytes();
    } else {
        value.Data = line.Quoted();
    }
    line.SkipBlanks();
    if (!line.AtEnd()) line.Fail("nothing may follow the value");
    key.PutValue(name) = std::move(value);
}

}  // namespace

std::string FormatSettingsFile(const TSettingsData& Data) {
    std::string out = kHeader;
    const std::vector<bool> implied = ImpliedParents(Data);
    for (std::size_t k = 0; k < Data.Keys().size(); ++k) {
        const TSettingsKeyData& key = Data.Keys()[k];
        if (implied[k] || (key.Path.empty() && key.Values.empty())) continue;
        out.append("\n[").append(key.Path).append("]\n");
        for (const TSettingsValue& value : key.Values) {
            AppendQuoted(out, value.Name);
            out.push_back('=');
            switch (value.Type) {
                case TRegDataType::rdInteger: {
                    char digits[16];
                    std::snprintf(digits, sizeof digits, "dword:%08x", static_cast<uint32_t>(value.Integer));
                    out.append(digits);
                    break;
                }
                case TRegDataType::rdExpandString:
                    out.append("expand:");
                    AppendQuoted(out, value.Data);
                    break;
                case TRegDataType::rdBinary:
                    out.append("hex:");
                    for (std::size_t i = 0; i < value.Data.size(); ++i) {
                        if (i > 0) out.push_back(',');
                        AppendHexByte(out, static_cast<unsigned char>(value.Data[i]));
                    }
                    break;
                default:
                    AppendQuoted(out, value.Data);
                    break;
            }
            out.push_back('\n');
        }
    }
    return out;
}

TSettingsData ParseSettingsFile(std::string_view Text, const std::string& FileName) {
    TSettingsData data;
    if (Text.substr(0, 3) == "\xEF\xBB\xBF") Text.remove_prefix(3);  // a byte-order mark some editors add
    std::string currentPath;
    bool inKey = false;
    int lineNumber = 0;
    while (!Text.empty()) {
        const std::size_t end = Text.find('\n');
        const std::string_view raw = Text.substr(0, end);
        Text.remove_prefix(end == std::string_view::npos ? Text.size() : end + 1);
        ++lineNumber;
        const std::string_view line = TrimBlanks(raw);
        if (line.empty() || line.front() == ';' || line.front() == '#') continue;
        TLineParser parser(line, FileName, lineNumber);
        if (line.front() == '[') {
            if (line.back() != ']' || line.size() < 2) parser.Fail("\"]\" expected at the end of the key");
            try {
                currentPath = data.CreateKey(line.substr(1, line.size() - 2)).Path;
            } catch (const ERegistryException& error) {
                parser.Fail(error.Message());
            }
            inKey = true;
        } else if (line.front() == '"') {
            if (!inKey) parser.Fail("a value before the first [key]");
            ParseValue(parser, data.CreateKey(currentPath));
        } else {
            parser.Fail("[key] or \"name\"=value expected");
        }
    }
    return data;
}

std::string TFileSettingsStore::DefaultFileName() {
    namespace fs = std::filesystem;
    const char* config = std::getenv("XDG_CONFIG_HOME");
    fs::path folder;
    if (config && fs::u8path(config).is_absolute()) {
        folder = fs::u8path(config);
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) throw ERegistryException("No folder for the settings: neither XDG_CONFIG_HOME nor HOME is set");
        folder = fs::u8path(home) / ".config";
    }
    const std::u8string name = (folder / "nimbrel" / "registry.ini").u8string();
    return std::string(name.begin(), name.end());
}

TSettingsData TFileSettingsStore::Load() const {
    namespace fs = std::filesystem;
    const fs::path path = fs::u8path(fileName_);
    std::error_code error;
    if (!fs::exists(path, error)) return {};
    if (!fs::is_regular_file(path, error)) throw ERegistryException("The settings file " + fileName_ + " is no file");
    std::ifstream in(path, std::ios::in | std::ios::binary);
    if (!in.is_open()) throw ERegistryException("Cannot read the settings file " + fileName_);
    std::string text;
    char buffer[4096];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        if (text.size() + static_cast<std::size_t>(in.gcount()) > MaxFileBytes)
            throw ERegistryException("The settings file " + fileName_ + " is too large");
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
    }
    if (in.bad()) throw ERegistryException("Cannot read the settings file " + fileName_);
    return ParseSettingsFile(text, fileName_);
}

void TFileSettingsStore::Store(const TSettingsData& Data) const {
    namespace fs = std::filesystem;
    const fs::path path = fs::u8path(fileName_);
    const fs::path temporary = fs::u8path(fileName_ + ".new");
    std::error_code error;
    if (path.has_parent_path()) fs::create_directories(path.parent_path(), error);
    const std::string text = FormatSettingsFile(Data);
    {
        std::ofstream out(temporary, std::ios::out | std::ios::binary | std::ios::trunc);
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.close();
        if (!out) {
            fs::remove(temporary, error);
            throw ERegistryException("Cannot write the settings file " + fileName_);
        }
    }
    fs::rename(temporary, path, error);
    if (error) {
        fs::remove(temporary, error);
        throw ERegistryException("Cannot write the settings file " + fileName_);
    }
}

void TFileSettingsStore::Read(const std::function<void(const TSettingsData&)>& Action) { Action(Load()); }

void TFileSettingsStore::Update(const std::function<void(TSettingsData&)>& Action) {
    const TSettingsData before = Load();
    TSettingsData after = before;
    Action(after);
    if (!(after == before)) Store(after);
}

}  // namespace nimbrel
