// The show on three monitors of real sizes (1280x1024 left of and below a
// primary 1920x1080, 1024x768 right of it), on the headless desktop's virtual
// clock: 90 s of the show, full-screen pictures of one scene drawn row by row
// (the default draw mode, 10 virtual ms a row), a pause of 1000 ms. Per
// monitor: the complete pictures, the time of the first, the ends of the
// first four; then the wall time the 90 virtual seconds took.
//
//   build/release/bench_monitors
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "headless/headless_desktop.h"
#include "headless/scripted_passwords.h"
#include "platform/memory_settings_store.h"
#include "shell/Main.h"
#include "shell/URegistry.h"
#include "shell/monitor_show.h"

namespace {

using namespace nimbrel;

constexpr int64_t kRowCost = 10;
constexpr int64_t kShowTime = 90000;

// The scene and its palette, in a folder of their own while the show runs.
class TSceneFolder {
public:
    TSceneFolder()
        : path_(std::filesystem::temp_directory_path() / ("nimbrel-bench-monitors-" + std::to_string(::getpid()))) {
        std::filesystem::create_directories(path_);
        Write("scenes.mrp", "T=MANDEL, Title=F, Cr=-0.6, Ci=0, W=2.5, I=40, MCF=warm\r\n");
        Write("warm.mcf", "000000\r\n#GRAD FF0000, FFFF00, 24\r\n");
    }
    ~TSceneFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TSceneFolder(const TSceneFolder&) = delete;
    TSceneFolder& operator=(const TSceneFolder&) = delete;

    std::string PathOf(std::string_view name) const { return (path_ / name).string(); }

private:
    void Write(std::string_view name, std::string_view bytes) const {
        std::ofstream(path_ / name, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    std::filesystem::path path_;
};

TMonitor Monitor(int32_t left, int32_t top, int32_t width, int32_t height, bool primary = false) {
    return TMonitor{TRect{left, top, left + width, top + height}, primary};
}

std::string Name(const TMonitor& m) {
    return std::to_string(m.Width()) + "x" + std::to_string(m.Height()) + " at (" + std::to_string(m.Bounds.Left) +
           ", " + std::to_string(m.Bounds.Top) + ")";
}

// The virtual times at which a monitor's pictures were complete: the final
// copy of a picture step, made once the engine is no longer busy.
using TPictureEnds = std::map<std::string, std::vector<int64_t>>;

TPictureEnds RunShow(const std::vector<TMonitor>& monitors, const TSceneFolder& folder) {
    TMemorySettingsStore store;
    {
        TMandelssReg settings(store);
        settings.SizeFull = true;
        settings.DM = lmCenter;
        settings.Wait = 1000;
        settings.DrawMode = dmNormal;
        settings.McfFolder = folder.PathOf("");
        settings.MrpFile = folder.PathOf("scenes.mrp");
    }
    TScriptedPasswordServices passwords;
    THeadlessDesktop desktop(monitors);
    desktop.RowCost = kRowCost;
    TPictureEnds ends;
    desktop.OnCopy = [&](const THeadlessDesktop::TWindow& window) {
        const auto* form = dynamic_cast<const TfrmMain*>(window.Form());
        if (form && !form->Mandel().GetBusy()) ends[Name(window.Monitor())].push_back(desktop.Now());
    };
    TSaverInit init;
    init.SaverMode = smSaver;
    TMonitorShow show(desktop, store, passwords, init, 12345);
    show.ShowWindows();
    desktop.RunUntil(kShowTime);
    return ends;
}

}  // namespace

int main() {
    const std::vector<TMonitor> monitors = {Monitor(-1280, 56, 1280, 1024), Monitor(0, 0, 1920, 1080, true),
                                            Monitor(1920, 312, 1024, 768)};
    const TSceneFolder folder;
    const auto start = std::chrono::steady_clock::now();
    const TPictureEnds ends = RunShow(monitors, folder);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("three monitors, full-screen pictures, Wait 1000 ms, %lld ms a row; %lld s of the show\n",
                static_cast<long long>(kRowCost), static_cast<long long>(kShowTime / 1000));
    for (const TMonitor& m : {monitors[1], monitors[0], monitors[2]}) {
        const auto found = ends.find(Name(m));
        const std::vector<int64_t> none;
        const std::vector<int64_t>& picture = found == ends.end() ? none : found->second;
        std::printf("  %-26s %2zu pictures, the first complete at %5lld ms; pictures end at", Name(m).c_str(),
                    picture.size(), static_cast<long long>(picture.empty() ? -1 : picture.front()));
        for (std::size_t i = 0; i < picture.size() && i < 4; ++i)
            std::printf(" %lld", static_cast<long long>(picture[i]));
        std::printf(" ...\n");
    }
    std::printf("%.2f s of wall time for the %lld virtual seconds\n", wall.count(),
                static_cast<long long>(kShowTime / 1000));
    return 0;
}
