#include "platform/command_line.h"

namespace nimbrel {

const TCommandOption* TCommandLine::Find(std::string_view Argument, std::size_t& ValueAt) const {
    ValueAt = std::string::npos;
    std::string_view name = Argument;
    const bool twoDashes = name.size() > 2 && name.substr(0, 2) == "--";
    if (style_ == TOptionStyle::SingleDash) {
        name.remove_prefix(twoDashes ? 2 : 1);
        for (const TCommandOption& option : options_)
            if (!option.Long.empty() && option.Long == name) return &option;
        return nullptr;
    }
    if (twoDashes) {
        name.remove_prefix(2);
        const std::size_t equals = name.find('=');
        for (const TCommandOption& option : options_) {
            if (option.Long.empty() || option.Long != name.substr(0, equals)) continue;
            // "--flag=..." names no option.
            if (equals != std::string_view::npos && option.Value.empty()) return nullptr;
            if (equals != std::string_view::npos) ValueAt = 2 + equals + 1;
            return &option;
        }
        return nullptr;
    }
    if (name.size() != 2) return nullptr;
    for (const TCommandOption& option : options_)
        if (option.Short != 0 && option.Short == name[1]) return &option;
    return nullptr;
}

bool TCommandLine::Parse(const std::vector<std::string>& Args,
                         const std::function<void(const std::string&)>& Argument) const {
    for (std::size_t i = 0; i < Args.size(); ++i) {
        const std::string& arg = Args[i];
        const bool isOption = !arg.empty() && arg[0] == '-' && (style_ == TOptionStyle::SingleDash || arg != "-");
        if (!isOption) {
            Argument(arg);
            continue;
        }
        std::size_t valueAt = 0;
        const TCommandOption* option = Find(arg, valueAt);
        if (!option) throw EUsageError("unknown option " + arg);
        std::string value, written = arg;
        if (valueAt != std::string::npos) {
            value = arg.substr(valueAt);
            written.resize(valueAt - 1);
        } else if (!option->Value.empty()) {
            if (i + 1 >= Args.size()) throw EUsageError("option " + arg + " needs a value");
            value = Args[++i];
        }
        if (option->Take) option->Take(value, written);
        if (option->Stops) return false;
    }
    return true;
}

std::string TCommandLine::Usage(std::size_t Column) const {
    std::string text;
    for (const TCommandOption& option : options_) {
        if (option.Help.empty()) continue;
        std::string_view help = option.Help;
        if (option.Long.empty() && option.Short == 0) {
            text.append(help).push_back('\n');
            continue;
        }
        std::string names = "  ";
        if (style_ == TOptionStyle::Gnu) {
            names += option.Short ? std::string{'-', option.Short} + (option.Long.empty() ? "" : ", ") : "    ";
            if (!option.Long.empty()) names.append("--").append(option.Long);
        } else {
            names.append("-").append(option.Long);
        }
        if (!option.Value.empty()) names.append(" ").append(option.Value);
        // At least two blanks between the names and the help.
        if (names.size() + 2 > Column) names.append("\n").append(Column, ' ');
        else names.append(Column - names.size(), ' ');
        text += names;
        for (;;) {
            const std::size_t end = help.find('\n');
            text.append(help.substr(0, end)).push_back('\n');
            if (end == std::string_view::npos) break;
            help.remove_prefix(end + 1);
            text.append(Column, ' ');
        }
    }
    return text;
}

}  // namespace nimbrel
