#include "shell/view_link.h"

#include <array>
#include <vector>

#include "platform/codepage.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"
#include "scene/scene_writer.h"

namespace nimbrel {

namespace {

// The keys of a scene line, as the scene file spells them.
constexpr std::array<std::string_view, 19> kKeys = {"T",  "Title", "Cr", "Ci", "W",  "Jr", "Ji", "I",  "D",   "Pow",
                                                    "MCF", "DM",   "CM", "RE", "ER", "LD", "CO", "PB", "Memo"};

std::string_view KnownKey(std::string_view Key) {
    const std::string upper = UpperCase(Key);
    for (const std::string_view key : kKeys)
        if (UpperCase(key) == upper) return key;
    return {};
}

bool IsWholeNumberKey(std::string_view Key) {
    for (const std::string_view key : {"I", "D", "Pow", "DM", "CM", "RE", "LD", "PB"})
        if (key == Key) return true;
    return false;
}

bool IsNumberKey(std::string_view Key) {
    return IsWholeNumberKey(Key) || Key == "Cr" || Key == "Ci" || Key == "W" || Key == "Jr" || Key == "Ji" ||
           Key == "ER" || Key == "CO";
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9') return C - '0';
    if (C >= 'A' && C <= 'F') return C - 'A' + 10;
    if (C >= 'a' && C <= 'f') return C - 'a' + 10;
    return -1;
}

std::string Unescape(std::string_view Text) {
    std::string bytes;
    bytes.reserve(Text.size());
    for (std::size_t i = 0; i < Text.size(); ++i) {
        if (Text[i] != '%') {
            bytes.push_back(Text[i]);
            continue;
        }
        const int high = i + 2 < Text.size() ? HexDigit(Text[i + 1]) : -1;
        const int low = high >= 0 ? HexDigit(Text[i + 2]) : -1;
        if (low < 0) throw EConvertError("bad escape in the link: " + std::string(Text.substr(i, 3)));
        bytes.push_back(static_cast<char>(high * 16 + low));
        i += 2;
    }
    return bytes;
}

std::string Escape(std::string_view Bytes) {
    static const char* const kHex = "0123456789ABCDEF";
    std::string text;
    for (const char c : Bytes) {
        const auto byte = static_cast<unsigned char>(c);
        const bool plain = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                           (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' || byte == '_' || byte == '~';
        if (plain) {
            text.push_back(c);
        } else {
            text.push_back('%');
            text.push_back(kHex[byte >> 4]);
            text.push_back(kHex[byte & 15]);
        }
    }
    return text;
}

std::vector<std::string_view> Split(std::string_view Text, char Separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = Text.find(Separator);
        parts.push_back(Text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        Text.remove_prefix(at + 1);
    }
}

}  // namespace

std::string SceneLineOfLink(std::string_view Fragment) {
    if (!Fragment.empty() && Fragment.front() == '#') Fragment.remove_prefix(1);
    if (Fragment.size() > kMaxLinkBytes) throw EConvertError("the link is too long");
    if (Fragment.empty()) throw EConvertError("the link names no view");
    std::string kind;
    std::string fields;
    std::vector<std::string_view> seen;
    for (const std::string_view field : Split(Fragment, '&')) {
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos || equals == 0)
            throw EConvertError("a field of the link has no key: " + std::string(field.substr(0, 40)));
        const std::string_view key = KnownKey(field.substr(0, equals));
        if (key.empty()) throw EConvertError("unknown key in the link: " + std::string(field.substr(0, std::min<std::size_t>(equals, 40))));
        for (const std::string_view other : seen)
            if (other == key) throw EConvertError("the link gives " + std::string(key) + " twice");
        seen.push_back(key);
        const std::string value = Unescape(field.substr(equals + 1));
        for (const char c : value)
            if (static_cast<unsigned char>(c) < 32 || c == ',' || c == 127)
                throw EConvertError("the value of " + std::string(key) + " cannot stand in a scene line");
        std::string bytes;
        try {
            bytes = EncodeCp932(value);
        } catch (const EConvertError&) {
            throw EConvertError("the value of " + std::string(key) + " has a character no scene file can hold");
        }
        if (IsNumberKey(key) && !value.empty()) {
            try {
                if (IsWholeNumberKey(key))
                    (void)StrToInt(value);
                else
                    (void)StrToFloat(value);
            } catch (const Exception&) {
                throw EConvertError("the value of " + std::string(key) + " is no number: " + value.substr(0, 40));
            }
        }
        if (key == "T") {
            const std::string upper = UpperCase(bytes);
            if (upper != "MANDEL" && upper != "JULIA") throw EConvertError("the link's T is neither MANDEL nor JULIA");
            kind = upper;
            continue;
        }
        fields += ',';
        fields += key;
        fields += '=';
        fields += bytes;
    }
    if (kind.empty()) throw EConvertError("the link has no T (MANDEL or JULIA)");
    bool titled = false;
    for (const std::string_view key : seen) titled = titled || key == "Title";
    return "T=" + kind + (titled ? "" : ",Title=" + std::string(kLinkTitle)) + fields;
}

TRecommendationList ParseViewLink(std::string_view Fragment) {
    const std::string line = SceneLineOfLink(Fragment);
    TRecommendationList list;
    try {
        list.LoadFromBytes(line);
    } catch (const EAbort&) {
        throw EConvertError(list.ErrorMessage.empty() ? std::string("the link is no scene") : list.ErrorMessage);
    }
    if (list.Count() != 1) throw EConvertError("the link is no scene");
    return list;
}

std::string LinkOfSceneLine(std::string_view Line) {
    std::string link;
    const std::string normalized = TRecommendationList::NormalizeLine(Line);
    const std::vector<std::string_view> fields = Split(normalized, ',');
    for (const std::string_view field : fields) {
        const std::size_t equals = field.find('=');
        if (equals == std::string_view::npos || equals == 0) throw EConvertError("no scene line");
        const std::string_view key = field.substr(0, equals);
        const std::string_view value = field.substr(equals + 1);
        if (UpperCase(key) == "TITLE" && value == kLinkTitle) continue;
        if (!link.empty()) link += '&';
        link += key;
        link += '=';
        link += Escape(DecodeCp932(value));
    }
    if (fields.size() < 2 || link.rfind("T=", 0) != 0) throw EConvertError("no scene line");
    return link;
}

std::string FormatViewLink(const TRecommendation& Entry) { return LinkOfSceneLine(FormatRecommendation(Entry)); }

}  // namespace nimbrel
