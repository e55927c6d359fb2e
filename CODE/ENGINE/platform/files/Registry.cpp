#include "platform/files/Registry.h"

#include "platform/Backend.h"
#include "platform/SystemInfo.h"
#include "platform/files/RegistryFile.h"
#include "platform/files/RegistryKey.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform
{

// --- The key tree ---

namespace registry
{

size_t FoldedHash::operator()(const std::string& name) const
{
    // FNV-1a over the lower-case bytes.
    u64 hash = 14695981039346656037ull;
    for (char c : name)
        hash = (hash ^ static_cast<u8>(Lower(c))) * 1099511628211ull;
    return static_cast<size_t>(hash);
}

bool FoldedEqual::operator()(const std::string& a, const std::string& b) const
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
    {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

// Frees the keys below without recursion: the stack would otherwise need a
// frame for every level of the deepest key.
Key::~Key()
{
    std::vector<std::shared_ptr<Key>> pending = std::move(children_);
    while (!pending.empty())
    {
        std::shared_ptr<Key> next = std::move(pending.back());
        pending.pop_back();
        // A key that an open handle still holds keeps its own keys.
        if (next.use_count() == 1)
        {
            for (auto& child : next->children_)
                pending.push_back(std::move(child));
            next->children_.clear();
            next->childIndex_.clear();
        }
    }
}

void Key::Renumber(Index& index, const std::vector<std::shared_ptr<Key>>& children, size_t from)
{
    for (size_t i = from; i < children.size(); ++i)
        index[children[i]->name] = i;
}

void Key::Renumber(Index& index, const std::vector<Value>& values, size_t from)
{
    for (size_t i = from; i < values.size(); ++i)
        index[values[i].name] = i;
}

std::shared_ptr<Key> Key::Child(const std::string& childName) const
{
    auto found = childIndex_.find(childName);
    return found == childIndex_.end() ? nullptr : children_[found->second];
}

std::shared_ptr<Key> Key::AddChild(const std::string& childName)
{
    auto child = std::make_shared<Key>();
    child->name = childName;
    child->parent = this;
    childIndex_.emplace(childName, children_.size());
    children_.push_back(child);
    return child;
}

size_t Key::RemoveChild(const Key* child)
{
    // The newest key is the one most often taken back.
    size_t at = children_.size() - 1;
    while (children_[at].get() != child)
        --at;
    childIndex_.erase(child->name);
    children_.erase(children_.begin() + static_cast<std::ptrdiff_t>(at));
    Renumber(childIndex_, children_, at);
    return at;
}

void Key::InsertChild(size_t at, std::shared_ptr<Key> child)
{
    children_.insert(children_.begin() + static_cast<std::ptrdiff_t>(at), std::move(child));
    Renumber(childIndex_, children_, at);
}

Value* Key::FindValue(const std::string& valueName)
{
    auto found = valueIndex_.find(valueName);
    return found == valueIndex_.end() ? nullptr : &values_[found->second];
}

void Key::PutValue(const std::string& valueName, u32 type, std::vector<u8> data)
{
    if (Value* existing = FindValue(valueName))
    {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    valueIndex_.emplace(valueName, values_.size());
    values_.push_back({valueName, type, std::move(data)});
}

Value Key::RemoveValue(size_t at)
{
    Value removed = std::move(values_[at]);
    valueIndex_.erase(removed.name);
    values_.erase(values_.begin() + static_cast<std::ptrdiff_t>(at));
    Renumber(valueIndex_, values_, at);
    return removed;
}

void Key::InsertValue(size_t at, Value value)
{
    values_.insert(values_.begin() + static_cast<std::ptrdiff_t>(at), std::move(value));
    Renumber(valueIndex_, values_, at);
}

std::shared_ptr<Key> MakePath(const std::shared_ptr<Key>& root, const std::vector<std::string>& names)
{
    std::shared_ptr<Key> key = root;
    for (const std::string& name : names)
    {
        std::shared_ptr<Key> next = key->Child(name);
        key = next ? next : key->AddChild(name);
    }
    return key;
}

} // namespace registry

namespace
{

using registry::FileState;
using registry::Key;
using registry::kMaxDepth;
using registry::ReadUserFile;
using registry::UserFile;
using registry::UserFileLock;
using registry::Value;
using registry::WriteUserFile;

struct Branch
{
    bool machine;
    std::shared_ptr<Key> root;
};

struct Handle
{
    std::shared_ptr<Key> key;
    Branch* branch = nullptr;
    bool writable = false;
};

struct Registry
{
    std::mutex mutex;
    Branch user{false, nullptr};
    Branch machine{true, nullptr};
    std::map<u32, Handle> handles;
    u32 nextHandle = 1;
};

Registry& State()
{
    static Registry registry;
    return registry;
}

// Splits a sub-key path into names; false for a path that starts with '\' or
// holds an empty name. One trailing '\' is allowed.
bool SplitPath(const char* path, std::vector<std::string>* names)
{
    names->clear();
    if (!path || !path[0])
        return true;
    if (path[0] == '\\')
        return false;
    std::string current;
    for (const char* p = path;; ++p)
    {
        if (*p == '\\' || *p == 0)
        {
            if (current.empty())
                return *p == 0 && p[-1] == '\\' && !names->empty();
            names->push_back(current);
            current.clear();
            if (*p == 0 || p[1] == 0)
                return true;
        }
        else
        {
            current += *p;
        }
    }
}

// Levels from the root; 0 for the root itself.
size_t Depth(const Key& key)
{
    size_t depth = 0;
    for (const Key* above = key.parent; above; above = above->parent)
        ++depth;
    return depth;
}

std::vector<std::string> PathOf(const Key& key)
{
    std::vector<std::string> names;
    for (const Key* at = &key; at->parent; at = at->parent)
        names.push_back(at->name);
    std::reverse(names.begin(), names.end());
    return names;
}

std::shared_ptr<Key> FindKey(std::shared_ptr<Key> key, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
    {
        if (!key)
            return nullptr;
        key = key->Child(name);
    }
    return key;
}

void PutText(Key& key, const char* name, const std::string& text)
{
    if (!text.empty())
        key.PutValue(name, REG_SZ, std::vector<u8>(text.c_str(), text.c_str() + text.size() + 1));
}

void PutDword(Key& key, const char* name, u32 number)
{
    if (number > 0)
        key.PutValue(name, REG_DWORD, {u8(number), u8(number >> 8), u8(number >> 16), u8(number >> 24)});
}

// --- The machine branch ---

std::shared_ptr<Key> DescribeMachine()
{
    auto root = std::make_shared<Key>();
    std::shared_ptr<Key> processors =
        MakePath(root, {"HARDWARE", "DESCRIPTION", "System", "CentralProcessor"});
    std::vector<ProcessorInfo> cpus = ReadProcessors();
    for (size_t i = 0; i < cpus.size(); ++i)
    {
        Key& key = *processors->AddChild(std::to_string(i));
        PutText(key, "ProcessorNameString", cpus[i].name);
        PutText(key, "Identifier", cpus[i].identifier);
        PutText(key, "VendorIdentifier", cpus[i].vendor);
        PutDword(key, "FeatureSet", cpus[i].featureSet);
        PutDword(key, "~MHz", cpus[i].mhz);
    }
    DisplayInfo display = GetBackend().DescribeDisplay();
    Key& map = *MakePath(root, {"HARDWARE", "DEVICEMAP", "VIDEO"});
    PutText(map, "\\Device\\Video0", "\\Registry\\Machine\\System\\Video\\0000");
    Key& device = *MakePath(root, {"System", "Video", "0000"});
    PutText(device, "Device Description", display.display.empty() ? display.driver : display.display);
    PutText(device, "ReleaseVersion", display.release);
    PutText(device, "InstalledDisplayDrivers", display.driver);
    return root;
}

// --- Handles ---

Branch& Loaded(Registry& registry, bool machine)
{
    Branch& branch = machine ? registry.machine : registry.user;
    if (!branch.root)
    {
        if (machine)
            branch.root = DescribeMachine();
        else
            ReadUserFile(UserFile(), &branch.root); // a file or folder the rule refuses reads as none
    }
    return branch;
}

i32 Resolve(Registry& registry, HKEY key, Handle* out)
{
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER)
    {
        Branch& branch = Loaded(registry, key == HKEY_LOCAL_MACHINE);
        *out = {branch.root, &branch, !branch.machine};
        return ERROR_SUCCESS;
    }
    auto found = registry.handles.find(static_cast<u32>(key));
    if (found == registry.handles.end())
        return ERROR_INVALID_HANDLE;
    *out = found->second;
    return out->key->deleted ? ERROR_KEY_DELETED : ERROR_SUCCESS;
}

// Resolves a handle that is to change its key.
i32 ResolveWritable(Registry& registry, HKEY key, Handle* out)
{
    i32 result = Resolve(registry, key, out);
    if (result == ERROR_SUCCESS && (!out->writable || out->branch->machine))
        return ERROR_ACCESS_DENIED;
    return result;
}

// Puts a tree read afresh in place of the user branch. Open handles follow
// their keys into it by path; a key that another process deleted answers as
// deleted.
void Install(Registry& registry, std::shared_ptr<Key> fresh)
{
    for (auto& [id, handle] : registry.handles)
    {
        if (handle.branch != &registry.user || handle.key->deleted)
            continue;
        if (std::shared_ptr<Key> same = FindKey(fresh, PathOf(*handle.key)))
            handle.key = std::move(same);
        else
            handle.key->deleted = true;
    }
    registry.user.root = std::move(fresh);
}

// Resolves a handle that is to change its key, against the user's file as it
// is now: with `lock` taken, what other processes wrote since this one read
// the file comes in first. An unreadable or over-long file is never written
// over; a lock that cannot be had leaves the keys as they were.
i32 ResolveForChange(Registry& registry, HKEY key, UserFileLock* lock, Handle* out)
{
    if (i32 failure = ResolveWritable(registry, key, out))
        return failure;
    const std::string file = UserFile();
    if (i32 failure = lock->Take(file))
        return failure;
    std::shared_ptr<Key> fresh;
    std::string why;
    switch (ReadUserFile(file, &fresh, &why))
    {
    case FileState::Unreadable:
        return registry::RefuseChange(file, ERROR_ACCESS_DENIED, why);
    case FileState::TooLarge:
        return registry::RefuseChange(file, ERROR_FILE_TOO_LARGE, why);
    case FileState::Read:
    case FileState::Missing:
        break;
    }
    Install(registry, std::move(fresh));
    return Resolve(registry, key, out);
}

// Splits a sub-key path below key; false when it is malformed or would lead
// deeper than any key may be.
bool SplitBelow(const Key& key, const char* path, std::vector<std::string>* names)
{
    return SplitPath(path, names) && Depth(key) + names->size() <= kMaxDepth;
}

HKEY NewHandle(Registry& registry, const Handle& handle)
{
    u32 id = registry.nextHandle++;
    registry.handles[id] = handle;
    return HKEY{id};
}

bool WantsWrite(u32 access)
{
    return (access & (KEY_SET_VALUE | KEY_CREATE_SUB_KEY)) != 0;
}

// Writes the user branch after a change; on failure runs undo and reports it.
template <typename Undo> i32 Commit(Branch& branch, UserFileLock* lock, Undo undo)
{
    const i32 result = WriteUserFile(UserFile(), *branch.root, lock);
    if (result != ERROR_SUCCESS)
        undo();
    return result;
}

void CopyOut(const std::vector<u8>& bytes, u8* data, u32* dataSize, i32* result)
{
    if (!dataSize)
        return;
    const auto size = static_cast<u32>(bytes.size());
    if (data)
    {
        if (size > 0 && *dataSize > 0)
            std::memcpy(data, bytes.data(), std::min(size, *dataSize));
        if (size > *dataSize)
            *result = ERROR_MORE_DATA;
    }
    *dataSize = size;
}

i32 OpenKey(HKEY key, const char* subKey, u32 access, bool create, HKEY* result, u32* disposition)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    Handle parent;
    std::vector<std::string> names;
    if (!result)
        return ERROR_INVALID_PARAMETER;
    if (i32 failure = Resolve(registry, key, &parent))
        return failure;
    if (!SplitBelow(*parent.key, subKey, &names))
        return ERROR_BAD_PATHNAME;
    std::shared_ptr<Key> target = FindKey(parent.key, names);
    auto opened = [&](u32 how)
    {
        if (disposition)
            *disposition = how;
        *result = NewHandle(registry, {target, parent.branch, WantsWrite(access)});
        return ERROR_SUCCESS;
    };
    if (target && !(parent.branch->machine && WantsWrite(access)))
        return opened(REG_OPENED_EXISTING_KEY);
    if (!create)
        return target ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    UserFileLock fileLock;
    if (i32 failure = ResolveForChange(registry, key, &fileLock, &parent))
        return failure;
    // Another process may have made the key meanwhile.
    if ((target = FindKey(parent.key, names)))
        return opened(REG_OPENED_EXISTING_KEY);
    // The last key that exists, so that a failed write can take the whole
    // new chain away again.
    std::shared_ptr<Key> above = parent.key;
    size_t made = 0;
    for (; above->Child(names[made]); ++made)
        above = above->Child(names[made]);
    target = MakePath(parent.key, names);
    const Key* first = above->Child(names[made]).get();
    if (i32 failure = Commit(*parent.branch, &fileLock, [&] { above->RemoveChild(first); }))
        return failure;
    return opened(REG_CREATED_NEW_KEY);
}

} // namespace

i32 RegOpenKeyEx(HKEY key, const char* subKey, u32, u32 access, HKEY* result)
{
    return OpenKey(key, subKey, access, false, result, nullptr);
}

i32 RegCreateKeyEx(HKEY key, const char* subKey, u32, u32 access, HKEY* result, u32* disposition)
{
    return OpenKey(key, subKey, access, true, result, disposition);
}

i32 RegCloseKey(HKEY key)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    if (key == HKEY_LOCAL_MACHINE || key == HKEY_CURRENT_USER)
        return ERROR_SUCCESS;
    return registry.handles.erase(static_cast<u32>(key)) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

i32 RegDeleteKey(HKEY key, const char* subKey)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    Handle handle;
    std::vector<std::string> names;
    UserFileLock fileLock;
    if (i32 failure = ResolveForChange(registry, key, &fileLock, &handle))
        return failure;
    if (!SplitBelow(*handle.key, subKey, &names))
        return ERROR_BAD_PATHNAME;
    std::shared_ptr<Key> target = FindKey(handle.key, names);
    if (!target)
        return ERROR_FILE_NOT_FOUND;
    if (!target->parent || !target->Children().empty())
        return ERROR_ACCESS_DENIED;
    Key& above = *target->parent;
    const size_t at = above.RemoveChild(target.get());
    target->deleted = true;
    return Commit(*handle.branch, &fileLock,
                  [&]
                  {
                      target->deleted = false;
                      above.InsertChild(at, target);
                  });
}

