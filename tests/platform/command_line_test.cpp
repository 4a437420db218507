#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrel {
namespace {

constexpr TOptionStyle G = TOptionStyle::Gnu, S = TOptionStyle::SingleDash;

// A table of each style whose options note what they were given, as one text
// ("size=1x2 (--size) arg=-"); Parse's failure is its message.
TCommandLine Line(TOptionStyle style, std::string& seen) {
    const auto note = [&seen](const char* name) {
        return [&seen, name](const std::string& value, const std::string& written) {
            if (!seen.empty()) seen.append(" ");
            seen.append(name).append("=").append(value).append(" (").append(written).append(")");
        };
    };
    if (style == G)
        return TCommandLine(G, {{'s', "size", "WxH", "the size", note("size")},
                                {'o', "output", "FILE", "the file\nwritten", note("output")},
                                {0, "stats", "", "statistics", note("stats")},
                                {'h', "help", "", "this text", note("help"), true},
                                {'x', "", "", "", note("x")}});
    return TCommandLine(S, {{0, "", "", "Where:", nullptr},
                            {0, "mrp", "FILE", "the scene file", note("mrp")},
                            {0, "root", "", "the root window", note("root")},
                            {0, "h", "", "", note("h")}});
}

std::string Parsed(TOptionStyle style, const std::vector<std::string>& args) {
    std::string seen;
    try {
        const auto argument = [&](const std::string& a) { seen.append(seen.empty() ? "arg=" : " arg=").append(a); };
        if (!Line(style, seen).Parse(args, argument)) seen += " stopped";
    } catch (const EUsageError& error) {
        return error.what();
    }
    return seen;
}

TEST(CommandLine, GoodAndBadCommandLines) {
    const struct {
        TOptionStyle Style;
        std::vector<std::string> Args;
        const char* Seen;  // or the message
    } cases[] = {
        {G, {"-s", "1x2", "--size", "3", "--size=4=5", "--size="},
         "size=1x2 (-s) size=3 (--size) size=4=5 (--size) size= (--size)"},
        // A value is the next argument, whatever it holds.
        {G, {"-o", "-s", "--stats", "-x"}, "output=-s (-o) stats= (--stats) x= (-x)"},
        {G, {"-", "", "scenes.mrp"}, "arg=- arg= arg=scenes.mrp"},
        {G, {"--help", "--bogus"}, "help= (--help) stopped"},
        // The X11 show's table tests the single dash at length.
        {S, {"-mrp", "a", "--mrp", "b", "--h", "x"}, "mrp=a (-mrp) mrp=b (--mrp) h= (--h) arg=x"},
        {G, {"--size"}, "option --size needs a value"},
        {G, {"--siz", "1x2"}, "unknown option --siz"},
        {G, {"--stats=1"}, "unknown option --stats=1"},
        {G, {"-s=1x2"}, "unknown option -s=1x2"},
        {G, {"-s1x2"}, "unknown option -s1x2"},
        {G, {"--"}, "unknown option --"},
        {G, {"--x"}, "unknown option --x"},
        {S, {"-mrp=a"}, "unknown option -mrp=a"},
    };
    for (const auto& c : cases) EXPECT_EQ(Parsed(c.Style, c.Args), c.Seen);
}

TEST(CommandLine, TheUsageComesFromTheTable) {
    std::string seen;
    EXPECT_EQ(Line(G, seen).Usage(18),
              "  -s, --size WxH  the size\n"
              "  -o, --output FILE\n"
              "                  the file\n"
              "                  written\n"
              "      --stats     statistics\n"
              "  -h, --help      this text\n");
    EXPECT_EQ(Line(S, seen).Usage(14), "Where:\n  -mrp FILE   the scene file\n  -root       the root window\n");
}

}  // namespace
}  // namespace nimbrel
