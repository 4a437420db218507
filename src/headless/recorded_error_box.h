// An error box that shows nothing and keeps every text, for tests and tools.
#pragma once

#include <string>
#include <vector>

#include "platform/application.h"

namespace nimbrel {

class TRecordedErrorBox : public TErrorBox {
public:
    void ShowError(const std::string& text) override { Errors.push_back(text); }
    void ShowException(const std::string& title, const std::string& text) override {
        Exceptions.push_back(title + ": " + text);
    }

    std::vector<std::string> Errors;      // texts of ShowError, in order
    std::vector<std::string> Exceptions;  // "title: message" of the exception box
};

}  // namespace nimbrel
