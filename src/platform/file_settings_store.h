// A settings store kept in one text file that a person can read and edit, for
// systems without a registry: by default $XDG_CONFIG_HOME/nimbrel/registry.ini
// (or ~/.config/nimbrel/registry.ini).
//
// The file holds the same keys, value names and texts as the registry:
//
//   [Software\Orv\Nimbrel\Settings]
//   "Bgcolor"="clBlack"
//   "SizeX"="200"
//   "ScreenSaveUsePassword"=dword:00000001
//
// "[path]" starts a key (its parents exist with it); "name"="text" is a string
// value, "name"=expand:"text" an expandable string, "name"=dword:HHHHHHHH a
// 32-bit integer and "name"=hex:01,02 binary data. Inside quotes "\\" stands for
// a backslash, "\"" for a quote and "\xHH" for any byte. Lines starting with
// ";" or "#" are comments; blank lines are free.
//
// Every operation reads the file afresh and every change writes it anew (to a
// temporary file that then replaces it), so two processes see each other's
// values as they would in the registry. Comments are not kept by a rewrite.
#pragma once

#include <string>
#include <string_view>

#include "platform/settings_data.h"

namespace nimbrel {

// The file's text for Data, and Data for a file's text. A text that breaks
// the form raises ERegistryException naming FileName and the line.
std::string FormatSettingsFile(const TSettingsData& Data);
TSettingsData ParseSettingsFile(std::string_view Text, const std::string& FileName);

class TFileSettingsStore : public TDataSettingsStore {
public:
    // The largest file the store reads; the program's own is a few hundred bytes.
    static constexpr std::size_t MaxFileBytes = std::size_t{16} << 20;

    explicit TFileSettingsStore(std::string FileName) : fileName_(std::move(FileName)) {}

    // $XDG_CONFIG_HOME/nimbrel/registry.ini when that variable holds an
    // absolute path, else $HOME/.config/nimbrel/registry.ini;
    // ERegistryException when neither is set.
    static std::string DefaultFileName();

    const std::string& FileName() const { return fileName_; }

    void Read(const std::function<void(const TSettingsData&)>& Action) override;
    void Update(const std::function<void(TSettingsData&)>& Action) override;

private:
    TSettingsData Load() const;
    void Store(const TSettingsData& Data) const;

    const std::string fileName_;
};

}  // namespace nimbrel
