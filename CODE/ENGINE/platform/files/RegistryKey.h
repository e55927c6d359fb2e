#pragma once
// The registry's key tree, shared by the calls (Registry.cpp) and the user
// branch's file (RegistryFile.cpp); not for use outside the registry.
//
// A key keeps its sub-keys in the order they were made and its values in the
// order they were first set, as enumeration and the file show them, and an
// index of each by name, so that finding a name costs the same in a key of
// a million values as in a key of one. Names compare without regard to ASCII
// case.
#include "core/Types.h"
#include "platform/files/Registry.h"

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace platform::registry
{

// Programs written for such a registry expect no key deeper than this; the
// limit also bounds what one call or one file can build.
inline constexpr size_t kMaxDepth = 512;

inline char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

struct FoldedHash
{
    size_t operator()(const std::string& name) const;
};

struct FoldedEqual
{
    bool operator()(const std::string& a, const std::string& b) const;
};

struct Value
{
    std::string name;
    u32 type = REG_NONE;
    std::vector<u8> data;
};

class Key
{
public:
    std::string name;
    Key* parent = nullptr;
    bool deleted = false;

    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    ~Key();

    const std::vector<std::shared_ptr<Key>>& Children() const { return children_; }
    const std::vector<Value>& Values() const { return values_; }

    std::shared_ptr<Key> Child(const std::string& childName) const;
    // Makes a sub-key of a name that no sub-key has yet.
    std::shared_ptr<Key> AddChild(const std::string& childName);
    // Takes a sub-key out; returns where it was, for InsertChild to put it
    // back.
    size_t RemoveChild(const Key* child);
    void InsertChild(size_t at, std::shared_ptr<Key> child);

    Value* FindValue(const std::string& valueName);
    // Sets a value: one of the same name keeps its place and its spelling.
    void PutValue(const std::string& valueName, u32 type, std::vector<u8> data);
    Value RemoveValue(size_t at);
    void InsertValue(size_t at, Value value);

private:
    using Index = std::unordered_map<std::string, size_t, FoldedHash, FoldedEqual>;
    // Every entry from `from` on has moved: its index entry follows it.
    static void Renumber(Index& index, const std::vector<std::shared_ptr<Key>>& children, size_t from);
    static void Renumber(Index& index, const std::vector<Value>& values, size_t from);

    std::vector<std::shared_ptr<Key>> children_;
    std::vector<Value> values_;
    Index childIndex_;
    Index valueIndex_;
};

// The key at the end of names below root, made with every missing key on the
// way.
std::shared_ptr<Key> MakePath(const std::shared_ptr<Key>& root, const std::vector<std::string>& names);

} // namespace platform::registry
