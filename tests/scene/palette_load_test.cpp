// LoadPalette: what the user is told, and that a refused file leaves
// the colours as they were.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "../support/read_error.h"
#include "../support/temp_folder.h"
#include "engine/mandel_class.h"
#include "headless/recorded_error_box.h"
#include "platform/exceptions.h"
#include "scene/Hmcfr.h"

namespace nimbrel {
namespace {

class PaletteFile : public ::testing::Test {
protected:
    TRecordedErrorBox box;
    TScopedErrorBox scoped{box};
    testing::TTempFolder folder;
    TMandel engine;
};

TEST_F(PaletteFile, InstallsTheColoursOfTheFile) {
    LoadPalette(engine, folder.Write("grey.mcf", "* grey\r\n102030\r\n#GRAD 000000,FFFFFF,2\r\nFFFFFF\r\n"));
    EXPECT_TRUE(box.Errors.empty());
    EXPECT_EQ(engine.GetColorCount(), 3);
    EXPECT_EQ(engine.GetColorTable(), (TPaletteArray{0x302010, 0, 0x808080, 0xFFFFFF}));
    EXPECT_EQ(engine.CountToColor(0), 0x302010);  // the first colour is the set's
}

TEST_F(PaletteFile, RefusesWithTheTextOfEachFailure) {
    const struct {
        const char* name;
        const char* bytes;  // nullptr: no such file
        const char* message;
        const char* linkTo = nullptr;  // the file is a link to this one
    } cases[] = {
        {"\xe7\x82\x8e.mcf", nullptr, "\xe7\x82\x8e.mcfがありません"},  // 炎.mcf, without its folder
        {"bad.mcf", "* a\r\n\r\n000000\r\n*b\r\nGG0000\r\n", "5 行目にｴﾗｰがあります"},
        {"huge.mcf", "#GRAD 000000,FFFFFF,2000000000\n", "1 行目にｴﾗｰがあります"},
        {"empty.mcf", "* nothing\r\n#COMMENT\r\n", "色が１色も指定してありません"},
        {"unreadable.mcf", nullptr, "1 行目にｴﾗｰがあります", testing::kUnreadableFile},  // a read error
    };
    const TPaletteArray before = engine.GetColorTable();
    for (const auto& c : cases) {
        box.Errors.clear();
        const std::string path = c.bytes ? folder.Write(c.name, c.bytes) : folder.PathOf(c.name);
        if (c.linkTo) std::filesystem::create_symlink(c.linkTo, path);
        EXPECT_THROW(LoadPalette(engine, path), EAbort) << c.name;
        EXPECT_EQ(box.Errors, std::vector<std::string>{c.message}) << c.name;
        EXPECT_EQ(engine.GetColorTable(), before) << c.name;
        EXPECT_EQ(engine.GetColorCount(), 127) << c.name;
    }
}

TEST_F(PaletteFile, OneColourIsDoubledWithAWarning) {
    EXPECT_NO_THROW(LoadPalette(engine, folder.Write("one.mcf", "FF8000")));
    EXPECT_EQ(box.Errors, std::vector<std::string>{"色が１色しかないです。もっと増やして下さい"});
    EXPECT_EQ(engine.GetColorCount(), 1);
    EXPECT_EQ(engine.GetColorTable(), (TPaletteArray{0x0080FF, 0x0080FF}));
    EXPECT_EQ(engine.CountToColor(5), 0x0080FF);
}

}  // namespace
}  // namespace nimbrel
