#include "x11/x11_services.h"

#include <cstdio>

namespace nimbrel {

namespace {

void WriteLine(const std::string& text) {
    std::string line = "nimbrel: ";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        line.push_back(text[i] == '\r' || text[i] == '\n' ? ' ' : text[i]);
    }
    line.push_back('\n');
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

void TX11ErrorBox::ShowError(const std::string& text) { WriteLine(text); }

void TX11ErrorBox::ShowException(const std::string&, const std::string& text) { WriteLine(text); }

}  // namespace nimbrel
