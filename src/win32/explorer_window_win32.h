// The explorer's window on Win32 (nimbrel-explore.exe): a resizable window
// with a menu bar, the picture in its client area above a status bar. It
// names the system's keys and mouse messages by the explorer's input table
// (shell/explorer_input.h) and posts what the table answers, fills the menus
// from the portable menu bar (shell/explorer_menu.h), shows the engine's
// bitmap as it grows, and runs the system's dialogs; what the explorer
// decides is in TExplorer (shell/explorer.h).
//
// Re-entrance: TExplorer::Step draws; the engine yields to the window (its
// yield hook) after every row and within long ones, and the window
// dispatches its messages there. Their
// handlers only post commands, read the engine or open a modal dialog, in
// which the picture waits. Step runs only from the message loop's idle call,
// never inside a handler, and the window outlives every draw.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_store.h"
#include "platform/yield_hook.h"
#include "shell/explorer.h"
#include "shell/explorer_desktop.h"
#include "shell/explorer_input.h"
#include "shell/explorer_menu.h"
#include "win32/dialog_services_win32.h"
#include "win32/win32_api.h"
#include "win32/win32_error_box.h"
#include "win32/win32_handles.h"
#include "win32/win32_message_loop.h"

namespace nimbrel {

struct TWin32ExplorerSetup {
    // The scene file S appends to when the command line names none, whose
    // folder is made at the first S or F12; empty when -o named one.
    std::string DefaultOutput;
    std::string OutputFile;  // the one S appends to
    bool Log = false;        // the status of every complete picture on standard output
};

class TWin32ExplorerWindow : private TYieldHook {
public:
    // Creates the window hidden, its client area holding the explorer's
    // picture size (or what the monitor's work area leaves of it). Explorer,
    // Loop and Store (the settings: recent files, the screen saver's) outlive
    // the window.
    TWin32ExplorerWindow(HINSTANCE Instance, TExplorer& Explorer, TWin32MessageLoop& Loop, TSettingsStore& Store,
                         TWin32ExplorerSetup Setup);
    ~TWin32ExplorerWindow();
    TWin32ExplorerWindow(const TWin32ExplorerWindow&) = delete;
    TWin32ExplorerWindow& operator=(const TWin32ExplorerWindow&) = delete;

    // Shows the window and runs the message loop with the explorer's work
    // until the explorer quits.
    void Run(int ShowCommand);
    HWND Window() const { return window_; }

private:
    struct TDrag {
        TExplorerInput Input;
        bool Moves = false;  // the picture moves with the mouse; else a rectangle is drawn
        UINT Button = 0;     // the button's up message
        POINT Start{};
        POINT Now{};
    };

    // The message processing between the pieces of a draw.
    void OnYield() override;
    void Create(HINSTANCE Instance);
    void SizeToPicture(int32_t Width, int32_t Height);
    // The explorer's work from the message loop, outside every handler.
    void Work();
    // After a step: the picture, the status, the title, the log, and the
    // result of a scene file opened.
    void AfterStep();
    void ShowPicture();
    void UpdateStatus();
    void UpdateTitle();
    RECT PictureArea() const;
    void FollowSize();

    // Input.
    void Do(const TExplorerCommand& Command);
    void Post(const TExplorerInput& Input, POINT At, POINT To = {});
    void OnKey(WPARAM Key);
    void OnWheel(WPARAM wParam, LPARAM lParam);
    void OnButtonDown(TExplorerGesture Gesture, WPARAM wParam, LPARAM lParam, UINT UpMessage);
    void OnButtonUp(UINT Message, LPARAM lParam);
    POINT Cursor() const;

    // The menus.
    void FillMenu(HMENU Menu, const std::vector<TExplorerMenuItem>& Items, const std::vector<std::size_t>& Path);
    void OnInitMenu(HMENU Menu);
    void OnMenuCommand(uint32_t Id);
    void OpenSceneFile();
    void OpenRecent(int32_t Index);
    void SavePictureAs();
    void UseInSaver();
    void ShowKeys();
    void ShowAbout();
    void MakeOutputFolder();
    void SaveRecentFiles();

    void Paint(HDC Target);

    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    // Answers whether it handled the message, with its result.
    bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

    HINSTANCE instance_;
    TExplorer& explorer_;
    TWin32MessageLoop& loop_;
    TSettingsStore& store_;
    TWin32ExplorerSetup setup_;
    TWin32ErrorBox box_;
    TWin32DialogServices dialogs_;
    TExplorerMenu menu_;
    TRecentFiles recent_{true};
    // The path in the menu bar of each popup menu made.
    std::map<HMENU, std::vector<std::size_t>> popups_;

    HWND window_ = nullptr;
    HWND status_ = nullptr;
    HMENU bar_ = nullptr;
    TGdiObject<HBITMAP> buffer_;  // the client area, drawn off the screen
    SIZE bufferSize_{};
    SIZE posted_{};               // the picture size posted last
    int wheel_ = 0;               // the part of a notch not yet posted
    std::optional<TDrag> drag_;
    std::chrono::steady_clock::time_point lastShown_;
    std::chrono::steady_clock::time_point lastPumped_;
    std::string statusText_;
    std::string title_;
    int64_t openAttempts_ = 0;
    int64_t logged_ = 0;
    std::string lastOpened_;  // the scene file of the last open asked for
};

}  // namespace nimbrel
