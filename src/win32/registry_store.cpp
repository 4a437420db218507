#include "win32/registry_store.h"

#include <cstring>
#include <string>
#include <vector>

#include "win32/win32_api.h"

namespace nimbrel {

namespace {

std::string Quoted(std::string_view Name) { return "'" + std::string(Name) + "'"; }

// Opens or creates Path below Parent. Reading and writing are asked for; a key
// the user may only read is still opened for reading, so that a value such as
// the password choice is seen even where the program may not write.
HKEY OpenRegistryKey(HKEY Parent, std::string_view Path, bool CanCreate) {
    const std::wstring path = Utf8ToWide(Path);
    HKEY key = nullptr;
    LONG result = CanCreate ? RegCreateKeyExW(Parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                              KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                            : RegOpenKeyExW(Parent, path.c_str(), 0, KEY_READ | KEY_WRITE, &key);
    if (result == ERROR_ACCESS_DENIED && !CanCreate)
        result = RegOpenKeyExW(Parent, path.c_str(), 0, KEY_READ, &key);
    return result == ERROR_SUCCESS ? key : nullptr;
}

class TRegistryKey : public TSettingsKey {
public:
    explicit TRegistryKey(HKEY key) : key_(key) {}
    ~TRegistryKey() override { RegCloseKey(key_); }
    TRegistryKey(const TRegistryKey&) = delete;
    TRegistryKey& operator=(const TRegistryKey&) = delete;

    std::unique_ptr<TSettingsKey> OpenKey(std::string_view Name, bool CanCreate) override {
        const HKEY key = OpenRegistryKey(key_, Name, CanCreate);
        return key ? std::make_unique<TRegistryKey>(key) : nullptr;
    }

    bool ValueExists(std::string_view Name) const override {
        return RegQueryValueExW(key_, Utf8ToWide(Name).c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    }

    TRegDataType GetDataType(std::string_view Name) const override {
        DWORD type = REG_NONE;
        if (RegQueryValueExW(key_, Utf8ToWide(Name).c_str(), nullptr, &type, nullptr, nullptr) != ERROR_SUCCESS)
            return TRegDataType::rdUnknown;
        switch (type) {
            case REG_SZ: return TRegDataType::rdString;
            case REG_EXPAND_SZ: return TRegDataType::rdExpandString;
            case REG_DWORD: return TRegDataType::rdInteger;
            case REG_BINARY: return TRegDataType::rdBinary;
            default: return TRegDataType::rdUnknown;
        }
    }

    std::string ReadString(std::string_view Name) const override {
        const std::wstring name = Utf8ToWide(Name);
        // The value may grow between the size query and the read: ask again,
        // a few times, until the buffer holds all of it.
        std::vector<BYTE> data;
        DWORD type = REG_NONE;
        for (int attempt = 0;; ++attempt) {
            if (attempt == 8) throw ERegistryException("Failed to get data for " + Quoted(Name));
            DWORD size = 0;
            LONG result = RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &size);
            if (result == ERROR_FILE_NOT_FOUND) return {};
            if (result != ERROR_SUCCESS) throw ERegistryException("Failed to get data for " + Quoted(Name));
            if (type != REG_SZ && type != REG_EXPAND_SZ)
                throw ERegistryException("Invalid data type for " + Quoted(Name));
            data.assign(size, 0);
            result = RegQueryValueExW(key_, name.c_str(), nullptr, &type, data.data(), &size);
            if (result == ERROR_MORE_DATA) continue;
            if (result == ERROR_FILE_NOT_FOUND) return {};
            if (result != ERROR_SUCCESS) throw ERegistryException("Failed to get data for " + Quoted(Name));
            if (type != REG_SZ && type != REG_EXPAND_SZ)
                throw ERegistryException("Invalid data type for " + Quoted(Name));
            data.resize(size);
            break;
        }
        // A string value need not end with its terminating zero, and an odd
        // byte count cannot be a whole character.
        std::wstring text(data.size() / sizeof(wchar_t), L'\0');
        if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
        const std::size_t end = text.find(L'\0');
        if (end != std::wstring::npos) text.resize(end);
        return WideToUtf8(text);
    }

    int32_t ReadInteger(std::string_view Name) const override {
        const std::wstring name = Utf8ToWide(Name);
        DWORD type = REG_NONE;
        DWORD size = 0;
        LONG result = RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &size);
        if (result != ERROR_SUCCESS) throw ERegistryException("Failed to get data for " + Quoted(Name));
        if (type != REG_DWORD || size != sizeof(DWORD)) throw ERegistryException("Invalid data type for " + Quoted(Name));
        DWORD value = 0;
        result = RegQueryValueExW(key_, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
        if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(DWORD))
            throw ERegistryException("Invalid data type for " + Quoted(Name));
        return static_cast<int32_t>(value);
    }

    void WriteString(std::string_view Name, std::string_view Value) override {
        const std::wstring text = Utf8ToWide(Value);
        // With the terminating zero, as the registry keeps strings.
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        if (bytes > MAXDWORD) throw ERegistryException("Failed to set data for " + Quoted(Name));
        Put(Name, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(bytes));
    }

    void WriteInteger(std::string_view Name, int32_t Value) override {
        const DWORD value = static_cast<DWORD>(Value);
        Put(Name, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }

private:
    void Put(std::string_view Name, DWORD Type, const BYTE* Data, DWORD Size) {
        if (RegSetValueExW(key_, Utf8ToWide(Name).c_str(), 0, Type, Data, Size) != ERROR_SUCCESS)
            throw ERegistryException("Failed to set data for " + Quoted(Name));
    }

    HKEY key_;
};

}  // namespace

std::unique_ptr<TSettingsKey> TRegistryStore::OpenKey(std::string_view Path, bool CanCreate) {
    const HKEY key = OpenRegistryKey(HKEY_CURRENT_USER, Path, CanCreate);
    return key ? std::make_unique<TRegistryKey>(key) : nullptr;
}

bool TRegistryStore::KeyExists(std::string_view Path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, Utf8ToWide(Path).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

}  // namespace nimbrel
