#include "platform/codepage_table.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace nimbrel {

namespace {

struct TCp932Pair {
    uint32_t From;
    uint32_t To;
};

#include "platform/cp932_table.inc"

const char* const kNoMapping = "No mapping for the Unicode character exists in the target multi-byte code page";

// The To of From in a table sorted by From, or -1.
int64_t Lookup(const TCp932Pair* first, const TCp932Pair* last, uint32_t from) {
    const TCp932Pair* at = std::lower_bound(first, last, from, [](const TCp932Pair& p, uint32_t v) { return p.From < v; });
    return at != last && at->From == from ? int64_t{at->To} : -1;
}

int64_t DecodeCode(uint32_t code) { return Lookup(std::begin(kCp932Decode), std::end(kCp932Decode), code); }

void AppendUtf8(std::string& out, uint32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

// The next character of strict UTF-8 at text[i] (advancing i), or -1.
int64_t NextUtf8(std::string_view text, std::size_t& i) {
    const auto byte = [&](std::size_t k) { return static_cast<uint32_t>(static_cast<unsigned char>(text[k])); };
    const uint32_t b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int length = 0;
    uint32_t c = 0, least = 0;
    if (b0 >= 0xC2 && b0 <= 0xDF) length = 2, c = b0 & 0x1F, least = 0x80;
    else if (b0 >= 0xE0 && b0 <= 0xEF) length = 3, c = b0 & 0x0F, least = 0x800;
    else if (b0 >= 0xF0 && b0 <= 0xF4) length = 4, c = b0 & 0x07, least = 0x10000;
    else return -1;
    if (i + length > text.size()) return -1;
    for (int k = 1; k < length; ++k) {
        const uint32_t b = byte(i + k);
        if ((b & 0xC0) != 0x80) return -1;
        c = (c << 6) | (b & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return -1;
    i += length;
    return c;
}

}  // namespace

std::string DecodeCp932ByTable(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const auto first = static_cast<uint32_t>(static_cast<unsigned char>(bytes[i]));
        int64_t c = DecodeCode(first);
        if (c >= 0) {
            ++i;
        } else {
            if (i + 1 >= bytes.size()) throw EConvertError(kNoMapping);
            c = DecodeCode((first << 8) | static_cast<unsigned char>(bytes[i + 1]));
            if (c < 0) throw EConvertError(kNoMapping);
            i += 2;
        }
        AppendUtf8(text, static_cast<uint32_t>(c));
    }
    return text;
}

std::string EncodeCp932ByTable(std::string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const int64_t c = NextUtf8(text, i);
        const int64_t code = c < 0 ? -1 : Lookup(std::begin(kCp932Encode), std::end(kCp932Encode), static_cast<uint32_t>(c));
        if (code < 0) throw EConvertError(kNoMapping);
        if (code > 0xFF) bytes.push_back(static_cast<char>(code >> 8));
        bytes.push_back(static_cast<char>(code & 0xFF));
    }
    return bytes;
}

#ifdef __EMSCRIPTEN__
// The browser's C library has no code page 932.
std::string DecodeCp932(std::string_view bytes) { return DecodeCp932ByTable(bytes); }
std::string EncodeCp932(std::string_view text) { return EncodeCp932ByTable(text); }
#endif

}  // namespace nimbrel
