// A show on the headless host: settings in a memory store, scene and palette
// files in a temporary folder, scripted passwords and a recorded error box.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "headless/headless_host.h"
#include "headless/recorded_error_box.h"
#include "headless/scripted_passwords.h"
#include "platform/memory_settings_store.h"
#include "shell/Main.h"
#include "shell/URegistry.h"
#include "../support/temp_folder.h"

namespace nimbrel::testing {

class ShowTest : public ::testing::Test {
protected:
    // A small Mandelbrot scene that draws fast.
    static std::string Scene(const std::string& extra = "", const std::string& title = "A") {
        return "T=MANDEL, Title=" + title + ", Cr=-0.6, Ci=0, W=2.5, I=20" + extra + "\r\n";
    }

    // Writes the settings the way the dialog would, through a settings object.
    // A show still running ends first: its window writes its settings back
    // when it is destroyed.
    template <class Edit> void Settings(Edit edit) {
        Host.reset();
        Form = nullptr;
        TMandelssReg settings(Store);
        settings.SizeFull = false;
        settings.SizeX = 24;
        settings.SizeY = 16;
        settings.DM = lmCenter;
        settings.Wait = 1000;
        settings.DrawMode = dmNormal;
        settings.McfFolder = Files.PathOf("");
        settings.MrpFile = Files.PathOf("scenes.mrp");
        edit(settings);
    }
    void Settings() {
        Settings([](TMandelssReg&) {});
    }

    void WriteScenes(const std::string& bytes) { Files.Write("scenes.mrp", bytes); }

    // Creates the window of the show, as start-up does, and activates it.
    void Start(TSaverMode mode = smSaver, int32_t clientWidth = 64, int32_t clientHeight = 48, int32_t screenWidth = 40,
               int32_t screenHeight = 30) {
        // Hosts install their message pump in turn: the previous one goes first.
        Host.reset();
        Host = std::make_unique<THeadlessHost>(clientWidth, clientHeight, screenWidth, screenHeight);
        Host->RowCost = RowCost;
        TSaverInit init;
        init.SaverMode = mode;
        auto form = std::make_unique<TfrmMain>(*Host, Store, Passwords, init, 12345);
        Form = form.get();
        Host->SetMainForm(std::move(form));
        if (mode != smPreview) Host->Activate();
    }

    // Settings as the store holds them now.
    std::unique_ptr<TMandelssReg> Stored() { return std::make_unique<TMandelssReg>(Store); }

    int64_t RowCost = 1;
    TTempFolder Files;
    TMemorySettingsStore Store;
    TScriptedPasswordServices Passwords;
    TRecordedErrorBox Box;
    TScopedErrorBox InstalledBox{Box};
    std::unique_ptr<THeadlessHost> Host;
    TfrmMain* Form = nullptr;
};

}  // namespace nimbrel::testing
