#include "platform/Registry.h"

#include "platform/Backend.h"
#include "platform/FileReplace.h"
#include "platform/OShell.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform
{

namespace
{

// Programs written for such a registry expect no key deeper than this; the
// limit also bounds what one call or one file can build.
constexpr size_t kMaxDepth = 512;

char Lower(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(const std::string& a, const std::string& b)
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

struct Value
{
    std::string name;
    u32 type = REG_NONE;
    std::vector<u8> data;
};

struct Key
{
    std::string name;
    Key* parent = nullptr;
    std::vector<std::shared_ptr<Key>> children;
    std::vector<Value> values;
    bool deleted = false;

    Key() = default;
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    // Frees the keys below without recursion: the stack would otherwise need
    // a frame for every level of the deepest key.
    ~Key()
    {
        std::vector<std::shared_ptr<Key>> pending = std::move(children);
        while (!pending.empty())
        {
            std::shared_ptr<Key> next = std::move(pending.back());
            pending.pop_back();
            // A key that an open handle still holds keeps its own keys.
            if (next.use_count() == 1)
            {
                for (auto& child : next->children)
                    pending.push_back(std::move(child));
                next->children.clear();
            }
        }
    }

    std::shared_ptr<Key> Child(const std::string& childName) const
    {
        for (const auto& child : children)
        {
            if (SameName(child->name, childName))
                return child;
        }
        return nullptr;
    }
    std::shared_ptr<Key> AddChild(const std::string& childName)
    {
        auto child = std::make_shared<Key>();
        child->name = childName;
        child->parent = this;
        children.push_back(child);
        return child;
    }
    Value* FindValue(const std::string& valueName)
    {
        for (Value& value : values)
        {
            if (SameName(value.name, valueName))
                return &value;
        }
        return nullptr;
    }
};

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

std::shared_ptr<Key> Walk(std::shared_ptr<Key> key, const std::vector<std::string>& names)
{
    for (const std::string& name : names)
    {
        if (!key)
            return nullptr;
        key = key->Child(name);
    }
    return key;
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

void PutValue(Key& key, const std::string& name, u32 type, std::vector<u8> data)
{
    if (Value* existing = key.FindValue(name))
    {
        existing->type = type;
        existing->data = std::move(data);
        return;
    }
    key.values.push_back({name, type, std::move(data)});
}

void PutText(Key& key, const char* name, const std::string& text)
{
    if (!text.empty())
        PutValue(key, name, REG_SZ, std::vector<u8>(text.c_str(), text.c_str() + text.size() + 1));
}

void PutDword(Key& key, const char* name, u32 number)
{
    if (number > 0)
        PutValue(key, name, REG_DWORD, {u8(number), u8(number >> 8), u8(number >> 16), u8(number >> 24)});
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

// --- The user branch's file ---
// One line per key ("K <path>", the root being "K \") followed by one line
// per value ("V <type> <name> <hex bytes>"). Names keep printable ASCII and
// write every other byte, and '%', as %XX; an empty name is "%", empty data
// "-". Lines that cannot be read are skipped.

std::string UserFile()
{
    std::string home = XdgFolder("XDG_CONFIG_HOME", ".config");
    return home.empty() ? home : home + "/Quenvo/ZORBLET/registry";
}

std::string Escape(const std::string& name)
{
    if (name.empty())
        return "%";
    std::string out;
    char hex[4];
    for (char c : name)
    {
        auto byte = static_cast<u8>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '%')
        {
            std::snprintf(hex, sizeof hex, "%%%02X", byte);
            out += hex;
        }
        else
        {
            out += c;
        }
    }
    return out;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = Lower(c);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

bool Unescape(const std::string& text, std::string* out)
{
    out->clear();
    if (text == "%")
        return true;
    for (size_t i = 0; i < text.size(); ++i)
    {
        if (text[i] != '%')
        {
            *out += text[i];
            continue;
        }
        int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
        int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
        if (high < 0 || low < 0)
            return false;
        *out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

bool Unhex(const std::string& text, std::vector<u8>* out)
{
    out->clear();
    if (text == "-")
        return true;
    if (text.size() % 2)
        return false;
    for (size_t i = 0; i < text.size(); i += 2)
    {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out->push_back(static_cast<u8>(high * 16 + low));
    }
    return true;
}

std::string Serialise(const Key& root)
{
    std::string out = "ZORBLET registry 1\n";
    // Depth first, each key before the keys below it and in their order, with
    // a stack of its own so that a deep key needs no deep call chain.
    std::vector<std::pair<const Key*, std::string>> pending;
    pending.emplace_back(&root, "");
    char hex[3];
    while (!pending.empty())
    {
        auto [key, path] = std::move(pending.back());
        pending.pop_back();
        out += "K " + (path.empty() ? std::string("\\") : path) + "\n";
        for (const Value& value : key->values)
        {
            out += "V " + std::to_string(value.type) + " " + Escape(value.name) + " ";
            for (u8 byte : value.data)
            {
                std::snprintf(hex, sizeof hex, "%02x", byte);
                out += hex;
            }
            out += value.data.empty() ? "-\n" : "\n";
        }
        for (auto child = key->children.rbegin(); child != key->children.rend(); ++child)
            pending.emplace_back(child->get(), path.empty() ? Escape((*child)->name)
                                                            : path + "\\" + Escape((*child)->name));
    }
    return out;
}

void Parse(const std::string& text, const std::shared_ptr<Key>& root)
{
    std::istringstream lines(text);
    std::string line;
    std::shared_ptr<Key> current;
    while (std::getline(lines, line))
    {
        std::istringstream words(line);
        std::string tag, first, second, third;
        words >> tag >> first;
        if (tag == "K")
        {
            // A key deeper than any call could make is left out with its
            // values.
            if (static_cast<size_t>(std::count(first.begin(), first.end(), '\\')) >= kMaxDepth)
            {
                current = nullptr;
                continue;
            }
            std::vector<std::string> names;
            std::string name;
            bool ok = true;
            std::istringstream parts(first == "\\" ? std::string() : first);
            for (std::string part; ok && std::getline(parts, part, '\\');)
            {
                ok = Unescape(part, &name) && !name.empty() && name.find('\\') == std::string::npos;
                names.push_back(name);
            }
            current = ok && !first.empty() ? MakePath(root, names) : nullptr;
        }
        else if (tag == "V" && current && (words >> second >> third))
        {
            std::string name;
            std::vector<u8> data;
            char* end = nullptr;
            unsigned long type = std::strtoul(first.c_str(), &end, 10);
            if (*end == 0 && !first.empty() && Unescape(second, &name) && Unhex(third, &data))
                PutValue(*current, name, static_cast<u32>(type), std::move(data));
        }
    }
}

enum class FileState
{
    Read,
    Missing,
    // The file exists but cannot be read: its keys are unknown, so it must
    // not be written over.
    Unreadable
};

// Reads the user's file into a new tree, empty unless the file was Read.
FileState ReadUserFile(const std::string& file, std::shared_ptr<Key>* root)
{
    *root = std::make_shared<Key>();
    if (file.empty())
        return FileState::Missing;
    // Without O_NONBLOCK a pipe planted at the name would hold the open until
    // something writes to it.
    const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unreadable;
    struct stat info
    {
    };
    bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    std::string text;
    char block[4096];
    for (ssize_t n; ok && (n = ::read(fd, block, sizeof block)) != 0;)
    {
        if (n > 0)
            text.append(block, static_cast<size_t>(n));
        else
            ok = errno == EINTR;
    }
    ::close(fd);
    if (!ok)
        return FileState::Unreadable;
    Parse(text, *root);
    return FileState::Read;
}

std::string FolderOf(const std::string& file)
{
    return file.substr(0, file.rfind('/'));
}

// Replaces the file in one step, so that a failed write leaves the old one.
// A file kept behind a link is replaced where the link leads; a file the
// player may not write is refused.
i32 WriteUserFile(const std::string& file, const Key& root)
{
    if (file.empty() || !EnsureFolderTree(FolderOf(file)))
        return ERROR_WRITE_FAULT;
    const std::string text = Serialise(root);
    const std::string target = FollowLinks(file);
    std::string temp;
    FILE* out = OpenReplacementOf(target, &temp);
    if (!out)
        return errno == EACCES || errno == EPERM ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT;
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return CommitReplacement(out, written, temp, target) ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

// Held around each change to the user's file, so that reading the file
// again, changing it and writing it happen while no other process does the
// same, and no process writes back a copy that misses another's change. The
// folder is locked: the file itself is a new one after every write.
class UserFileLock
{
public:
    UserFileLock() = default;
    UserFileLock(const UserFileLock&) = delete;
    UserFileLock& operator=(const UserFileLock&) = delete;
    ~UserFileLock()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // A folder that cannot be made or opened is not locked; the write that
    // follows then fails on its own.
    void Take(const std::string& folder)
    {
        if (folder.empty() || !EnsureFolderTree(folder))
            return;
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR)
        {
        }
    }

private:
    int fd_ = -1;
};

// --- Handles ---

Branch& Loaded(Registry& registry, bool machine)
{
    Branch& branch = machine ? registry.machine : registry.user;
    if (!branch.root)
    {
        if (machine)
            branch.root = DescribeMachine();
        else
            ReadUserFile(UserFile(), &branch.root);
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
        if (std::shared_ptr<Key> same = Walk(fresh, PathOf(*handle.key)))
            handle.key = std::move(same);
        else
            handle.key->deleted = true;
    }
    registry.user.root = std::move(fresh);
}

// Resolves a handle that is to change its key, against the user's file as it
// is now: with `lock` taken, what other processes wrote since this one read
// the file comes in first. An unreadable file is never written over.
i32 ResolveForChange(Registry& registry, HKEY key, UserFileLock* lock, Handle* out)
{
    if (i32 failure = ResolveWritable(registry, key, out))
        return failure;
    const std::string file = UserFile();
    lock->Take(file.empty() ? file : FolderOf(file));
    std::shared_ptr<Key> fresh;
    if (ReadUserFile(file, &fresh) == FileState::Unreadable)
        return ERROR_ACCESS_DENIED;
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
template <typename Undo> i32 Commit(Branch& branch, Undo undo)
{
    const i32 result = WriteUserFile(UserFile(), *branch.root);
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
    std::shared_ptr<Key> target = Walk(parent.key, names);
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
    if ((target = Walk(parent.key, names)))
        return opened(REG_OPENED_EXISTING_KEY);
    // The last key that exists, so that a failed write can take the whole
    // new chain away again.
    std::shared_ptr<Key> above = parent.key;
    for (size_t i = 0; above->Child(names[i]); ++i)
        above = above->Child(names[i]);
    target = MakePath(parent.key, names);
    if (i32 failure = Commit(*parent.branch, [&] { above->children.pop_back(); }))
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
    std::shared_ptr<Key> target = Walk(handle.key, names);
    if (!target)
        return ERROR_FILE_NOT_FOUND;
    if (!target->parent || !target->children.empty())
        return ERROR_ACCESS_DENIED;
    auto& siblings = target->parent->children;
    size_t at = 0;
    while (siblings[at] != target)
        ++at;
    siblings.erase(siblings.begin() + static_cast<std::ptrdiff_t>(at));
    target->deleted = true;
    return Commit(*handle.branch,
                  [&]
                  {
                      target->deleted = false;
                      siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(at), target);
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
    auto& values = handle.key->values;
    const auto at = value - values.data();
    Value removed = std::move(*value);
    values.erase(values.begin() + at);
    return Commit(*handle.branch, [&] { values.insert(values.begin() + at, std::move(removed)); });
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
    if (index >= handle.key->values.size())
        return ERROR_NO_MORE_ITEMS;
    const Value& value = handle.key->values[index];
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
    PutValue(*handle.key, valueName, type, std::vector<u8>(data, data + size));
    return Commit(*handle.branch,
                  [&]
                  {
                      if (before)
                          *handle.key->FindValue(valueName) = std::move(*before);
                      else
                          handle.key->values.pop_back();
                  });
}

void ResetRegistry()
{
    Registry& registry = State();
    std::lock_guard lock(registry.mutex);
    registry.handles.clear();
    registry.user.root.reset();
    registry.machine.root.reset();
}

} // namespace platform
