#include "fake_registry.h"

#include "engine/text.h"

namespace dravik::test {

namespace {

class FakeKey : public RegistryKey {
public:
    FakeKey(FakeRegistry::Key& key, bool writable) : key_(key), writable_(writable) {}

    long delete_value(const std::string& name) override {
        if (!writable_) return FakeRegistry::kAccessDenied;
        return key_.values.erase(to_lower_ascii(name)) ? 0 : FakeRegistry::kNotFound;
    }
    long set_value(const std::string& name, uint32_t type, const std::string& data) override {
        if (!writable_) return FakeRegistry::kAccessDenied;
        key_.values[to_lower_ascii(name)] = {type, data};
        return 0;
    }
    long query_value(const std::string& name, uint32_t& type, std::string& data, size_t capacity) override {
        auto it = key_.values.find(to_lower_ascii(name));
        if (it == key_.values.end()) return FakeRegistry::kNotFound;
        if (it->second.data.size() > capacity) return FakeRegistry::kMoreData;
        type = it->second.type;
        data = it->second.data;
        return 0;
    }

private:
    FakeRegistry::Key& key_;
    bool writable_;
};

}  // namespace

std::pair<int, std::string> FakeRegistry::id(int root, const std::string& path) {
    std::string p = to_lower_ascii(path);
    while (!p.empty() && p.back() == '\\') p.pop_back();
    return {root, p};
}

long FakeRegistry::create_key(int root, const std::string& path) {
    auto k = id(root, path);
    auto it = keys_.find(k);
    if (it != keys_.end()) return it->second.read_only ? kAccessDenied : 0;
    // Like the system, every missing key on the way is created too.
    for (size_t p = k.second.find('\\'); p != std::string::npos; p = k.second.find('\\', p + 1)) {
        keys_.try_emplace({root, k.second.substr(0, p)});
    }
    keys_[k];
    return 0;
}

long FakeRegistry::delete_key(int root, const std::string& path) {
    auto k = id(root, path);
    auto it = keys_.find(k);
    if (it == keys_.end()) return kNotFound;
    const std::string prefix = k.second + "\\";
    for (const auto& [other, unused] : keys_) {
        if (other.first == root && other.second.compare(0, prefix.size(), prefix) == 0) return kAccessDenied;
    }
    keys_.erase(it);
    return 0;
}

long FakeRegistry::open_key(int root, const std::string& path, Access access, std::unique_ptr<RegistryKey>& key) {
    opened.push_back(access);
    auto it = keys_.find(id(root, path));
    if (it == keys_.end()) return kNotFound;
    if (access == Access::kReadWrite && it->second.read_only) return kAccessDenied;
    key = std::make_unique<FakeKey>(it->second, access == Access::kReadWrite);
    return 0;
}

std::string FakeRegistry::error_text(long code) {
    switch (code) {
        case kNotFound: return "The system cannot find the file specified.";
        case kAccessDenied: return "Access is denied.";
        case kMoreData: return "More data is available.";
        default: return "Error " + std::to_string(code) + ".";
    }
}

FakeRegistry::Key& FakeRegistry::key(int root, const std::string& path) {
    create_key(root, path);
    return keys_[id(root, path)];
}

const FakeRegistry::Value* FakeRegistry::value(int root, const std::string& path, const std::string& name) const {
    auto it = keys_.find(id(root, path));
    if (it == keys_.end()) return nullptr;
    auto v = it->second.values.find(to_lower_ascii(name));
    return v == it->second.values.end() ? nullptr : &v->second;
}

bool FakeRegistry::has_key(int root, const std::string& path) const { return keys_.count(id(root, path)) != 0; }

}  // namespace dravik::test
