// The in-memory file system of fakes.h.
#include "fakes.h"

#include <algorithm>
#include <cstring>

namespace dkgetval::testing {

namespace {

class FakeHandle : public OpenFile {
  public:
    FakeHandle(std::shared_ptr<FakeNode> node, FakeFileSystem* fs) : node_(std::move(node)), fs_(fs) {
        ++node_->open_handles;
    }
    ~FakeHandle() override { --node_->open_handles; }

    long read(char* buffer, unsigned long size) override {
        if (fs_) fs_->step("read");
        std::size_t n = std::min<std::size_t>(size, node_->data.size() - std::min(pos_, node_->data.size()));
        if (n > 0) std::memcpy(buffer, node_->data.data() + pos_, n);
        pos_ += n;
        return static_cast<long>(n);
    }
    bool write(const char* data, unsigned long size) override {
        if (fs_) {
            fs_->step("write");
            if (fs_->fail_writes) return false;
        }
        if (pos_ > node_->data.size()) node_->data.resize(pos_, '\0');
        node_->data.replace(pos_, std::min<std::size_t>(size, node_->data.size() - pos_), data, size);
        pos_ += size;
        return true;
    }
    bool seek(std::uint64_t offset) override {
        if (fs_) fs_->step("seek");
        pos_ = static_cast<std::size_t>(offset);
        return true;
    }
    std::optional<std::uint64_t> size() override {
        if (fs_) fs_->step("file_size");
        return node_->data.size();
    }
    bool truncate() override {
        if (fs_) {
            fs_->step("truncate");
            if (fs_->fail_writes) return false;
        }
        node_->data.resize(pos_, '\0');
        return true;
    }
    bool flush() override {
        if (fs_) fs_->step("flush");
        return true;
    }
    bool step_back() override {
        if (fs_) fs_->step("step_back");
        if (pos_ == 0) return false;
        --pos_;
        return true;
    }

  private:
    std::shared_ptr<FakeNode> node_;
    FakeFileSystem* fs_;  // null for handles held by "other programs", which never crash
    std::size_t pos_ = 0;
};

}  // namespace

void FakeFileSystem::step(const std::string& operation) {
    ++operations;
    if (crash_at && operations == crash_at) throw SimulatedCrash{};
    if (before) {
        // A copy: the hook may replace itself while it runs.
        std::function<void(const std::string&)> hook = before;
        hook(operation);
    }
}

void FakeFileSystem::put(const std::string& path, const std::string& data) {
    names_[path] = std::make_shared<FakeNode>(FakeNode{data, 0});
}

std::string FakeFileSystem::data(const std::string& path) const {
    auto it = names_.find(path);
    return it == names_.end() ? std::string("<missing>") : it->second->data;
}

std::unique_ptr<OpenFile> FakeFileSystem::hold(const std::string& path) {
    return std::make_unique<FakeHandle>(names_.at(path), nullptr);
}

bool FakeFileSystem::append(const std::string& path, const std::string& data) {
    auto it = names_.find(path);
    if (it == names_.end() || it->second->open_handles > 0) return false;
    it->second->data += data;
    return true;
}

std::vector<std::string> FakeFileSystem::names() const {
    std::vector<std::string> out;
    for (const auto& entry : names_) out.push_back(entry.first);
    return out;
}

bool FakeFileSystem::exists(const std::string& path) {
    step("exists");
    return has(path);
}

std::optional<std::uint64_t> FakeFileSystem::size(const std::string& path) {
    step("size");
    auto it = names_.find(path);
    if (it == names_.end()) return std::nullopt;
    return it->second->data.size();
}

std::unique_ptr<OpenFile> FakeFileSystem::open_exclusive(const std::string& path) {
    step("open_exclusive");
    auto it = names_.find(path);
    if (it == names_.end() || it->second->open_handles > 0) return nullptr;
    return std::make_unique<FakeHandle>(it->second, this);
}

std::unique_ptr<OpenFile> FakeFileSystem::create_exclusive(const std::string& path, CreateResult& result) {
    step("create_exclusive");
    if (has(path)) {
        result = CreateResult::exists;
        return nullptr;
    }
    put(path, "");
    result = CreateResult::created;
    return std::make_unique<FakeHandle>(names_[path], this);
}

bool FakeFileSystem::rename(const std::string& from, const std::string& to) {
    step("rename");
    auto source = names_.find(from);
    if (source == names_.end() || source->second->open_handles > 0 || has(to)) return false;
    names_[to] = source->second;
    names_.erase(from);
    return true;
}

bool FakeFileSystem::remove(const std::string& path) {
    step("remove");
    auto it = names_.find(path);
    if (it == names_.end() || it->second->open_handles > 0) return false;
    names_.erase(it);
    return true;
}

}  // namespace dkgetval::testing
