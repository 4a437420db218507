// The settings store on the registry of the current user (HKEY_CURRENT_USER).
// Names and string values are UTF-8 in the program and UTF-16 in the registry.
#pragma once

#include "platform/settings_store.h"

namespace nimbrel {

class TRegistryStore : public TSettingsStore {
public:
    std::unique_ptr<TSettingsKey> OpenKey(std::string_view Path, bool CanCreate) override;
    bool KeyExists(std::string_view Path) override;
};

}  // namespace nimbrel
