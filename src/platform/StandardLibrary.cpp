#include "platform/StandardLibrary.h"

#include <filesystem>
#include <system_error>

#include "platform/application.h"
#include "platform/sysutils.h"
#include "platform/text_file.h"

namespace nimbrel {

void ShowError(const std::string& Msg) { Application().ErrorBox().ShowError(Msg); }

bool FolderExists(const std::string& Path) {
    if (Path.empty() || HoldsNul(Path)) return false;
    namespace fs = std::filesystem;
    std::error_code error;
    const fs::path remembered = fs::current_path(error);
    if (error) return false;
    fs::current_path(fs::u8path(Path), error);
    const bool exists = !error;
    std::error_code ignored;
    fs::current_path(remembered, ignored);
    return exists;
}

int32_t HexToInt(std::string_view Text) {
    std::string text(1, '$');
    text.append(Text);
    return StrToInt(text);
}

}  // namespace nimbrel
