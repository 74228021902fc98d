#pragma once
// An in-memory registry behind the registry seam: the tests' registry (their
// faults are added by tests/devlist/fault_registry.h), and the registry of
// platforms that have none (empty there). Key and value names
// compare without regard to ASCII letter case, as in the Windows registry;
// subkeys enumerate in the order they were added.
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "devlist/registry.h"

namespace devlist {

class MemoryRegistry : public Registry {
public:
    MemoryRegistry();
    ~MemoryRegistry() override;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // Paths are below HKEY_LOCAL_MACHINE, names separated by '\'.
    // Creates the key and any missing parents.
    void AddKey(const std::string& path);
    // Removes the key with its subkeys and values (nothing when missing).
    void RemoveKey(const std::string& path);
    // Creates the key when needed and sets a string value (REG_SZ unless told).
    void SetString(const std::string& path, const std::string& name, const std::string& data,
                   std::uint32_t type = kRegSz);
    // Sets a value of any type with raw data.
    void SetValue(const std::string& path, const std::string& name, std::uint32_t type,
                  const std::string& data);
    void RemoveValue(const std::string& path, const std::string& name);

    std::unique_ptr<RegistryKey> OpenLocalMachine() override;

    struct Node;

private:
    Node& Ensure(const std::string& path);
    std::unique_ptr<Node> root_;
};

}  // namespace devlist
