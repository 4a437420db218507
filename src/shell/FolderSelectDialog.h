// SelectFolder: the user picks a folder through the system's folder browser.
// No window of the program's own takes part.
#pragma once

#include <string>

#include "platform/dialog_services.h"

namespace nimbrel {

// Shows the browser with Title above the tree and the folder Root at its top
// (empty for the whole namespace). On entry Folder is the folder to select when
// the browser opens; one that does not exist is made empty first, so that a
// cancel hands back empty text rather than a path that is not there. Answers
// true exactly when the user confirmed a folder, and then Folder is its
// file-system path.
bool SelectFolder(TDialogServices& Dialogs, const std::string& Title, const std::string& Root, std::string& Folder);

}  // namespace nimbrel
