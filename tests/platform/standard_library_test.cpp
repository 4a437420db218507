#include "platform/StandardLibrary.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "headless/recorded_error_box.h"
#include "platform/exceptions.h"
#include "shell/UScreenSaverInit.h"

namespace nimbrel {
namespace {

TEST(SaverMode, TheFirstArgumentDecidesAsAWholeAndInAnyCase) {
    const struct {
        std::vector<std::string> args;
        TSaverMode mode;
        int32_t parent;
    } cases[] = {
        {{}, smSetting, 0},
        {{"/s"}, smSaver, 0},
        {{"-S"}, smSaver, 0},
        {{"/p", "1234"}, smPreview, 1234},
        {{"/l", "$FF"}, smPreview, 255},
        {{"-P"}, smPreview, 0},
        {{"/a", "77"}, smChangePassword, 77},
        {{"/c"}, smSetting, 0},
        {{"/c:1234"}, smSetting, 0},
        {{"/s:1234"}, smSetting, 0},
        {{"/x"}, smSetting, 0},
        {{"/s", "99"}, smSaver, 99},
        {{"/p", "window"}, smPreview, 0},
        {{"/p", " 12"}, smPreview, 0},
    };
    for (const auto& c : cases) {
        const TSaverInit init = DecideSaverMode(c.args);
        EXPECT_EQ(init.SaverMode, c.mode) << (c.args.empty() ? "(none)" : c.args[0]);
        EXPECT_EQ(init.ParentWindow, c.parent) << (c.args.empty() ? "(none)" : c.args[0]);
    }
    EXPECT_EQ(DecideSaverMode({"/c:1234"}).Switch, "/C:1234");
}

TEST(StandardLibrary, HexToInt) {
    EXPECT_EQ(HexToInt("ff"), 255);
    EXPECT_EQ(HexToInt("0A"), 10);
    EXPECT_THROW(HexToInt(""), EConvertError);
    EXPECT_THROW(HexToInt("GG"), EConvertError);
    EXPECT_THROW(HexToInt("-1"), EConvertError);
}

TEST(StandardLibrary, FolderExistsLeavesTheCurrentDirectory) {
    namespace fs = std::filesystem;
    const fs::path before = fs::current_path();
    const fs::path temp = fs::temp_directory_path();
    EXPECT_TRUE(FolderExists(temp.string()));
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_FALSE(FolderExists((temp / "nimbrel-no-such-folder").string()));
    EXPECT_EQ(fs::current_path(), before);
    EXPECT_FALSE(FolderExists(""));
    EXPECT_FALSE(FolderExists(temp.string() + std::string("\0/nimbrel-no-such-folder", 24)));
    EXPECT_EQ(fs::current_path(), before);
}

TEST(StandardLibrary, ShowErrorGoesThroughTheErrorBox) {
    TRecordedErrorBox box;
    TScopedErrorBox installed(box);
    ShowError("この機能は使えません");
    ASSERT_EQ(box.Errors.size(), 1u);
    EXPECT_EQ(box.Errors[0], "この機能は使えません");
}

TEST(Application, TheSilentAbortShowsNothingAndOtherExceptionsTheExceptionBox) {
    TRecordedErrorBox box;
    TScopedErrorBox installed(box);
    Application().HandleException(EAbort());
    EXPECT_TRUE(box.Exceptions.empty());
    Application().HandleException(ERangeError("PotentialBright Error"));
    ASSERT_EQ(box.Exceptions.size(), 1u);
    EXPECT_EQ(box.Exceptions[0], "Nimbrel: PotentialBright Error");
}

}  // namespace
}  // namespace nimbrel
