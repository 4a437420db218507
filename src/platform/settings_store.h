// The settings store: the part of the registry of the current user that the
// program uses. Keys are paths below the user's root with "\" between their
// parts ("Software\Orv\Nimbrel"); key and value names are matched without
// regard to ASCII case, as the registry does.
//
// Implementations: the registry itself (src/win32/registry_store.h), a file
// store for other systems (platform/file_settings_store.h) and a memory store
// (platform/memory_settings_store.h). Everything runs on the GUI thread; a key
// handle must not outlive the store that opened it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/exceptions.h"

namespace nimbrel {

// A registry operation that failed: a value of another type than the one read,
// a key or value that cannot be created or written, a store that cannot be
// read.
class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

// The registry's value types.
enum class TRegDataType : uint8_t {
    rdUnknown,       // no such value, or a type the program does not use
    rdString,        // REG_SZ
    rdExpandString,  // REG_EXPAND_SZ
    rdInteger,       // REG_DWORD
    rdBinary,        // REG_BINARY
};

// An open key; destroying the handle closes it.
class TSettingsKey {
public:
    virtual ~TSettingsKey() = default;

    // The subkey Name (one or more parts), created when missing and CanCreate
    // is set; nullptr when it does not exist and is not created.
    virtual std::unique_ptr<TSettingsKey> OpenKey(std::string_view Name, bool CanCreate) = 0;

    virtual bool ValueExists(std::string_view Name) const = 0;
    // rdUnknown for a missing value.
    virtual TRegDataType GetDataType(std::string_view Name) const = 0;
    // The text of a string value (rdString or rdExpandString); empty for a
    // missing value; ERegistryException for a value of any other type.
    virtual std::string ReadString(std::string_view Name) const = 0;
    // A 32-bit integer value; ERegistryException when the value is missing or
    // of another type.
    virtual int32_t ReadInteger(std::string_view Name) const = 0;
    // Creates or replaces the value as a string (rdString) or as a 32-bit
    // integer (rdInteger); ERegistryException when it cannot be written.
    virtual void WriteString(std::string_view Name, std::string_view Value) = 0;
    virtual void WriteInteger(std::string_view Name, int32_t Value) = 0;
};

class TSettingsStore {
public:
    virtual ~TSettingsStore() = default;

    // The key Path below the user's root, created (with every missing part)
    // when CanCreate is set; nullptr when it does not exist and is not created.
    virtual std::unique_ptr<TSettingsKey> OpenKey(std::string_view Path, bool CanCreate) = 0;
    virtual bool KeyExists(std::string_view Path) = 0;
};

}  // namespace nimbrel
