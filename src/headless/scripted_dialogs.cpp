#include "headless/scripted_dialogs.h"

namespace nimbrel {

namespace {

template <typename T>
std::optional<T> NextAnswer(std::deque<std::optional<T>>& Answers) {
    if (Answers.empty()) return std::nullopt;
    std::optional<T> answer = std::move(Answers.front());
    Answers.pop_front();
    return answer;
}

}  // namespace

void TRecordedSettingWindow::ShowControls(const TSettingControls& Controls) {
    Shown = Controls;
    ++ShowCount;
}

bool TScriptedDialogServices::ExecuteOpenDialog(TOpenDialog& Dialog) {
    OpenRequests.push_back(Dialog);
    const std::optional<std::string> answer = NextAnswer(OpenAnswers);
    if (!answer) return false;
    Dialog.FileName = *answer;
    return true;
}

bool TScriptedDialogServices::ExecuteColorDialog(TColorDialog& Dialog) {
    ColorRequests.push_back(Dialog.Color);
    const std::optional<TColor> answer = NextAnswer(ColorAnswers);
    if (!answer) return false;
    Dialog.Color = *answer;
    return true;
}

bool TScriptedDialogServices::BrowseForFolder(const TFolderBrowseRequest& Request, std::string& Folder) {
    FolderRequests.push_back(Request);
    const std::optional<std::string> answer = NextAnswer(FolderAnswers);
    if (!answer) return false;
    Folder = *answer;
    return true;
}

}  // namespace nimbrel
