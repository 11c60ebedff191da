// An in-memory registry for the executor's tests: keys by root and path (case ignored), values by
// name (case ignored), error codes and texts as the system gives them.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "commands/registry.h"

namespace dravik::test {

class FakeRegistry : public Registry {
public:
    static constexpr long kNotFound = 2;      // ERROR_FILE_NOT_FOUND
    static constexpr long kAccessDenied = 5;  // ERROR_ACCESS_DENIED
    static constexpr long kMoreData = 234;    // ERROR_MORE_DATA

    struct Value {
        uint32_t type = 0;
        std::string data;
    };
    struct Key {
        std::map<std::string, Value> values;  // names in lower case
        bool read_only = false;               // may be read but not written
    };

    long create_key(int root, const std::string& path) override;
    long delete_key(int root, const std::string& path) override;
    long open_key(int root, const std::string& path, Access access, std::unique_ptr<RegistryKey>& key) override;
    std::string error_text(long code) override;

    // Test access: the key (created when missing) and a value, null when absent.
    Key& key(int root, const std::string& path);
    const Value* value(int root, const std::string& path, const std::string& name) const;
    bool has_key(int root, const std::string& path) const;

    std::vector<Access> opened;  // every open_key's access, in order

private:
    static std::pair<int, std::string> id(int root, const std::string& path);
    std::map<std::pair<int, std::string>, Key> keys_;
};

}  // namespace dravik::test
