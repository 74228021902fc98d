#pragma once
// The tests' registry: a MemoryRegistry whose keys can be made to fail as a
// real registry's do, and that counts the keys opened through it. Paths are
// below HKEY_LOCAL_MACHINE, names separated by '\', compared without regard
// to ASCII letter case.
#include <cstddef>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "devlist/memory_registry.h"

namespace devlist_test {

class FaultRegistry final : public devlist::MemoryRegistry {
public:
    // The value exists, but fetching its data fails.
    void SetUnreadable(const std::string& path, const std::string& name);
    // Opening the key with full access is refused; read-only still works.
    void DenyFullAccess(const std::string& path);
    // Listing the key's subkeys fails after giving this many names.
    void FailListingAfter(const std::string& path, std::size_t names);

    // How many keys were opened through the seam so far (HKEY_LOCAL_MACHINE included).
    std::size_t OpenCount() const { return faults_->opens; }

    std::unique_ptr<devlist::RegistryKey> OpenLocalMachine() override;

    struct Faults {
        std::set<std::pair<std::string, std::string>> unreadable;  // key path, value name
        std::set<std::string> denyFullAccess;
        std::map<std::string, std::size_t> failListingAfter;
        std::size_t opens = 0;
    };

private:
    std::shared_ptr<Faults> faults_ = std::make_shared<Faults>();
};

}  // namespace devlist_test
