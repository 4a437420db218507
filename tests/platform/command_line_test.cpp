#include "platform/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace nimbrel {
namespace {

// What a parse saw, as one text: "size=1x2 (--size) arg=- stats".
struct TSeen {
    std::string Text;
    void Add(const std::string& what) { Text += (Text.empty() ? "" : " ") + what; }
};

// An option's Take that notes its value and how it was written.
auto Note(TSeen& seen, const char* name) {
    return [&seen, name](const std::string& value, const std::string& written) {
        seen.Add(std::string(name) + "=" + value + " (" + written + ")");
    };
}

TCommandLine GnuLine(TSeen& seen) {
    const auto note = [&seen](const char* name) { return Note(seen, name); };
    return TCommandLine(TOptionStyle::Gnu, {
        {'s', "size", "WxH", "the size", note("size")},
        {'o', "output", "FILE", "the file\nwritten", note("output")},
        {0, "stats", "", "statistics", note("stats")},
        {'h', "help", "", "this text", note("help"), true},
        {'x', "", "", "", note("x")},
    });
}

TCommandLine SingleDashLine(TSeen& seen) {
    const auto note = [&seen](const char* name) { return Note(seen, name); };
    return TCommandLine(TOptionStyle::SingleDash, {
        {0, "", "", "Where:", nullptr},
        {0, "mrp", "FILE", "the scene file", note("mrp")},
        {0, "root", "", "the root window", note("root")},
        {0, "h", "", "", note("h")},
    });
}

std::string Parsed(TOptionStyle style, const std::vector<std::string>& args) {
    TSeen seen;
    const TCommandLine line = style == TOptionStyle::Gnu ? GnuLine(seen) : SingleDashLine(seen);
    if (!line.Parse(args, [&](const std::string& a) { seen.Add("arg=" + a); })) seen.Add("stopped");
    return seen.Text;
}

std::string Refused(TOptionStyle style, const std::vector<std::string>& args) {
    try {
        return "accepted: " + Parsed(style, args);
    } catch (const EUsageError& error) {
        return error.what();
    }
}

constexpr TOptionStyle G = TOptionStyle::Gnu, S = TOptionStyle::SingleDash;

TEST(CommandLine, GoodCommandLines) {
    const struct {
        TOptionStyle Style;
        std::vector<std::string> Args;
        const char* Seen;
    } cases[] = {
        {G, {"-s", "1x2"}, "size=1x2 (-s)"},
        {G, {"--size", "1x2"}, "size=1x2 (--size)"},
        {G, {"--size=1x2"}, "size=1x2 (--size)"},
        {G, {"--size="}, "size= (--size)"},
        {G, {"--size=a=b"}, "size=a=b (--size)"},
        // A value is the next argument, whatever it holds.
        {G, {"-o", "-s", "--stats"}, "output=-s (-o) stats= (--stats)"},
        {G, {"-", "", "scenes.mrp"}, "arg=- arg= arg=scenes.mrp"},
        {G, {"-x"}, "x= (-x)"},
        {G, {"--help", "--bogus"}, "help= (--help) stopped"},
        {S, {"-mrp", "a", "--mrp", "b"}, "mrp=a (-mrp) mrp=b (--mrp)"},
        {S, {"-root", "--root", "-h", "--h"}, "root= (-root) root= (--root) h= (-h) h= (--h)"},
        {S, {"scenes.mrp", ""}, "arg=scenes.mrp arg="},
    };
    for (const auto& c : cases) EXPECT_EQ(Parsed(c.Style, c.Args), c.Seen) << c.Seen;
}

TEST(CommandLine, BadCommandLines) {
    const struct {
        TOptionStyle Style;
        std::vector<std::string> Args;
        const char* Message;
    } cases[] = {
        {G, {"--bogus"}, "unknown option --bogus"},
        {G, {"--siz", "1x2"}, "unknown option --siz"},
        {G, {"-q"}, "unknown option -q"},
        {G, {"-s"}, "option -s needs a value"},
        {G, {"--size"}, "option --size needs a value"},
        {G, {"--stats=1"}, "unknown option --stats=1"},
        {G, {"-s=1x2"}, "unknown option -s=1x2"},
        {G, {"-s1x2"}, "unknown option -s1x2"},
        {G, {"--"}, "unknown option --"},
        {G, {"--x"}, "unknown option --x"},
        {S, {"---root"}, "unknown option ---root"},
        {S, {"-"}, "unknown option -"},
        {S, {"--"}, "unknown option --"},
        {S, {"-mrp"}, "option -mrp needs a value"},
        {S, {"--mrp"}, "option --mrp needs a value"},
        {S, {"-mrp=a"}, "unknown option -mrp=a"},
        {S, {"-size"}, "unknown option -size"},
    };
    for (const auto& c : cases) EXPECT_EQ(Refused(c.Style, c.Args), c.Message) << c.Message;
}

TEST(CommandLine, TheUsageComesFromTheTable) {
    TSeen seen;
    EXPECT_EQ(GnuLine(seen).Usage(18),
              "  -s, --size WxH  the size\n"
              "  -o, --output FILE\n"
              "                  the file\n"
              "                  written\n"
              "      --stats     statistics\n"
              "  -h, --help      this text\n");
    EXPECT_EQ(SingleDashLine(seen).Usage(14),
              "Where:\n"
              "  -mrp FILE   the scene file\n"
              "  -root       the root window\n");
}

}  // namespace
}  // namespace nimbrel
