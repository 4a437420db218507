// The command line of nimbrel-explore, which every front end reads alike.
#include "shell/explorer_command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrel {
namespace {

using Args = std::vector<std::string>;

TEST(ExplorerCommandLine, GoodLines) {
    const TExplorerProgram none = ParseExplorerCommandLine({});
    EXPECT_EQ(none.Explorer.SceneFile, "");
    EXPECT_EQ(none.Explorer.OutputFile, "scenes.mrp");
    EXPECT_FALSE(none.OutputGiven || none.Log || none.Help || none.Explorer.Palettes);

    const TExplorerProgram all = ParseExplorerCommandLine(
        {"-p", "pal", "--output=kept.mrp", "-t", "夕焼け", "-s", "640x360", "-m", "3", "--log",
         "C:\\a b\\tour.mrp"});
    EXPECT_EQ(all.Explorer.SceneFile, "C:\\a b\\tour.mrp");
    EXPECT_EQ(*all.Explorer.Palettes, "pal");
    EXPECT_EQ(all.Explorer.OutputFile, "kept.mrp");
    EXPECT_TRUE(all.OutputGiven);
    EXPECT_EQ(*all.Explorer.Title, "夕焼け");
    EXPECT_EQ(all.Explorer.Width, 640);
    EXPECT_EQ(all.Explorer.Height, 360);
    EXPECT_EQ(all.Explorer.DefaultDrawMode, dmAntialias);  // stored 3
    EXPECT_TRUE(all.Log);
    EXPECT_TRUE(ParseExplorerCommandLine({"--help", "-x"}).Help);
}

TEST(ExplorerCommandLine, BadLines) {
    for (const Args& args : {Args{"a.mrp", "b.mrp"}, Args{"-o", ""}, Args{"-s", "0x10"}, Args{"-s", "16385x10"},
                             Args{"-s", "10"}, Args{"-m", "9"}, Args{"-x"}, Args{"-p"}})
        EXPECT_THROW(ParseExplorerCommandLine(args), EUsageError) << args.front();
    const std::string usage = ExplorerUsage("Documents\\Nimbrel\\scenes.mrp", "the saver's\nfolder");
    EXPECT_NE(usage.find("(default Documents\\Nimbrel\\scenes.mrp)"), std::string::npos) << usage;
    EXPECT_NE(usage.find("the palette folder (default: the saver's\n"), std::string::npos) << usage;
    EXPECT_NE(usage.find("--log"), std::string::npos);
}

}  // namespace
}  // namespace nimbrel
