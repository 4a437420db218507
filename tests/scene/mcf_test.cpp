#include "scene/Hmcfr.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "../support/read_error.h"
#include "../support/temp_folder.h"
#include "platform/exceptions.h"
#include "platform/text_file.h"

namespace nimbrel {
namespace {

constexpr int32_t Grey(int32_t v) { return v | (v << 8) | (v << 16); }
constexpr int32_t Rgb(int32_t r, int32_t g, int32_t b) { return r | (g << 8) | (b << 16); }

TEST(Mcf, TrimCommaFields) {
    const struct {
        const char* text;
        const char* trimmed;
    } cases[] = {
        {" 000000 , FFFFFF ,\t4 ", "000000,FFFFFF,4"},
        {"  abc  ", "abc"},
        {",,", ",,"},
        {" , ", ","},
        {"a\x01,\x1f b", "a,b"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(TrimCommaFields(c.text), c.trimmed) << c.text;
}

TEST(Mcf, GoodLinesAppendTheirColours) {
    const struct {
        const char* line;
        std::vector<int32_t> colors;
    } cases[] = {
        {"FF8000", {Rgb(255, 128, 0)}},
        {"ff0000 red", {Rgb(255, 0, 0)}},
        {"FFFFF", {Rgb(255, 255, 15)}},  // a single last digit is a number of its own
        {"#GRAD 000000, FFFFFF, 4", {Grey(0), Grey(64), Grey(128), Grey(191)}},
        {"#grad 000000,ffffff,2", {Grey(0), Grey(128)}},  // 127.5 goes to the even 128
        {"#Grad   FF0000 ,0000FF , 2  ", {Rgb(255, 0, 0), Rgb(127, 0, 128)}},  // -127.5 goes to -128
        {"#GRAD 000000,FFFFFF,$2", {Grey(0), Grey(128)}},
        {"#GRAD 000000,FFFFFF,-3", {}},
        {"#LINE 0,32,255,0,0,0,10",
         {Rgb(0, 255, 0), Rgb(32, 255, 0), Rgb(64, 255, 0), Rgb(96, 255, 0), Rgb(128, 255, 0), Rgb(160, 255, 0),
          Rgb(192, 255, 0), Rgb(224, 255, 0), Rgb(0, 255, 0), Rgb(32, 255, 0)}},
        {"#LINE 250,10,0,0,0,0,3", {Rgb(250, 0, 0), Rgb(4, 0, 0), Rgb(14, 0, 0)}},
        {"#LINE 5,-10,0,0,0,0,2", {Rgb(5, 0, 0), Rgb(0, 0, 0)}},
        {"#line 0, 0, 300, 0, -1, 0.5e1, 2", {Rgb(0, 44, 0), Rgb(0, 44, 4)}},
        {"#LINE $10,1.5,0,0,0,0,3", {Rgb(16, 0, 0), Rgb(18, 0, 0), Rgb(19, 0, 0)}},
        {"#LINE 0,1,0,1,0,1,0", {}},
        {"#COMMENT", {}},
        {"#", {}},
        {"#GRA", {}},
    };
    for (const auto& c : cases) {
        TPalette palette;
        palette.ParseLine(c.line);
        std::vector<int32_t> colors;
        for (int32_t i = 0; i <= palette.LastIndex(); ++i) colors.push_back(palette.GetItem(i));
        EXPECT_EQ(colors, c.colors) << c.line;
    }
}

const char* const kBadLines[] = {
    "  FF0000",                         // leading blanks
    "GG0000",
    "FF",
    "+F0000",
    "#GRADIENT 000000,FFFFFF,4",        // no space after the keyword
    "#GRAD",
    "#GRAD\t000000,FFFFFF,4",
    "#GRAD 000000,FFFFFF,0",            // a step of N = 0
    "#GRAD 000000 FFFFFF,4",
    "#GRAD 000000,FFFFFF",
    "#GRAD 000000,FFFFFF,4x",
    "#GRAD 00000,FFFFFF,4",
    "#GRAD 000000,FFFFFF,2000000000",   // past the palette bound
    "#LINE 0,1,0,1,0,1",                // N missing
    "#LINE 0,1,0,1,0,1,",
    "#LINE 0,x,0,0,0,0,1",
    "#LINE 0.5,1,0,0,0,0,1",            // a start value is an integer
    "#LINE 0,nan,0,0,0,0,2",
    "#LINE 0,1e999,0,0,0,0,2",
    "#LINE 0,1e300,0,0,0,0,2",          // a step beyond any integer
    "#LINE 2147483647,9.2233720368547e18,0,0,0,0,2",  // a sum beyond 64 bits
    "#LINE 0,1,0,1,0,1,2000000000",     // past the palette bound
};

TEST(Mcf, BadLinesFailWithTheSilentAbort) {
    for (const char* line : kBadLines) {
        TPalette palette;
        EXPECT_THROW(palette.ParseLine(line), EAbort) << line;
    }
}

TEST(Mcf, AFileReportsThePhysicalLineThatFailed) {
    for (const char* end : {"\r\n", "\n"}) {
        for (const char* line : kBadLines) {
            std::string file;
            for (const char* l : {"* comment", "", "000000", "#COMMENT"}) file.append(l).append(end);
            file.append(line).append(end).append("FFFFFF").append(end);
            TPaletteArray colors{1, 2};
            EXPECT_EQ(ReadMcfBytes(file, colors), 5) << line;
            EXPECT_EQ(colors, (TPaletteArray{1, 2})) << line;
        }
    }
    // A read error of the system fails the line being read.
    const struct {
        const char* bytes;  // what is read before the error
        int32_t line;
    } readErrors[] = {{"", 1}, {"000000\r\n* c\r\n", 3}, {"000000\r\nFF", 2}};
    for (const auto& c : readErrors) {
        testing::TFailingStreamBuf input(c.bytes);
        TPaletteArray colors{1, 2};
        EXPECT_EQ(ReadMcfStream(input, colors), c.line) << c.bytes;
        EXPECT_EQ(colors, (TPaletteArray{1, 2})) << c.bytes;
    }
}

TEST(Mcf, FilesWithTheirResults) {
    const struct {
        std::string bytes;
        int32_t code;
        TPaletteArray colors;
    } cases[] = {
        {"000000\r\n#GRAD 000000,FFFFFF,2\r\nFFFFFF\r\n", 0, {0, 0, Grey(128), Grey(255)}},
        {"000000\n#GRAD 000000,FFFFFF,2\nFFFFFF\n", 0, {0, 0, Grey(128), Grey(255)}},
        {"000000\r\nFFFFFF", 0, {0, Grey(255)}},    // a last line without its end
        {"000000\nGG\n", 2, {}},
        {"000000\r\n\r\n\r\nGG", 4, {}},
        {"000000\rGG\n", 0, {0}},                   // a lone CR ends no line
        {"* \x83p\x83\x8c\x83" "b\x83g\r\n#\x90" "F COMMENT\r\n123456 \x90\xd4\r\n", 0, {Rgb(0x12, 0x34, 0x56)}},
        {"", mcfNoColor, {}},
        {"* only\n\n*comments\n#COMMENT\n", mcfNoColor, {}},
        {"#GRAD 000000,FFFFFF,-1\n", mcfNoColor, {}},
    };
    for (const auto& c : cases) {
        TPaletteArray colors{7};
        EXPECT_EQ(ReadMcfBytes(c.bytes, colors), c.code) << c.bytes;
        EXPECT_EQ(colors, c.code == 0 ? c.colors : TPaletteArray{7}) << c.bytes;
    }
}

TEST(Mcf, TheStorageDoublesAndKeepsTheOrder) {
    TPalette palette;
    EXPECT_EQ(palette.Capacity(), 1024u);
    EXPECT_FALSE(palette.HasColors());
    for (int32_t i = 0; i < 1025; ++i) palette.Add(i);
    EXPECT_EQ(palette.Capacity(), 2048u);
    EXPECT_EQ(palette.LastIndex(), 1024);
    for (int32_t i = 0; i < 1025; ++i) ASSERT_EQ(palette.GetItem(i), i);
    EXPECT_THROW(palette.GetItem(1025), EAbort);
    EXPECT_THROW(palette.GetItem(-1), ERangeError);
}

TEST(Mcf, ThePaletteIsBounded) {
    const std::string full = "#GRAD 000000,FFFFFF," + std::to_string(TPalette::MaxEntries) + "\n";
    TPaletteArray colors;
    EXPECT_EQ(ReadMcfBytes(full, colors), 0);
    EXPECT_EQ(colors.size(), static_cast<std::size_t>(TPalette::MaxEntries));
    EXPECT_EQ(colors.back(), Grey(255));
    TPaletteArray kept{1};
    EXPECT_EQ(ReadMcfBytes(full + "* one more\nFFFFFF\n", kept), 3);
    EXPECT_EQ(kept, TPaletteArray{1});
}

TEST(Mcf, AnOverlongLineFailsOnItsLine) {
    const std::string file = "000000\n" + std::string(TLineReader::MaxLineBytes + 1, '*') + "\nFFFFFF\n";
    TPaletteArray colors{1};
    EXPECT_EQ(ReadMcfBytes(file, colors), 2);
    const std::string longest = "000000\n*" + std::string(TLineReader::MaxLineBytes - 1, ' ') + "\r\nFFFFFF\n";
    EXPECT_EQ(ReadMcfBytes(longest, colors), 0);
    EXPECT_EQ(colors.size(), 2u);
}

TEST(Mcf, ReadMcfFileFromDisk) {
    testing::TTempFolder folder;
    TPaletteArray colors{9};
    EXPECT_EQ(ReadMcfFile(folder.PathOf("missing.mcf"), colors), mcfFileNotFound);
    EXPECT_EQ(ReadMcfFile(folder.PathOf(""), colors), mcfFileNotFound);  // a folder is no file
    EXPECT_EQ(ReadMcfFile(testing::kUnreadableFile, colors), 1);
    EXPECT_EQ(colors, TPaletteArray{9});
    const std::string path = folder.Write("\xe7\x82\x8e.mcf", "000000\r\n#GRAD 000000,FFFFFF,2\r\n");  // 炎.mcf
    EXPECT_EQ(ReadMcfFile(path, colors), 0);
    EXPECT_EQ(colors, (TPaletteArray{0, 0, Grey(128)}));
}

}  // namespace
}  // namespace nimbrel
