// A command line read by a table of options, and the usage text made from the
// same table: one parser for nimbrel-render, nimbrel-explore and the X11 show.
//
// Two styles:
// - Gnu: "-s VALUE", "--size VALUE" and "--size=VALUE"; "-" alone is an
//   argument, like any that does not start with "-".
// - SingleDash, XScreenSaver's: "-size VALUE", and "--size VALUE" as well;
//   every argument that starts with "-" is an option.
// A value is the next argument, whatever it holds ("-o -x" names "-x").
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/exceptions.h"

namespace nimbrel {

// A command line the program cannot run; the text says why ("unknown option
// -x", "option -s needs a value", or what an option's own check found).
class EUsageError : public Exception {
public:
    using Exception::Exception;
};

enum class TOptionStyle : uint8_t { Gnu, SingleDash };

struct TCommandOption {
    char Short = 0;         // Gnu only: the letter of "-s"; 0 for none
    std::string_view Long;  // "size": "--size" (Gnu), "-size" and "--size" (SingleDash)
    std::string_view Value;  // the value's name in the usage ("WxH"); empty: a flag
    // The option's lines in the usage, "\n" between them; empty: not listed.
    // An entry without a name is a line of text between the options.
    std::string_view Help;
    // Gets the value (empty for a flag) and the option as it was written
    // ("--size", for the message); raises EUsageError for a bad value.
    std::function<void(const std::string& Value, const std::string& Written)> Take;
    // The rest of the command line is not read after this option (help,
    // version).
    bool Stops = false;
};

class TCommandLine {
public:
    TCommandLine(TOptionStyle Style, std::vector<TCommandOption> Options)
        : style_(Style), options_(std::move(Options)) {}

    // Runs Take of each option in the order given; hands every other argument
    // to Argument. Answers false when an option stopped the reading.
    bool Parse(const std::vector<std::string>& Args, const std::function<void(const std::string&)>& Argument) const;

    // The options' lines: the names and the value's name from column 2, the
    // help from column Column (a line of its own when the names leave less
    // than two blanks), each further line of a help indented to Column.
    std::string Usage(std::size_t Column) const;

private:
    // The option an argument names, and where its value starts in the
    // argument ("--size=WxH"), or std::string::npos for a value that follows.
    const TCommandOption* Find(std::string_view Argument, std::size_t& ValueAt) const;

    TOptionStyle style_;
    std::vector<TCommandOption> options_;
};

}  // namespace nimbrel
