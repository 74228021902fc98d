#include "devlist/registry.h"

#include <cstring>

namespace devlist {
namespace {

Registry* installedRegistry = nullptr;

std::string UpToFirstZero(const std::string& data) { return data.substr(0, data.find('\0')); }

}  // namespace

std::string ReadRegistryString(const RegistryKey& key, const std::string& name) {
    const RegistryValue value = key.QueryValue(name);
    switch (value.state) {
        case RegistryValue::State::Missing:
            return {};
        case RegistryValue::State::Unreadable:
            throw RegistryError("Failed to get data for '" + name + "'");
        case RegistryValue::State::Present:
            break;
    }
    if (value.type != kRegSz && value.type != kRegExpandSz)
        throw RegistryError("Invalid data type for '" + name + "'");
    return UpToFirstZero(value.data);
}

std::unique_ptr<RegistryKey> OpenKeyChain(Registry& registry, const std::vector<KeyStep>& steps) {
    std::unique_ptr<RegistryKey> key = registry.OpenLocalMachine();
    for (const KeyStep& step : steps) {
        if (!key) return nullptr;
        key = key->OpenSubKey(step.path, step.access);
    }
    return key;
}

void InstallRegistry(Registry* registry) { installedRegistry = registry; }

Registry& InstalledRegistry() { return installedRegistry ? *installedRegistry : PlatformRegistry(); }

}  // namespace devlist
