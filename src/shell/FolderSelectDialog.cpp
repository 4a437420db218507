#include "shell/FolderSelectDialog.h"

#include "platform/StandardLibrary.h"

namespace nimbrel {

bool SelectFolder(TDialogServices& Dialogs, const std::string& Title, const std::string& Root, std::string& Folder) {
    if (!FolderExists(Folder)) Folder.clear();
    const TFolderBrowseRequest request{Title, Root, Folder};
    std::string chosen;
    if (!Dialogs.BrowseForFolder(request, chosen)) return false;
    Folder = chosen;
    return true;
}

}  // namespace nimbrel
