// The text forms of the settings: colour text and integer text must read back
// what they write; the settings file must read back what it writes; and the
// nine settings, whatever texts the store holds, must survive Save and Load
// unchanged once they have been loaded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "platform/exceptions.h"
#include "platform/file_settings_store.h"
#include "platform/memory_settings_store.h"
#include "platform/sysutils.h"
#include "shell/URegistry.h"

using namespace nimbrel;

namespace {

const char* const kNames[] = {"Bgcolor", "DM", "SizeFull", "MrpFile", "McfFolder",
                              "SizeX", "SizeY", "Wait", "DrawMode"};

void CheckTexts(std::string_view text) {
    int32_t color = 0;
    bool isColor = true;
    try {
        color = StringToColor(text);
    } catch (const EConvertError&) {
        isColor = false;
    }
    if (isColor) {
        const std::string written = ColorToString(color);
        FUZZ_CHECK(StringToColor(written) == color);
        FUZZ_CHECK(written.substr(0, 2) == "cl" || (written.size() == 9 && written[0] == '$'));
    }
    int32_t value = 0;
    if (TryStrToInt(text, value)) FUZZ_CHECK(StrToInt(IntToStr(value)) == value);
}

void CheckFile(std::string_view text) {
    TSettingsData data;
    try {
        data = ParseSettingsFile(text, "registry.ini");
    } catch (const ERegistryException&) {
        return;
    }
    const std::string written = FormatSettingsFile(data);
    const TSettingsData again = ParseSettingsFile(written, "registry.ini");
    FUZZ_CHECK(FormatSettingsFile(again) == written);
    for (const TSettingsKeyData& key : data.Keys()) {
        const TSettingsKeyData* read = again.FindKey(key.Path);
        FUZZ_CHECK(read != nullptr);
        for (const TSettingsValue& value : key.Values) {
            const TSettingsValue* found = read->FindValue(value.Name);
            FUZZ_CHECK(found != nullptr && *found == value);
        }
    }
}

// The layout byte is written with its top bit cleared.
bool SameSettings(const TMandelssReg& a, const TMandelssReg& b) {
    return a.Bgcolor == b.Bgcolor && a.SizeX == b.SizeX && a.SizeY == b.SizeY && a.SizeFull == b.SizeFull &&
           (a.DM & 127) == (b.DM & 127) && a.MrpFile == b.MrpFile && a.McfFolder == b.McfFolder && a.Wait == b.Wait &&
           a.DrawMode == b.DrawMode;
}

// The input's lines are the stored texts of the nine settings, in order.
void CheckRoundTrip(std::string_view text) {
    TMemorySettingsStore store;
    {
        auto section = store.OpenKey("Software\\Orv\\Nimbrel\\Settings", true);
        for (const char* name : kNames) {
            if (text.empty()) break;
            const std::size_t end = text.find('\n');
            section->WriteString(name, text.substr(0, end));
            text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        }
    }
    try {
        TMandelssReg first(store);
        first.Save();
        const TSettingsData saved = store.Data();
        TMandelssReg second(store);
        FUZZ_CHECK(SameSettings(first, second));
        second.Save();
        FUZZ_CHECK(store.Data() == saved);
    } catch (const EConvertError&) {
        // A colour text that is neither a name nor a number refuses the load.
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    CheckTexts(text);
    CheckFile(text);
    CheckRoundTrip(text);
    return 0;
}
