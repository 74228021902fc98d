#include "devlist/memory_registry.h"

#include <algorithm>

namespace devlist {

struct MemoryRegistry::Node {
    struct Value {
        std::string name;
        RegistryValue value;
    };
    std::string name;
    std::vector<std::unique_ptr<Node>> children;
    std::vector<Value> values;
};

namespace {

using Node = MemoryRegistry::Node;

char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

std::vector<std::string> SplitPath(const std::string& path) {
    std::vector<std::string> names;
    std::string current;
    for (char c : path) {
        if (c == '\\') {
            if (!current.empty()) names.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) names.push_back(current);
    return names;
}

Node* Child(const Node& node, const std::string& name) {
    for (const auto& child : node.children)
        if (SameName(child->name, name)) return child.get();
    return nullptr;
}

Node* Find(Node& from, const std::string& path) {
    Node* node = &from;
    for (const std::string& name : SplitPath(path)) {
        node = Child(*node, name);
        if (!node) return nullptr;
    }
    return node;
}

Node::Value* FindValue(Node& node, const std::string& name) {
    for (auto& v : node.values)
        if (SameName(v.name, name)) return &v;
    return nullptr;
}

class MemoryKey final : public RegistryKey {
public:
    explicit MemoryKey(Node& node) : node_(node) {}

    std::unique_ptr<RegistryKey> OpenSubKey(const std::string& path, KeyAccess) const override {
        Node* target = Find(node_, path);
        if (!target) return nullptr;
        return std::make_unique<MemoryKey>(*target);
    }

    bool HasSubKeys() const override { return !node_.children.empty(); }

    bool ListSubKeyNames(std::vector<std::string>& names) const override {
        for (const auto& child : node_.children) names.push_back(child->name);
        return true;
    }

    RegistryValue QueryValue(const std::string& name) const override {
        const Node::Value* v = FindValue(node_, name);
        return v ? v->value : RegistryValue{};
    }

private:
    Node& node_;
};

}  // namespace

MemoryRegistry::MemoryRegistry() : root_(std::make_unique<Node>()) {}

MemoryRegistry::~MemoryRegistry() = default;

Node& MemoryRegistry::Ensure(const std::string& path) {
    Node* node = root_.get();
    for (const std::string& name : SplitPath(path)) {
        Node* next = Child(*node, name);
        if (!next) {
            node->children.push_back(std::make_unique<Node>());
            next = node->children.back().get();
            next->name = name;
        }
        node = next;
    }
    return *node;
}

void MemoryRegistry::AddKey(const std::string& path) { Ensure(path); }

void MemoryRegistry::RemoveKey(const std::string& path) {
    std::vector<std::string> names = SplitPath(path);
    if (names.empty()) return;
    const std::string last = names.back();
    names.pop_back();
    Node* parent = root_.get();
    for (const std::string& name : names) {
        parent = Child(*parent, name);
        if (!parent) return;
    }
    std::erase_if(parent->children, [&](const std::unique_ptr<Node>& c) { return SameName(c->name, last); });
}

void MemoryRegistry::SetString(const std::string& path, const std::string& name, const std::string& data,
                               std::uint32_t type) {
    SetValue(path, name, type, data);
}

void MemoryRegistry::SetValue(const std::string& path, const std::string& name, std::uint32_t type,
                              const std::string& data) {
    Node& node = Ensure(path);
    RegistryValue value{RegistryValue::State::Present, type, data};
    if (Node::Value* existing = FindValue(node, name)) {
        existing->value = value;
    } else {
        node.values.push_back({name, value});
    }
}

void MemoryRegistry::RemoveValue(const std::string& path, const std::string& name) {
    if (Node* node = Find(*root_, path))
        std::erase_if(node->values, [&](const Node::Value& v) { return SameName(v.name, name); });
}

std::unique_ptr<RegistryKey> MemoryRegistry::OpenLocalMachine() { return std::make_unique<MemoryKey>(*root_); }

}  // namespace devlist
