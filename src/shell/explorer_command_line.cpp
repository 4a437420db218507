#include "shell/explorer_command_line.h"

#include "platform/sysutils.h"
#include "values/fractal_types.h"

namespace nimbrel {

namespace {

// The defaults that the help of -o and -p names.
struct TDefaultsHelp {
    std::string Output;
    std::string Palettes;
};

// The options; the table holds the texts of Help by reference.
TCommandLine ExplorerOptions(TExplorerProgram& Program, const TDefaultsHelp& Help) {
    TExplorerOptions& explorer = Program.Explorer;
    return TCommandLine(TOptionStyle::Gnu, {
        {'p', "palettes", "DIR", Help.Palettes,
         [&](const std::string& text, const std::string&) { explorer.Palettes = text; }},
        {'o', "output", "FILE", Help.Output,
         [&](const std::string& text, const std::string&) {
             if (text.empty()) throw EUsageError("empty output file name");
             explorer.OutputFile = text;
             Program.OutputGiven = true;
         }},
        {'t', "title", "TEXT", "the title of the scenes kept (default \"Scene N\")",
         [&](const std::string& text, const std::string&) { explorer.Title = text; }},
        {'s', "size", "WxH", "the picture size of the window at the start (default 960x540)",
         [&](const std::string& text, const std::string&) {
             int32_t w = 0, h = 0;
             if (!TryParseSize(text, w, h) || w <= 0 || h <= 0 || w > 16384 || h > 16384)
                 throw EUsageError("bad size " + text);
             explorer.Width = w;
             explorer.Height = h;
         }},
        {'m', "draw-mode", "N", "the draw mode (its DM number, below) of the start and of\n"
                                "scenes that name none (default 4, as in the settings)",
         [&](const std::string& text, const std::string&) {
             if (!TryStoredDrawMode(text, explorer.DefaultDrawMode)) throw EUsageError("bad draw mode " + text);
         }},
        {0, "log", "", "the status line of every complete picture on standard output",
         [&](const std::string&, const std::string&) { Program.Log = true; }},
        {'h', "help", "", "this text", [&](const std::string&, const std::string&) { Program.Help = true; }, true},
    });
}

TDefaultsHelp DefaultsHelp(std::string_view DefaultOutput, std::string_view DefaultPalettes) {
    return {"the scene file that S appends to (default " + std::string(DefaultOutput) + ")",
            "the palette folder (default: " + std::string(DefaultPalettes) + ")"};
}

}  // namespace

TExplorerProgram ParseExplorerCommandLine(const std::vector<std::string>& Args) {
    TExplorerProgram program;
    bool haveFile = false;
    const TDefaultsHelp help = DefaultsHelp("", "");
    ExplorerOptions(program, help).Parse(Args, [&](const std::string& a) {
        if (haveFile) throw EUsageError("only one MRPFILE");
        program.Explorer.SceneFile = a;
        haveFile = true;
    });
    return program;
}

std::string ExplorerUsage(std::string_view DefaultOutput, std::string_view DefaultPalettes) {
    TExplorerProgram program;
    const TDefaultsHelp help = DefaultsHelp(DefaultOutput, DefaultPalettes);
    return "Usage: nimbrel-explore [options] [MRPFILE]\n"
           "Explores the Mandelbrot and Julia sets and keeps views as scenes of an MRP file.\n"
           "With MRPFILE it starts at the file's first scene; PageDown and PageUp step\n"
           "through its scenes. F1 in the window lists the keys.\n"
           "\n" +
           ExplorerOptions(program, help).Usage(23) +
           "\n"
           "Draw modes, by the DM numbers of scene files and of the settings:\n" +
           DrawModeTable();
}

}  // namespace nimbrel
