// The registry seam over the ANSI registry calls, below HKEY_LOCAL_MACHINE.
#include <windows.h>

#include <vector>

#include "devlist/registry.h"

namespace devlist {
namespace {

REGSAM SamFor(KeyAccess access) { return access == KeyAccess::Full ? KEY_ALL_ACCESS : KEY_READ; }

class Win32Key final : public RegistryKey {
public:
    // `owned` is false for the predefined root, which is never closed.
    Win32Key(HKEY key, bool owned) : key_(key), owned_(owned) {}
    ~Win32Key() override {
        if (owned_) RegCloseKey(key_);
    }
    Win32Key(const Win32Key&) = delete;
    Win32Key& operator=(const Win32Key&) = delete;

    std::unique_ptr<RegistryKey> OpenSubKey(const std::string& path, KeyAccess access) const override {
        HKEY opened = nullptr;
        if (RegOpenKeyExA(key_, path.c_str(), 0, SamFor(access), &opened) != ERROR_SUCCESS) return nullptr;
        return std::make_unique<Win32Key>(opened, true);
    }

    bool HasSubKeys() const override {
        DWORD subKeys = 0;
        if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        return subKeys > 0;
    }

    bool ListSubKeyNames(std::vector<std::string>& names) const override {
        DWORD longest = 0;
        if (RegQueryInfoKeyA(key_, nullptr, nullptr, nullptr, nullptr, &longest, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            return false;
        std::vector<char> name(longest + 1);
        for (DWORD index = 0;; ++index) {
            DWORD length = static_cast<DWORD>(name.size());
            const LONG result =
                RegEnumKeyExA(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr);
            if (result == ERROR_NO_MORE_ITEMS) return true;
            if (result != ERROR_SUCCESS) return false;
            names.emplace_back(name.data(), length);
        }
    }

    RegistryValue QueryValue(const std::string& name) const override {
        RegistryValue value;
        DWORD type = 0;
        DWORD size = 0;
        LONG result = RegQueryValueExA(key_, name.c_str(), nullptr, &type, nullptr, &size);
        if (result == ERROR_FILE_NOT_FOUND) return value;
        value.state = RegistryValue::State::Unreadable;
        if (result != ERROR_SUCCESS) return value;
        std::vector<BYTE> data(size);
        result = RegQueryValueExA(key_, name.c_str(), nullptr, &type, data.data(), &size);
        if (result != ERROR_SUCCESS) return value;
        value.state = RegistryValue::State::Present;
        value.type = type;
        value.data.assign(reinterpret_cast<const char*>(data.data()), size);
        return value;
    }

private:
    HKEY key_;
    bool owned_;
};

class Win32Registry final : public Registry {
public:
    std::unique_ptr<RegistryKey> OpenLocalMachine() override {
        return std::make_unique<Win32Key>(HKEY_LOCAL_MACHINE, false);
    }
};

}  // namespace

Registry& PlatformRegistry() {
    static Win32Registry registry;
    return registry;
}

}  // namespace devlist
