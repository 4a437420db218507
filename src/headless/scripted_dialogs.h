// The settings dialog's window and system dialogs without a screen, for tests
// and tools: the window keeps what it was asked to show, and each system
// dialog records how it was opened and answers what the test scripted.
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "platform/dialog_services.h"
#include "platform/setting_window.h"

namespace nimbrel {

class TRecordedSettingWindow : public TSettingWindow {
public:
    void ShowControls(const TSettingControls& Controls) override;
    void Close() override { ++CloseCount; }

    TSettingControls Shown;  // what the window shows now
    int ShowCount = 0;
    int CloseCount = 0;
};

class TScriptedDialogServices : public TDialogServices {
public:
    bool ExecuteOpenDialog(TOpenDialog& Dialog) override;
    bool ExecuteColorDialog(TColorDialog& Dialog) override;
    bool BrowseForFolder(const TFolderBrowseRequest& Request, std::string& Folder) override;

    // The answers, taken in order: a value is the user's confirmed choice,
    // std::nullopt a cancel. A dialog opened with no answer left is cancelled.
    std::deque<std::optional<std::string>> OpenAnswers;
    std::deque<std::optional<TColor>> ColorAnswers;
    std::deque<std::optional<std::string>> FolderAnswers;

    // How each dialog was opened, in order.
    std::vector<TOpenDialog> OpenRequests;
    std::vector<TColor> ColorRequests;
    std::vector<TFolderBrowseRequest> FolderRequests;
};

}  // namespace nimbrel
