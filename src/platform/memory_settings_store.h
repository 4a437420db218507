// A settings store held in memory: for tests, and for the X11 show, which
// reads its settings file once and keeps its own changes to itself.
#pragma once

#include <utility>

#include "platform/settings_data.h"

namespace nimbrel {

class TMemorySettingsStore : public TDataSettingsStore {
public:
    TMemorySettingsStore() = default;
    // Starts from Data: the contents of a settings file read once, say, whose
    // changes then stay in memory.
    explicit TMemorySettingsStore(TSettingsData Data) : data_(std::move(Data)) {}

    void Read(const std::function<void(const TSettingsData&)>& Action) override;
    void Update(const std::function<void(TSettingsData&)>& Action) override;

    const TSettingsData& Data() const { return data_; }

private:
    TSettingsData data_;
};

}  // namespace nimbrel
