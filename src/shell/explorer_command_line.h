// The command line of nimbrel-explore, the same for every front end:
//   nimbrel-explore [options] [MRPFILE]
// and its usage text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/command_line.h"
#include "shell/explorer.h"

namespace nimbrel {

struct TExplorerProgram {
    TExplorerOptions Explorer;
    bool OutputGiven = false;  // -o named the scene file that S appends to
    bool Log = false;          // the status of every complete picture on standard output
    bool Help = false;
};

// The options of Args (the arguments after the program's name); EUsageError
// for a command line the program cannot run.
TExplorerProgram ParseExplorerCommandLine(const std::vector<std::string>& Args);

// The usage text; DefaultOutput names the scene file S appends to without
// -o, DefaultPalettes the palette folder without -p ("\n" between the lines
// of a long text).
std::string ExplorerUsage(std::string_view DefaultOutput, std::string_view DefaultPalettes);

// How the usage of nimbrel-explore on Linux names the palette folder without -p.
inline constexpr std::string_view kSceneFolderPalettes = "the folder of MRPFILE,\nor the current folder";

}  // namespace nimbrel
