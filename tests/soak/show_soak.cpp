// The soak of the show: 10,000 pictures of the sample scenes on the headless
// host's virtual clock, with the resident memory of the process taken after
// the first pictures and at the end. A screen saver runs for days, so its
// memory must stay flat. The figures and the wall time are printed, never
// judged; only a growth beyond a generous bound fails.
//
// Not part of the default test run: `ctest --preset soak`.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>

#include "headless/headless_host.h"
#include "headless/recorded_error_box.h"
#include "headless/scripted_passwords.h"
#include "platform/memory_settings_store.h"
#include "shell/Main.h"
#include "shell/URegistry.h"

namespace nimbrel::testing {
namespace {

constexpr int kPictures = 10000;
// By then every scene has been drawn (the seed is fixed) and every cache,
// palette and pool has reached its size.
constexpr int kWarmUp = 100;
constexpr int64_t kBoundKiB = 16 * 1024;
constexpr int32_t kWait = 1000;

// VmRSS of /proc/self/status in KiB; nothing where there is no such file.
std::optional<int64_t> ResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmRSS:") {
            int64_t kib = 0;
            if (status >> kib) return kib;
            return std::nullopt;
        }
        status.ignore(1 << 16, '\n');
    }
    return std::nullopt;
}

TEST(ShowSoak, TenThousandPicturesOfTheSamplesKeepTheMemoryFlat) {
    if (!ResidentKiB()) GTEST_SKIP() << "no /proc/self/status";

    TMemorySettingsStore store;
    TScriptedPasswordServices passwords;
    TRecordedErrorBox box;
    TScopedErrorBox installedBox{box};
    {
        TMandelssReg settings(store);
        settings.SizeFull = false;
        settings.SizeX = 128;
        settings.SizeY = 96;
        settings.DM = lmSpread;  // the tiling copies run as well
        settings.Wait = kWait;
        settings.MrpFile = NIMBREL_SAMPLES "/scenes.mrp";
        settings.McfFolder = NIMBREL_SAMPLES "/palettes";
    }
    auto host = std::make_unique<THeadlessHost>(320, 240, 320, 240);
    // Rows cost no virtual time, so no copy falls inside a picture: each
    // picture is one copy of the bitmap, and picture k starts at 100 + k * Wait.
    host->RowCost = 0;
    TSaverInit init;
    init.SaverMode = smSaver;
    auto owned = std::make_unique<TfrmMain>(*host, store, passwords, init, 20240601);
    const TfrmMain& form = *owned;
    host->SetMainForm(std::move(owned));
    host->Activate();

    const auto started = std::chrono::steady_clock::now();
    std::set<int32_t> shown;
    int64_t warmKiB = 0;
    for (int picture = 0; picture < kPictures; ++picture) {
        host->RunUntil(100 + int64_t{picture} * kWait);
        int copies = 0;
        for (const auto& copy : host->Copies) copies += copy.FromBitmap ? 1 : 0;
        // The host keeps every copy; forget them so that only the show's own
        // memory is measured.
        host->Copies.clear();
        ASSERT_EQ(copies, 1) << "picture " << picture;
        ASSERT_TRUE(box.Errors.empty()) << box.Errors.front();
        ASSERT_TRUE(box.Exceptions.empty()) << box.Exceptions.front();
        shown.insert(form.LastIndex());
        if (picture + 1 == kWarmUp) {
            warmKiB = *ResidentKiB();
            std::printf("soak: VmRSS %lld KiB after %d pictures (%zu of the scenes drawn)\n",
                        static_cast<long long>(warmKiB), kWarmUp, shown.size());
        } else if ((picture + 1) % 1000 == 0) {
            std::printf("soak: VmRSS %lld KiB after %d pictures\n", static_cast<long long>(*ResidentKiB()),
                        picture + 1);
        }
        std::fflush(stdout);
    }
    const int64_t endKiB = *ResidentKiB();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("soak: %d pictures of 128x96 in %.1f s; VmRSS %lld KiB after %d, %lld KiB at the end (%+lld KiB)\n",
                kPictures, seconds, static_cast<long long>(warmKiB), kWarmUp, static_cast<long long>(endKiB),
                static_cast<long long>(endKiB - warmKiB));
    EXPECT_LE(endKiB - warmKiB, kBoundKiB);
}

}  // namespace
}  // namespace nimbrel::testing
