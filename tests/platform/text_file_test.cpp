#include "platform/text_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/read_error.h"
#include "../support/temp_folder.h"
#include "platform/codepage.h"
#include "platform/exceptions.h"

namespace nimbrel {
namespace {

std::vector<std::string> Lines(std::string_view bytes) {
    TMemoryStreamBuf input(bytes);
    TLineReader reader(input);
    std::vector<std::string> lines;
    std::string line;
    while (reader.ReadLine(line) == TLineResult::lrLine) lines.push_back(line);
    EXPECT_EQ(reader.LineNumber(), static_cast<int32_t>(lines.size()));
    return lines;
}

TEST(TextFile, PhysicalLines) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Lines(""), V{});
    EXPECT_EQ(Lines("a\r\nb\r\n"), (V{"a", "b"}));
    EXPECT_EQ(Lines("a\nb\n"), (V{"a", "b"}));
    EXPECT_EQ(Lines("a\r\n\r\nb"), (V{"a", "", "b"}));  // the last line needs no end
    EXPECT_EQ(Lines("\n"), V{""});
    EXPECT_EQ(Lines("a\rb\r\r\n"), V{"a\rb\r"});      // only the CR before the LF ends the line
    EXPECT_EQ(Lines("a\r"), V{"a\r"});
    EXPECT_EQ(Lines(std::string("a\0b\n", 4)), V{std::string("a\0b", 3)});
}

TEST(TextFile, AnOverlongLineIsCutAndFlagged) {
    const std::size_t max = TLineReader::MaxLineBytes;
    const std::string bytes = std::string(max, 'x') + "\r\n" + std::string(max + 1, 'y') + "\nz";
    TMemoryStreamBuf input(bytes);
    TLineReader reader(input);
    std::string line;
    EXPECT_EQ(reader.ReadLine(line), TLineResult::lrLine);
    EXPECT_EQ(line.size(), max);
    EXPECT_EQ(reader.ReadLine(line), TLineResult::lrTooLong);
    EXPECT_EQ(line, std::string(max, 'y'));
    EXPECT_EQ(reader.ReadLine(line), TLineResult::lrLine);
    EXPECT_EQ(line, "z");
    EXPECT_EQ(reader.LineNumber(), 3);
    EXPECT_EQ(reader.ReadLine(line), TLineResult::lrEnd);
}

TEST(TextFile, AReadErrorFailsTheLineBeingRead) {
    const struct {
        const char* bytes;  // what is read before the error
        int32_t line;
    } cases[] = {
        {"", 1},
        {"a\r\nb\r\n", 3},  // at the start of a line
        {"a\r\nb", 2},       // inside a line
        {"a\n\n", 3},
    };
    for (const auto& c : cases) {
        testing::TFailingStreamBuf input(c.bytes);
        TLineReader reader(input);
        std::string line;
        EXPECT_THROW(while (reader.ReadLine(line) != TLineResult::lrEnd) {}, EInOutError) << c.bytes;
        EXPECT_EQ(reader.LineNumber(), c.line) << c.bytes;
    }
    std::ifstream file = OpenInputFile(testing::kUnreadableFile);
    TLineReader reader(*file.rdbuf());
    std::string line;
    EXPECT_THROW(reader.ReadLine(line), EInOutError);
    EXPECT_EQ(reader.LineNumber(), 1);
}

TEST(TextFile, ExistsNameAndOpen) {
    testing::TTempFolder folder;
    const std::string path = folder.Write("\xe7\x82\x8e.mcf", "x");
    EXPECT_TRUE(FileExists(path));
    EXPECT_FALSE(FileExists(folder.PathOf("")));
    EXPECT_FALSE(FileExists(folder.PathOf("none")));
    EXPECT_FALSE(FileExists(""));
    // The system would see only the part before a NUL, a file that exists.
    const std::string cut = path + std::string("\0x", 2);
    EXPECT_FALSE(FileExists(cut));
    EXPECT_THROW(OpenInputFile(cut), EInOutError);
    EXPECT_EQ(ExtractFileName(path), "\xe7\x82\x8e.mcf");
    EXPECT_EQ(ExtractFileName("C:\\mcf\\fire.mcf"), "fire.mcf");
    EXPECT_EQ(ExtractFileName("fire.mcf"), "fire.mcf");
    EXPECT_THROW(OpenInputFile(folder.PathOf("none")), EInOutError);
}

TEST(CodePage, DecodeCp932) {
    const struct {
        const char* bytes;
        const char* utf8;
    } cases[] = {
        {"", ""},
        {"fire", "fire"},
        {"\x89\x8a", "炎"},
        {"\x91S\x91\xcc\x90}", "全体図"},
        {"C:\\mcf", "C:\\mcf"},       // 0x5C is the backslash, not the yen sign
        {"\xb1\xdd", "ｱﾝ"},           // half-width katakana are single bytes
        {"\x87\x40", "①"},            // an NEC special character of code page 932
        {"\x95\x5c", "表"},           // a trail byte that looks like a backslash
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeCp932(c.bytes), c.utf8) << c.bytes;
    for (const char* bad : {"\x89", "a\x81", "\x80", "\xa0", "\x85\x40"})
        EXPECT_THROW(DecodeCp932(bad), EConvertError) << bad;
}

// Encoding gives the bytes that decode to the same text, and refuses text that
// code page 932 holds only as a look-alike of another character, or not at all.
TEST(CodePage, EncodeCp932) {
    const struct {
        const char* utf8;
        const char* bytes;
    } cases[] = {
        {"", ""},
        {"Scene 1", "Scene 1"},
        {"炎", "\x89\x8a"},
        {"夕焼けの小さな複製", "\x97\x5b\x8f\xc4\x82\xaf\x82\xcc\x8f\xac\x82\xb3\x82\xc8\x95\xa1\x90\xbb"},
        {"C:\\mcf~", "C:\\mcf~"},
        {"ｱﾝ", "\xb1\xdd"},
        {"①", "\x87\x40"},
        {"表", "\x95\x5c"},
        {"～", "\x81\x60"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeCp932(c.utf8), c.bytes) << c.utf8;
        EXPECT_EQ(DecodeCp932(EncodeCp932(c.utf8)), c.utf8) << c.utf8;
    }
    // Emoji, accented Latin and the euro sign have no code; the yen sign, the
    // overline, the wave dash and the minus sign would come back as the
    // backslash, the tilde, the full-width tilde and the full-width hyphen;
    // broken UTF-8 is no text.
    for (const char* bad : {"😀", "é", "€", "¥", "‾", "〜", "−", "a\xff", "\xe7\x82", "\xc0\xaf"})
        EXPECT_THROW(EncodeCp932(bad), EConvertError) << bad;
}

}  // namespace
}  // namespace nimbrel
