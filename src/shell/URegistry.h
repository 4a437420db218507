// TMandelssReg: the user's settings in memory, kept in the settings store
// under "Software\Orv\Nimbrel", section "Settings". Creating the object loads
// every setting; Save and the destruction write every setting back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/settings_store.h"
#include "values/fractal_types.h"

namespace nimbrel {

// How the show lays out a picture (the setting "DM").
enum TLayoutMode : uint8_t { lmSpread = 0, lmCenter = 1 };

// Colour text: the name of a named colour ("clBlack", any case), else "$" and
// eight upper-case hexadecimal digits. Reading also takes integer text
// (decimal, or "$" and hexadecimal digits); anything else raises
// EConvertError.
std::string ColorToString(int32_t Color);
int32_t StringToColor(std::string_view Text);
// The named colours alone: whether Text is a name (any case) or Color has one.
bool IdentToColor(std::string_view Text, int32_t& Color);
bool ColorToIdent(int32_t Color, std::string& Text);

// The key of the settings in the store, and its section.
extern const char* const kSettingsKey;      // "Software\Orv\Nimbrel"
extern const char* const kSettingsSection;  // "Settings"

// Seconds per halving of a journey's width, in tenths, when none is stored,
// and the range a stored value must keep (anything else reads as the
// default).
constexpr int32_t kDefaultZoomSpeed = 15;
constexpr int32_t kMinZoomSpeed = 1;
constexpr int32_t kMaxZoomSpeed = 600;

// The settings as values. The defaults are those of the table that
// TMandelssReg reads and writes.
struct TSettingsValues {
    int32_t Bgcolor = 0;
    int32_t SizeX = 0;
    int32_t SizeY = 0;
    bool SizeFull = false;
    uint8_t DM = lmSpread;  // a TLayoutMode
    std::string MrpFile;
    std::string McfFolder;
    int32_t Wait = 0;
    uint8_t DrawMode = dmNormal;  // a TDrawMode
    // Every picture of the show is reached by a zoom from the default view.
    bool Journey = false;
    int32_t ZoomSpeed = kDefaultZoomSpeed;  // tenths of a second per halving
};

// Some of the settings, each given or not: what a command line changes of the
// stored ones.
struct TSettingsChange {
    std::optional<int32_t> Bgcolor;
    std::optional<int32_t> SizeX;
    std::optional<int32_t> SizeY;
    std::optional<bool> SizeFull;
    std::optional<uint8_t> DM;
    std::optional<std::string> MrpFile;
    std::optional<std::string> McfFolder;
    std::optional<int32_t> Wait;
    std::optional<uint8_t> DrawMode;
    std::optional<bool> Journey;
    std::optional<int32_t> ZoomSpeed;
};

// Puts the values Change gives into the settings' fields and writes those
// values alone, in the texts the settings object reads; the other values
// stay as stored, also one the settings object could not read (the show
// reports it). ERegistryException when the store refuses.
void WriteSettings(TSettingsStore& Store, const TSettingsChange& Change);
// Whether Store names a scene file: a "MrpFile" text that is not empty, or a
// value of another type (which loading the settings then reports).
bool StoresSceneFile(TSettingsStore& Store);
// Whether Store holds the setting Name at all.
bool StoresSetting(TSettingsStore& Store, const char* Name);

class TMandelssReg : public TSettingsValues {
public:
    // Loads every setting from Store, which must outlive the object. A key
    // that cannot be created or a store that cannot be read gives the
    // defaults without a word; a colour text that does not convert raises
    // EConvertError, a value that is no string ERegistryException.
    explicit TMandelssReg(TSettingsStore& Store);
    // Saves; a failure is reported in the application's exception box, since
    // a destructor must not throw.
    ~TMandelssReg();
    TMandelssReg(const TMandelssReg&) = delete;
    TMandelssReg& operator=(const TMandelssReg&) = delete;

    // Writes every value; ERegistryException when the store refuses.
    void Save();

private:
    void Load();

    TSettingsStore& Store_;
};

}  // namespace nimbrel
