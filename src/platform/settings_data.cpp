#include "platform/settings_data.h"

#include "platform/sysutils.h"

namespace nimbrel {

namespace {

bool SameName(std::string_view a, std::string_view b) { return UpperCase(a) == UpperCase(b); }

class TDataSettingsKey : public TSettingsKey {
public:
    TDataSettingsKey(TDataSettingsStore& store, std::string path) : store_(store), path_(std::move(path)) {}

    std::unique_ptr<TSettingsKey> OpenKey(std::string_view Name, bool CanCreate) override {
        return store_.OpenKey(TSettingsData::JoinPath(path_, Name), CanCreate);
    }

    bool ValueExists(std::string_view Name) const override { return GetDataType(Name) != TRegDataType::rdUnknown; }

    TRegDataType GetDataType(std::string_view Name) const override {
        TRegDataType type = TRegDataType::rdUnknown;
        WithValue(Name, [&](const TSettingsValue& value) { type = value.Type; });
        return type;
    }

    std::string ReadString(std::string_view Name) const override {
        std::string text;
        WithValue(Name, [&](const TSettingsValue& value) {
            if (value.Type != TRegDataType::rdString && value.Type != TRegDataType::rdExpandString)
                throw ERegistryException("Invalid data type for '" + std::string(Name) + "'");
            text = value.Data;
        });
        return text;
    }

    int32_t ReadInteger(std::string_view Name) const override {
        bool found = false;
        int32_t integer = 0;
        WithValue(Name, [&](const TSettingsValue& value) {
            if (value.Type != TRegDataType::rdInteger)
                throw ERegistryException("Invalid data type for '" + std::string(Name) + "'");
            found = true;
            integer = value.Integer;
        });
        if (!found) throw ERegistryException("Failed to get data for '" + std::string(Name) + "'");
        return integer;
    }

    void WriteString(std::string_view Name, std::string_view Value) override {
        Put(Name, [&](TSettingsValue& value) {
            value.Type = TRegDataType::rdString;
            value.Data = Value;
            value.Integer = 0;
        });
    }

    void WriteInteger(std::string_view Name, int32_t Value) override {
        Put(Name, [&](TSettingsValue& value) {
            value.Type = TRegDataType::rdInteger;
            value.Data.clear();
            value.Integer = Value;
        });
    }

private:
    // Runs Action on the value when the key and the value exist.
    template <class Action>
    void WithValue(std::string_view Name, Action&& action) const {
        store_.Read([&](const TSettingsData& data) {
            if (const TSettingsKeyData* key = data.FindKey(path_))
                if (const TSettingsValue* value = key->FindValue(Name)) action(*value);
        });
    }

    template <class Action>
    void Put(std::string_view Name, Action&& action) {
        // A key removed meanwhile (by a person editing the file) comes back,
        // as a write to an open registry key would still succeed.
        store_.Update([&](TSettingsData& data) { action(data.CreateKey(path_).PutValue(Name)); });
    }

    TDataSettingsStore& store_;
    const std::string path_;
};

}  // namespace

const TSettingsValue* TSettingsKeyData::FindValue(std::string_view Name) const {
    for (const TSettingsValue& value : Values)
        if (SameName(value.Name, Name)) return &value;
    return nullptr;
}

TSettingsValue& TSettingsKeyData::PutValue(std::string_view Name) {
    for (TSettingsValue& value : Values)
        if (SameName(value.Name, Name)) return value;
    Values.push_back(TSettingsValue{std::string(Name), TRegDataType::rdString, {}, 0});
    return Values.back();
}

TSettingsData::TSettingsData() {
    keys_.push_back(TSettingsKeyData{});
    index_.emplace(std::string(), 0);
}

std::string TSettingsData::NormalizePath(std::string_view Path) {
    std::string result;
    while (!Path.empty()) {
        const std::size_t slash = Path.find('\\');
        const std::string_view part = Path.substr(0, slash);
        for (const char c : part)
            if (static_cast<unsigned char>(c) < 32 || c == 127)
                throw ERegistryException("Invalid key name '" + std::string(part) + "'");
        if (!part.empty()) {
            if (!result.empty()) result.push_back('\\');
            result.append(part);
        }
        if (slash == std::string_view::npos) break;
        Path.remove_prefix(slash + 1);
    }
    return result;
}

std::string TSettingsData::JoinPath(std::string_view Parent, std::string_view Name) {
    std::string path(Parent);
    path.push_back('\\');
    path.append(Name);
    return NormalizePath(path);
}

std::size_t TSettingsData::FindIndex(const std::string& normalized) const {
    const auto found = index_.find(UpperCase(normalized));
    return found == index_.end() ? keys_.size() : found->second;
}

const TSettingsKeyData* TSettingsData::FindKey(std::string_view Path) const {
    const std::size_t i = FindIndex(NormalizePath(Path));
    return i < keys_.size() ? &keys_[i] : nullptr;
}

TSettingsKeyData& TSettingsData::CreateKey(std::string_view Path) {
    const std::string path = NormalizePath(Path);
    std::size_t i = FindIndex(path);
    if (i < keys_.size()) return keys_[i];
    // Every parent first, so that a key never exists without its parents.
    const std::size_t slash = path.rfind('\\');
    if (slash != std::string::npos) CreateKey(std::string_view(path).substr(0, slash));
    keys_.push_back(TSettingsKeyData{path, {}});
    index_.emplace(UpperCase(path), keys_.size() - 1);
    return keys_.back();
}

std::unique_ptr<TSettingsKey> TDataSettingsStore::OpenKey(std::string_view Path, bool CanCreate) {
    const std::string path = TSettingsData::NormalizePath(Path);
    if (CanCreate)
        Update([&](TSettingsData& data) { data.CreateKey(path); });
    else if (!KeyExists(path))
        return nullptr;
    return std::make_unique<TDataSettingsKey>(*this, path);
}

bool TDataSettingsStore::KeyExists(std::string_view Path) {
    const std::string path = TSettingsData::NormalizePath(Path);
    bool exists = false;
    Read([&](const TSettingsData& data) { exists = data.FindKey(path) != nullptr; });
    return exists;
}

}  // namespace nimbrel