i32 RegDeleteValue(HKEY key, const char* name)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    Handle handle;
    UserFileLock fileLock;
    if (i32 failure = ResolveForChange(registry, key, &fileLock, &handle))
        return failure;
    Value* value = handle.key->FindValue(name ? name : "");
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    Key& owner = *handle.key;
    const auto at = static_cast<size_t>(value - owner.Values().data());
    Value removed = owner.RemoveValue(at);
    return Commit(*handle.branch, &fileLock, [&] { owner.InsertValue(at, std::move(removed)); });
}

i32 RegEnumValue(HKEY key, u32 index, char* name, u32* nameLength, u32* type, u8* data, u32* dataSize)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    Handle handle;
    if (i32 failure = Resolve(registry, key, &handle))
        return failure;
    if (!name || !nameLength)
        return ERROR_INVALID_PARAMETER;
    if (index >= handle.key->Values().size())
        return ERROR_NO_MORE_ITEMS;
    const Value& value = handle.key->Values()[index];
    if (value.name.size() + 1 > *nameLength)
        return ERROR_MORE_DATA;
    std::memcpy(name, value.name.c_str(), value.name.size() + 1);
    *nameLength = static_cast<u32>(value.name.size());
    if (type)
        *type = value.type;
    i32 result = ERROR_SUCCESS;
    CopyOut(value.data, data, dataSize, &result);
    return result;
}

