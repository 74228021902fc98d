#pragma once
// The registry seam of the port survey: read-only access below
// HKEY_LOCAL_MACHINE, shaped so that a Windows reader is a thin layer over
// RegOpenKeyExA, RegQueryInfoKeyA, RegEnumKeyExA and RegQueryValueExA.
// Texts are 8-bit, as the ANSI registry calls give them.
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace devlist {

// A registry failure that reaches the caller of the refresh: its message is
// the text the window shows (with a full stop added).
class RegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Registry value types (the Win32 REG_* numbers).
inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;

// Full access is KEY_ALL_ACCESS, read is KEY_READ.
enum class KeyAccess { Full, Read };

// What a value query found.
struct RegistryValue {
    enum class State {
        Missing,     // no value of that name
        Present,     // type and data fetched
        Unreadable,  // the value exists but its data could not be fetched
    };
    State state = State::Missing;
    std::uint32_t type = kRegNone;
    std::string data;  // raw bytes; string data may carry its terminator
};

// An open key. Closed when destroyed.
class RegistryKey {
public:
    virtual ~RegistryKey() = default;
    // Opens `path` (names separated by '\') relative to this key, never
    // creating anything; nullptr when a key is missing or access is refused.
    virtual std::unique_ptr<RegistryKey> OpenSubKey(const std::string& path,
                                                    KeyAccess access) const = 0;
    // False also when the key cannot be queried.
    virtual bool HasSubKeys() const = 0;
    // Appends the subkey names in enumeration order; false when the
    // enumeration failed part way (the names gathered so far stay appended).
    virtual bool ListSubKeyNames(std::vector<std::string>& names) const = 0;
    virtual RegistryValue QueryValue(const std::string& name) const = 0;
};

class Registry {
public:
    virtual ~Registry() = default;
    // HKEY_LOCAL_MACHINE itself, as the starting point of every path.
    virtual std::unique_ptr<RegistryKey> OpenLocalMachine() = 0;
};

// Reads a string value (REG_SZ or REG_EXPAND_SZ), up to its first zero byte.
// A missing value reads as empty text. Throws RegistryError "Invalid data type
// for '<name>'" for any other type and "Failed to get data for '<name>'" when
// the data cannot be fetched.
std::string ReadRegistryString(const RegistryKey& key, const std::string& name);

// One open of a chain: a path relative to the key opened before it.
struct KeyStep {
    std::string path;
    KeyAccess access;
};
// Opens the steps in turn, each relative to the one before, starting afresh
// from HKEY_LOCAL_MACHINE; nullptr as soon as one open fails.
std::unique_ptr<RegistryKey> OpenKeyChain(Registry& registry, const std::vector<KeyStep>& steps);

// Not owned; nullptr restores the platform's registry.
void InstallRegistry(Registry* registry);
Registry& InstalledRegistry();
// The platform's own registry (empty on platforms without one).
Registry& PlatformRegistry();

}  // namespace devlist
