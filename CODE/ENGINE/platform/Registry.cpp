#include "platform/Registry.h"

#include "platform/Backend.h"
#include "platform/FileReplace.h"
#include "platform/OShell.h"
#include "platform/SystemInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace platform
{

namespace
{

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

void WriteKey(std::string& out, const Key& key, const std::string& path)
{
    out += "K " + (path.empty() ? std::string("\\") : path) + "\n";
    char hex[3];
    for (const Value& value : key.values)
    {
        out += "V " + std::to_string(value.type) + " " + Escape(value.name) + " ";
        for (u8 byte : value.data)
        {
            std::snprintf(hex, sizeof hex, "%02x", byte);
            out += hex;
        }
        out += value.data.empty() ? "-\n" : "\n";
    }
    for (const auto& child : key.children)
        WriteKey(out, *child, path.empty() ? Escape(child->name) : path + "\\" + Escape(child->name));
}

std::shared_ptr<Key> ReadUserFile(const std::string& file)
{
    auto root = std::make_shared<Key>();
    FILE* in = file.empty() ? nullptr : std::fopen(file.c_str(), "rb");
    if (!in)
        return root;
    std::string text;
    char block[4096];
    for (size_t n; (n = std::fread(block, 1, sizeof block, in)) > 0;)
        text.append(block, n);
    std::fclose(in);

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
    return root;
}

// Replaces the file in one step, so that a failed write leaves the old one.
bool WriteUserFile(const std::string& file, const Key& root)
{
    if (file.empty())
        return false;
    std::string folder = file.substr(0, file.rfind('/'));
    if (!EnsureFolderTree(folder))
        return false;
    std::string text = "ZORBLET registry 1\n";
    WriteKey(text, root, "");
    const std::string temp = file + ".tmp";
    FILE* out = OpenReplacement(temp);
    if (!out)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
    return CommitReplacement(out, written, temp, file);
}

// --- Handles ---

Branch& Loaded(Registry& registry, bool machine)
{
    Branch& branch = machine ? registry.machine : registry.user;
    if (!branch.root)
        branch.root = machine ? DescribeMachine() : ReadUserFile(UserFile());
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
    if (WriteUserFile(UserFile(), *branch.root))
        return ERROR_SUCCESS;
    undo();
    return ERROR_WRITE_FAULT;
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
    if (!SplitPath(subKey, &names))
        return ERROR_BAD_PATHNAME;
    std::shared_ptr<Key> target = Walk(parent.key, names);
    const bool refused = parent.branch->machine && WantsWrite(access);
    if (target && !refused)
    {
        if (disposition)
            *disposition = REG_OPENED_EXISTING_KEY;
        *result = NewHandle(registry, {target, parent.branch, WantsWrite(access)});
        return ERROR_SUCCESS;
    }
    if (!create)
        return target ? ERROR_ACCESS_DENIED : ERROR_FILE_NOT_FOUND;
    if (!parent.writable || parent.branch->machine)
        return ERROR_ACCESS_DENIED;
    // The last key that exists, so that a failed write can take the whole
    // new chain away again.
    std::shared_ptr<Key> above = parent.key;
    for (size_t i = 0; above->Child(names[i]); ++i)
        above = above->Child(names[i]);
    target = MakePath(parent.key, names);
    if (i32 failure = Commit(*parent.branch, [&] { above->children.pop_back(); }))
        return failure;
    if (disposition)
        *disposition = REG_CREATED_NEW_KEY;
    *result = NewHandle(registry, {target, parent.branch, WantsWrite(access)});
    return ERROR_SUCCESS;
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
    if (i32 failure = ResolveWritable(registry, key, &handle))
        return failure;
    if (!SplitPath(subKey, &names))
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
    if (i32 failure = ResolveWritable(registry, key, &handle))
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
    if (i32 failure = ResolveWritable(registry, key, &handle))
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
