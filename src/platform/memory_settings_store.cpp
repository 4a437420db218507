#include "platform/memory_settings_store.h"

namespace nimbrel {

void TMemorySettingsStore::Read(const std::function<void(const TSettingsData&)>& Action) { Action(data_); }

void TMemorySettingsStore::Update(const std::function<void(TSettingsData&)>& Action) {
    // Changes apply as a whole or not at all, as in the file store.
    TSettingsData changed = data_;
    Action(changed);
    data_ = std::move(changed);
}

}  // namespace nimbrel
