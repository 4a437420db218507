#include "shell/URegistry.h"

#include <exception>
#include <memory>

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/sysutils.h"

namespace nimbrel {

const char* const kSettingsKey = "Software\\Orv\\Nimbrel";
const char* const kSettingsSection = "Settings";

namespace {

const char* const kMrpFile = "MrpFile";

struct TColorName {
    int32_t Color;
    const char* Name;
};

constexpr int32_t Rgb(int32_t r, int32_t g, int32_t b) { return r | (g << 8) | (b << 16); }
// A system colour: the platform's colour index with the top bit set.
constexpr int32_t SystemColor(int32_t index) { return static_cast<int32_t>(0x80000000u | static_cast<uint32_t>(index)); }

const TColorName kColorNames[] = {
    {Rgb(0, 0, 0), "clBlack"},
    {Rgb(128, 0, 0), "clMaroon"},
    {Rgb(0, 128, 0), "clGreen"},
    {Rgb(128, 128, 0), "clOlive"},
    {Rgb(0, 0, 128), "clNavy"},
    {Rgb(128, 0, 128), "clPurple"},
    {Rgb(0, 128, 128), "clTeal"},
    {Rgb(128, 128, 128), "clGray"},
    {Rgb(192, 192, 192), "clSilver"},
    {Rgb(255, 0, 0), "clRed"},
    {Rgb(0, 255, 0), "clLime"},
    {Rgb(255, 255, 0), "clYellow"},
    {Rgb(0, 0, 255), "clBlue"},
    {Rgb(255, 0, 255), "clFuchsia"},
    {Rgb(0, 255, 255), "clAqua"},
    {Rgb(255, 255, 255), "clWhite"},
    {Rgb(192, 220, 192), "clMoneyGreen"},
    {Rgb(166, 202, 240), "clSkyBlue"},
    {Rgb(255, 251, 240), "clCream"},
    {Rgb(160, 160, 164), "clMedGray"},
    {SystemColor(0), "clScrollBar"},
    {SystemColor(1), "clBackground"},
    {SystemColor(2), "clActiveCaption"},
    {SystemColor(3), "clInactiveCaption"},
    {SystemColor(4), "clMenu"},
    {SystemColor(5), "clWindow"},
    {SystemColor(6), "clWindowFrame"},
    {SystemColor(7), "clMenuText"},
    {SystemColor(8), "clWindowText"},
    {SystemColor(9), "clCaptionText"},
    {SystemColor(10), "clActiveBorder"},
    {SystemColor(11), "clInactiveBorder"},
    {SystemColor(12), "clAppWorkSpace"},
    {SystemColor(13), "clHighlight"},
    {SystemColor(14), "clHighlightText"},
    {SystemColor(15), "clBtnFace"},
    {SystemColor(16), "clBtnShadow"},
    {SystemColor(17), "clGrayText"},
    {SystemColor(18), "clBtnText"},
    {SystemColor(19), "clInactiveCaptionText"},
    {SystemColor(20), "clBtnHighlight"},
    {SystemColor(21), "cl3DDkShadow"},
    {SystemColor(22), "cl3DLight"},
    {SystemColor(23), "clInfoText"},
    {SystemColor(24), "clInfoBk"},
    {SystemColor(27), "clGradientActiveCaption"},
    {SystemColor(28), "clGradientInactiveCaption"},
    {0x1FFFFFFF, "clNone"},
    {0x20000000, "clDefault"},
};

// Integer text, or the default text when it is none.
int32_t IntegerOr(const std::string& Text, const char* Default) {
    int32_t value = 0;
    return TryStrToInt(Text, value) ? value : StrToInt(Default);
}

// One setting: its value name, the text that stands for a missing value, and
// how the text is read into the field and written from it.
struct TSettingDef {
    const char* Name;
    const char* Default;
    void (*Read)(TSettingsValues& Reg, const std::string& Text, const char* Default);
    std::string (*Write)(const TSettingsValues& Reg);
    // Puts the value a change gives into the field; answers whether it gave one.
    bool (*Take)(TSettingsValues& Reg, const TSettingsChange& Change);
};

template <auto Field, auto Given>
bool Take(TSettingsValues& reg, const TSettingsChange& change) {
    const auto& given = change.*Given;
    if (given) reg.*Field = *given;
    return given.has_value();
}

template <int32_t TSettingsValues::*Field>
void ReadColor(TSettingsValues& reg, const std::string& text, const char*) {
    reg.*Field = StringToColor(text);
}
template <int32_t TSettingsValues::*Field>
std::string WriteColor(const TSettingsValues& reg) {
    return ColorToString(reg.*Field);
}

template <int32_t TSettingsValues::*Field>
void ReadInteger(TSettingsValues& reg, const std::string& text, const char* fallback) {
    reg.*Field = IntegerOr(text, fallback);
}
template <int32_t TSettingsValues::*Field>
std::string WriteInteger(const TSettingsValues& reg) {
    return IntToStr(reg.*Field);
}

template <bool TSettingsValues::*Field>
void ReadFlag(TSettingsValues& reg, const std::string& text, const char* fallback) {
    reg.*Field = IntegerOr(text, fallback) != 0;
}
template <bool TSettingsValues::*Field>
std::string WriteFlag(const TSettingsValues& reg) {
    return reg.*Field ? "1" : "0";
}

template <std::string TSettingsValues::*Field>
void ReadText(TSettingsValues& reg, const std::string& text, const char*) {
    reg.*Field = text;
}
template <std::string TSettingsValues::*Field>
std::string WriteText(const TSettingsValues& reg) {
    return reg.*Field;
}

// The layout is one byte: a negative number becomes 0, and a number too large
// for the byte counts as no number at all.
template <uint8_t TSettingsValues::*Field>
void ReadLayout(TSettingsValues& reg, const std::string& text, const char* fallback) {
    int32_t value = IntegerOr(text, fallback);
    if (value < 0) value = 0;
    if (value > 255) value = StrToInt(fallback);
    reg.*Field = static_cast<uint8_t>(value);
}
template <uint8_t TSettingsValues::*Field>
std::string WriteLayout(const TSettingsValues& reg) {
    return IntToStr(reg.*Field & 127);
}

template <uint8_t TSettingsValues::*Field>
void ReadDrawMode(TSettingsValues& reg, const std::string& text, const char* fallback) {
    reg.*Field = StoredToDrawMode(IntegerOr(text, fallback));
}
template <uint8_t TSettingsValues::*Field>
std::string WriteDrawMode(const TSettingsValues& reg) {
    return IntToStr(DrawModeToStored(reg.*Field));
}

// A flag that is 0 or 1; any other stored number gives the default.
template <bool TSettingsValues::*Field>
void ReadStrictFlag(TSettingsValues& reg, const std::string& text, const char* fallback) {
    const int32_t value = IntegerOr(text, fallback);
    reg.*Field = (value == 0 || value == 1) ? value == 1 : StrToInt(fallback) != 0;
}

// The zoom speed keeps its range; anything else gives the default.
template <int32_t TSettingsValues::*Field>
void ReadZoomSpeed(TSettingsValues& reg, const std::string& text, const char* fallback) {
    const int32_t value = IntegerOr(text, fallback);
    reg.*Field = (value >= kMinZoomSpeed && value <= kMaxZoomSpeed) ? value : StrToInt(fallback);
}

// The settings in the order they are read and written.
const TSettingDef kSettings[] = {
    {"Bgcolor", "clBlack", ReadColor<&TSettingsValues::Bgcolor>, WriteColor<&TSettingsValues::Bgcolor>,
     Take<&TSettingsValues::Bgcolor, &TSettingsChange::Bgcolor>},
    {"DM", "0", ReadLayout<&TSettingsValues::DM>, WriteLayout<&TSettingsValues::DM>,
     Take<&TSettingsValues::DM, &TSettingsChange::DM>},
    {"SizeFull", "1", ReadFlag<&TSettingsValues::SizeFull>, WriteFlag<&TSettingsValues::SizeFull>,
     Take<&TSettingsValues::SizeFull, &TSettingsChange::SizeFull>},
    {kMrpFile, "", ReadText<&TSettingsValues::MrpFile>, WriteText<&TSettingsValues::MrpFile>,
     Take<&TSettingsValues::MrpFile, &TSettingsChange::MrpFile>},
    {"McfFolder", "", ReadText<&TSettingsValues::McfFolder>, WriteText<&TSettingsValues::McfFolder>,
     Take<&TSettingsValues::McfFolder, &TSettingsChange::McfFolder>},
    {"SizeX", "200", ReadInteger<&TSettingsValues::SizeX>, WriteInteger<&TSettingsValues::SizeX>,
     Take<&TSettingsValues::SizeX, &TSettingsChange::SizeX>},
    {"SizeY", "200", ReadInteger<&TSettingsValues::SizeY>, WriteInteger<&TSettingsValues::SizeY>,
     Take<&TSettingsValues::SizeY, &TSettingsChange::SizeY>},
    {"Wait", "1000", ReadInteger<&TSettingsValues::Wait>, WriteInteger<&TSettingsValues::Wait>,
     Take<&TSettingsValues::Wait, &TSettingsChange::Wait>},
    // The stored number 4 is draw mode 3, dmEmerge.
    {"DrawMode", "4", ReadDrawMode<&TSettingsValues::DrawMode>, WriteDrawMode<&TSettingsValues::DrawMode>,
     Take<&TSettingsValues::DrawMode, &TSettingsChange::DrawMode>},
    {"Journey", "0", ReadStrictFlag<&TSettingsValues::Journey>, WriteFlag<&TSettingsValues::Journey>,
     Take<&TSettingsValues::Journey, &TSettingsChange::Journey>},
    {"ZoomSpeed", "15", ReadZoomSpeed<&TSettingsValues::ZoomSpeed>, WriteInteger<&TSettingsValues::ZoomSpeed>,
     Take<&TSettingsValues::ZoomSpeed, &TSettingsChange::ZoomSpeed>},
};

std::unique_ptr<TSettingsKey> OpenOrCreate(TSettingsStore& store) {
    std::unique_ptr<TSettingsKey> key = store.OpenKey(kSettingsKey, true);
    if (!key) throw ERegistryException(std::string("Failed to create key ") + kSettingsKey);
    return key;
}

// The key for loading, or nullptr when there is none to read. Loading creates
// the key as saving does, but a store that refuses (a key the user may only
// read, a settings file that cannot be written or read) leaves the defaults
// for what cannot be read; only Save reports.
std::unique_ptr<TSettingsKey> OpenForLoading(TSettingsStore& store) {
    try {
        if (std::unique_ptr<TSettingsKey> key = store.OpenKey(kSettingsKey, true)) return key;
    } catch (const ERegistryException&) {
    }
    try {
        return store.OpenKey(kSettingsKey, false);
    } catch (const ERegistryException&) {
        return nullptr;
    }
}

std::unique_ptr<TSettingsKey> OpenSectionForLoading(TSettingsKey& key) {
    try {
        return key.OpenKey(kSettingsSection, false);
    } catch (const ERegistryException&) {
        return nullptr;
    }
}

}  // namespace

bool IdentToColor(std::string_view Text, int32_t& Color) {
    const std::string upper = UpperCase(Text);
    for (const TColorName& entry : kColorNames) {
        if (UpperCase(entry.Name) == upper) {
            Color = entry.Color;
            return true;
        }
    }
    return false;
}

bool ColorToIdent(int32_t Color, std::string& Text) {
    for (const TColorName& entry : kColorNames) {
        if (entry.Color == Color) {
            Text = entry.Name;
            return true;
        }
    }
    return false;
}

std::string ColorToString(int32_t Color) {
    std::string name;
    if (ColorToIdent(Color, name)) return name;
    return IntToHex8(static_cast<uint32_t>(Color));
}

int32_t StringToColor(std::string_view Text) {
    int32_t color = 0;
    if (IdentToColor(Text, color)) return color;
    return StrToInt(Text);
}

void WriteSettings(TSettingsStore& Store, const TSettingsChange& Change) {
    TSettingsValues values;
    std::unique_ptr<TSettingsKey> key, section;
    for (const TSettingDef& setting : kSettings) {
        if (!setting.Take(values, Change)) continue;
        if (!section) {
            key = OpenOrCreate(Store);
            section = key->OpenKey(kSettingsSection, true);
            if (!section) throw ERegistryException(std::string("Failed to create key ") + kSettingsSection);
        }
        section->WriteString(setting.Name, setting.Write(values));
    }
}

bool StoresSceneFile(TSettingsStore& Store) {
    const std::unique_ptr<TSettingsKey> key = Store.OpenKey(kSettingsKey, false);
    const std::unique_ptr<TSettingsKey> section = key ? key->OpenKey(kSettingsSection, false) : nullptr;
    if (!section) return false;
    const TRegDataType type = section->GetDataType(kMrpFile);
    if (type == TRegDataType::rdUnknown) return false;
    const bool text = type == TRegDataType::rdString || type == TRegDataType::rdExpandString;
    return !text || !section->ReadString(kMrpFile).empty();
}

bool StoresSetting(TSettingsStore& Store, const char* Name) {
    const std::unique_ptr<TSettingsKey> key = Store.OpenKey(kSettingsKey, false);
    const std::unique_ptr<TSettingsKey> section = key ? key->OpenKey(kSettingsSection, false) : nullptr;
    return section && section->ValueExists(Name);
}

TMandelssReg::TMandelssReg(TSettingsStore& Store) : Store_(Store) { Load(); }

TMandelssReg::~TMandelssReg() {
    try {
        Save();
    } catch (const std::exception& error) {
        try {
            Application().HandleException(error);
        } catch (...) {
            // Nothing more can be done for the settings of a closing window.
        }
    }
}

void TMandelssReg::Load() {
    const std::unique_ptr<TSettingsKey> key = OpenForLoading(Store_);
    for (const TSettingDef& setting : kSettings) {
        std::string text = setting.Default;
        // The section is opened for each value and never created by reading.
        if (const std::unique_ptr<TSettingsKey> section = key ? OpenSectionForLoading(*key) : nullptr)
            if (section->ValueExists(setting.Name)) text = section->ReadString(setting.Name);
        setting.Read(*this, text, setting.Default);
    }
}

void TMandelssReg::Save() {
    const std::unique_ptr<TSettingsKey> key = OpenOrCreate(Store_);
    for (const TSettingDef& setting : kSettings) {
        const std::unique_ptr<TSettingsKey> section = key->OpenKey(kSettingsSection, true);
        if (!section) throw ERegistryException(std::string("Failed to create key ") + kSettingsSection);
        section->WriteString(setting.Name, setting.Write(*this));
    }
}

}  // namespace nimbrel
