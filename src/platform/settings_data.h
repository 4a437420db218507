// The contents of a settings store held in memory, and the key handle shared
// by the memory store and the file store.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/settings_store.h"

namespace nimbrel {

struct TSettingsValue {
    std::string Name;
    TRegDataType Type = TRegDataType::rdString;
    std::string Data;     // text of a string value, bytes of a binary value
    int32_t Integer = 0;  // value of an rdInteger
    bool operator==(const TSettingsValue&) const = default;
};

struct TSettingsKeyData {
    std::string Path;  // as first created, parts joined with "\"
    std::vector<TSettingsValue> Values;  // in the order they were created

    const TSettingsValue* FindValue(std::string_view Name) const;
    // The value Name, created as an empty string when missing.
    TSettingsValue& PutValue(std::string_view Name);
    bool operator==(const TSettingsKeyData&) const = default;
};

// Keys in the order they were created; the root (path "") always exists.
// Names compare without regard to ASCII case.
class TSettingsData {
public:
    TSettingsData();

    const TSettingsKeyData* FindKey(std::string_view Path) const;
    // The key Path, created with every missing parent.
    TSettingsKeyData& CreateKey(std::string_view Path);
    const std::vector<TSettingsKeyData>& Keys() const { return keys_; }
    bool operator==(const TSettingsData& other) const { return keys_ == other.keys_; }

    // Parts joined with one "\", empty parts dropped. A part holding a control
    // character raises ERegistryException.
    static std::string NormalizePath(std::string_view Path);
    static std::string JoinPath(std::string_view Parent, std::string_view Name);

private:
    std::size_t FindIndex(const std::string& normalized) const;

    std::vector<TSettingsKeyData> keys_;
    std::unordered_map<std::string, std::size_t> index_;  // upper-cased path to position
};

// A store whose contents can be read and changed as a whole; the key handles
// of the memory store and the file store go through these two operations.
class TDataSettingsStore : public TSettingsStore {
public:
    std::unique_ptr<TSettingsKey> OpenKey(std::string_view Path, bool CanCreate) override;
    bool KeyExists(std::string_view Path) override;

    // Runs Action on the current contents.
    virtual void Read(const std::function<void(const TSettingsData&)>& Action) = 0;
    // Runs Action on the contents and keeps what it changed.
    virtual void Update(const std::function<void(TSettingsData&)>& Action) = 0;
};

}  // namespace nimbrel
