#include "tests/devlist/fault_registry.h"

#include <algorithm>
#include <cstddef>
#include <vector>

namespace devlist_test {
namespace {

using devlist::KeyAccess;
using devlist::RegistryKey;
using devlist::RegistryValue;

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A key path as the faults store it: lower-case ASCII, no empty names.
std::string Normal(const std::string& path) {
    std::string normal;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) normal += (normal.empty() ? "" : "\\") + Lower(path.substr(start, end - start));
        start = end + 1;
    }
    return normal;
}

std::string Joined(const std::string& parent, const std::string& path) { return Normal(parent + '\\' + path); }

// A key of the memory registry with the faults in force at its path.
class FaultKey final : public RegistryKey {
public:
    FaultKey(std::unique_ptr<RegistryKey> inner, std::string path, std::shared_ptr<FaultRegistry::Faults> faults)
        : inner_(std::move(inner)), path_(std::move(path)), faults_(std::move(faults)) {
        ++faults_->opens;
    }

    std::unique_ptr<RegistryKey> OpenSubKey(const std::string& path, KeyAccess access) const override {
        const std::string target = Joined(path_, path);
        if (access == KeyAccess::Full && faults_->denyFullAccess.contains(target)) return nullptr;
        std::unique_ptr<RegistryKey> opened = inner_->OpenSubKey(path, access);
        if (!opened) return nullptr;
        return std::make_unique<FaultKey>(std::move(opened), target, faults_);
    }

    bool HasSubKeys() const override { return inner_->HasSubKeys(); }

    bool ListSubKeyNames(std::vector<std::string>& names) const override {
        const auto fault = faults_->failListingAfter.find(path_);
        if (fault == faults_->failListingAfter.end()) return inner_->ListSubKeyNames(names);
        std::vector<std::string> all;
        inner_->ListSubKeyNames(all);
        const std::size_t given = std::min(all.size(), fault->second);
        names.insert(names.end(), all.begin(), all.begin() + static_cast<std::ptrdiff_t>(given));
        return given == all.size();
    }

    RegistryValue QueryValue(const std::string& name) const override {
        RegistryValue value = inner_->QueryValue(name);
        if (value.state == RegistryValue::State::Present && faults_->unreadable.contains({path_, Lower(name)}))
            value.state = RegistryValue::State::Unreadable;
        return value;
    }

private:
    std::unique_ptr<RegistryKey> inner_;
    std::string path_;
    std::shared_ptr<FaultRegistry::Faults> faults_;
};

}  // namespace

void FaultRegistry::SetUnreadable(const std::string& path, const std::string& name) {
    SetString(path, name, {});
    faults_->unreadable.insert({Normal(path), Lower(name)});
}

void FaultRegistry::DenyFullAccess(const std::string& path) {
    AddKey(path);
    faults_->denyFullAccess.insert(Normal(path));
}

void FaultRegistry::FailListingAfter(const std::string& path, std::size_t names) {
    AddKey(path);
    faults_->failListingAfter[Normal(path)] = names;
}

std::unique_ptr<devlist::RegistryKey> FaultRegistry::OpenLocalMachine() {
    return std::make_unique<FaultKey>(MemoryRegistry::OpenLocalMachine(), std::string(), faults_);
}

}  // namespace devlist_test