i32 RegQueryValueEx(HKEY key, const char* name, u32* type, u8* data, u32* dataSize)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    Handle handle;
    if (i32 failure = Resolve(registry, key, &handle))
        return failure;
    if (data && !dataSize)
        return ERROR_INVALID_PARAMETER;
    const Value* value = handle.key->FindValue(name ? name : "");
    if (!value)
        return ERROR_FILE_NOT_FOUND;
    if (type)
        *type = value->type;
    i32 result = ERROR_SUCCESS;
    CopyOut(value->data, data, dataSize, &result);
    return result;
}

i32 RegSetValueEx(HKEY key, const char* name, u32 type, const u8* data, u32 size)
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    Handle handle;
    UserFileLock fileLock;
    if (i32 failure = ResolveForChange(registry, key, &fileLock, &handle))
        return failure;
    if (!data && size)
        return ERROR_INVALID_PARAMETER;
    const std::string valueName = name ? name : "";
    Value* existing = handle.key->FindValue(valueName);
    std::optional<Value> before;
    if (existing)
        before = *existing;
    handle.key->PutValue(valueName, type, std::vector<u8>(data, data + size));
    return Commit(*handle.branch, &fileLock,
                  [&]
                  {
                      if (before)
                          *handle.key->FindValue(valueName) = std::move(*before);
                      else
                          handle.key->RemoveValue(handle.key->Values().size() - 1);
                  });
}

void ResetRegistry()
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    registry.handles.clear();
    registry.user.root.reset();
    registry.machine.root.reset();
    registry::TellRefusalsAgain();
}

} // namespace platform
