#include "platform/files/RegistryFile.h"

#include "core/FileLimits.h"
#include "platform/files/FileReplace.h"
#include "platform/files/FileWalk.h"
#include "platform/files/OShell.h"
#include "platform/files/OwnLock.h"
#include "platform/files/Registry.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::registry
{

namespace
{

// Long enough for any other writer's change, which holds the lock only while
// it reads, writes and syncs one small file; short enough that a stopped
// process holding it costs the player a pause, not the game.
constexpr int kLockWaitMs = 3000;

// A refused or failed change is told once per process, as the log tells its
// first lost line: the changes after it mostly meet the same, and a line for
// each would bury the first.
std::atomic<bool> toldRefusal{false};

constexpr char kUpperHex[] = "0123456789ABCDEF";
constexpr char kLowerHex[] = "0123456789abcdef";

std::string FolderOf(const std::string& file)
{
    return file.substr(0, file.rfind('/'));
}

std::string Escape(const std::string& name)
{
    if (name.empty())
        return "%";
    std::string out;
    out.reserve(name.size());
    for (char c : name)
    {
        auto byte = static_cast<u8>(c);
        if (byte <= 0x20 || byte >= 0x7F || c == '%')
        {
            out += '%';
            out += kUpperHex[byte >> 4];
            out += kUpperHex[byte & 15];
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

bool Unescape(std::string_view text, std::string* out)
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

bool Unhex(std::string_view text, std::vector<u8>* out)
{
    out->clear();
    if (text == "-")
        return true;
    if (text.size() % 2)
        return false;
    out->reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2)
    {
        int high = HexDigit(text[i]), low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        out->push_back(static_cast<u8>(high * 16 + low));
    }
    return true;
}

// The blanks that separate words when a stream reads them in the "C" locale.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The next word of line from *at on; empty at the end of the line.
std::string_view NextWord(std::string_view line, size_t* at)
{
    size_t start = *at;
    while (start < line.size() && IsBlank(line[start]))
        ++start;
    size_t end = start;
    while (end < line.size() && !IsBlank(line[end]))
        ++end;
    *at = end;
    return line.substr(start, end - start);
}

// The key a "K" line names, made with every key above it; null when the path
// cannot be read or lies deeper than any call could make.
std::shared_ptr<Key> KeyOfLine(std::string_view path, const std::shared_ptr<Key>& root)
{
    if (path.empty() || static_cast<size_t>(std::count(path.begin(), path.end(), '\\')) >= kMaxDepth)
        return nullptr;
    if (path == "\\")
        return root;
    std::vector<std::string> names;
    std::string name;
    // A '\' at the very end closes the last name rather than opening an
    // empty one.
    for (size_t at = 0; at < path.size();)
    {
        const size_t end = std::min(path.find('\\', at), path.size());
        if (!Unescape(path.substr(at, end - at), &name) || name.empty() ||
            name.find('\\') != std::string::npos)
            return nullptr;
        names.push_back(name);
        at = end + 1;
    }
    return MakePath(root, names);
}

// The registry's file and its folders below the config home.
constexpr const char* kVendorFolder = "Quenvo";
constexpr const char* kProductFolder = "ZORBLET";
constexpr const char* kFileName = "registry";
constexpr const char* kLockName = "registry.lock";

// The note a writer leaves in the lock file while its replacement exists is
// the replacement's bare name, "registry.XXXXXX"; nothing longer is a note.
constexpr size_t kMaxNote = 64;

// A writer killed between making its replacement and renaming it over the
// file leaves it behind: a full copy of the player's keys. It noted the name
// before it made the file, so under the lock exactly that file is removed, in
// the registry's own folder, and only while it is a plain file of the
// player's. Files the player named alike are never touched, and a note that
// is not a bare replacement's name (a path, a NUL inside) names nothing.
void RemoveNotedReplacement(int lock, int folder)
{
    struct stat info
    {
    };
    // Empty after every change that ended well.
    if (::fstat(lock, &info) != 0 || info.st_size <= 0)
        return;
    char text[kMaxNote + 1];
    const ssize_t length = ::pread(lock, text, sizeof text, 0);
    const std::string_view note(text, length > 0 ? static_cast<size_t>(length) : 0);
    if (IsReplacementName(note, kFileName) &&
        ::fstatat(folder, std::string(note).c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        OwnFileProblem(info, 0) == 0)
        ::unlinkat(folder, std::string(note).c_str(), 0);
    (void)!::ftruncate(lock, 0);
}

// Whether two descriptors refer to one file or folder.
bool SameFile(int a, int b)
{
    struct stat first
    {
    }, second{};
    return ::fstat(a, &first) == 0 && ::fstat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Whether something stands at `path` itself (a link is not followed), found
// by the walk.
bool SomethingAt(const std::string& path)
{
    const Walk walk = WalkPath(path, false);
    struct stat info
    {
    };
    return walk.error == 0 &&
           ::fstatat(walk.folder.Get(), walk.name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0;
}

// In plain words, why `path` cannot be used, from the error its open met:
// what the rule of FileWalk.h refused, or else the system's own words.
std::string Problem(const std::string& path, int error)
{
    const std::string at = "\"" + path + "\"";
    // A link at a lock file's name is refused whoever owns it; its owner
    // tells whether someone else put it there.
    const Walk walk = WalkPath(path, error != ELOOP);
    if (walk.refusal != Refusal::None)
        return DescribeRefusal(walk);
    if (error == ELOOP)
    {
        struct stat link
        {
        };
        const bool others =
            walk.error == 0 &&
            ::fstatat(walk.folder.Get(), walk.name.c_str(), &link, AT_SYMLINK_NOFOLLOW) == 0 &&
            link.st_uid != ::geteuid() && link.st_uid != 0;
        return others ? DescribeRefusal(Refusal::OthersLink, path)
                      : at + " is a link, where a plain file must be";
    }
    switch (error)
    {
    case EPERM:
        return at + " belongs to another user";
    case EMLINK:
        return at + " has a second name";
    case EISDIR:
        return at + " is a folder";
    case EINVAL:
        return at + " is not a plain file";
    }
    return std::strerror(error);
}

// Makes the file's folders, the game's own below the config home, which
// must pass the rule of FileWalk.h. ERROR_ACCESS_DENIED when one does not,
// ERROR_WRITE_FAULT when a folder cannot be made.
i32 MakeUserFolder(const std::string& file)
{
    const std::string tail = std::string("/") + kVendorFolder + "/" + kProductFolder + "/" + kFileName;
    if (file.size() <= tail.size())
        return ERROR_WRITE_FAULT;
    std::string why;
    if (!MakeOwnFolders(file.substr(0, file.size() - tail.size()), {kVendorFolder, kProductFolder}, &why)
             .empty())
        return ERROR_SUCCESS;
    const int error = errno;
    return RefuseChange(file, error == EPERM || error == EACCES ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT,
                        why.empty() ? std::strerror(error) : why);
}

} // namespace

void TellRefusalsAgain()
{
    toldRefusal = false;
}

i32 RefuseChange(const std::string& file, i32 result, const std::string& why, bool lasting)
{
    if (toldRefusal.exchange(true))
        return result;
    const char* name = file.empty() ? "~/.config/Quenvo/ZORBLET/registry" : file.c_str();
    if (lasting)
        std::fprintf(
            stderr,
            "The registry \"%s\" cannot be used (%s); settings changed in this session are not kept.\n", name,
            why.c_str());
    else
        std::fprintf(stderr,
                     "The registry \"%s\" could not be changed (%s); settings changed in this session may be "
                     "missing from it.\n",
                     name, why.c_str());
    return result;
}

std::string UserFile()
{
    std::string home = XdgFolder("XDG_CONFIG_HOME", ".config");
    return home.empty() ? home : home + "/" + kVendorFolder + "/" + kProductFolder + "/" + kFileName;
}

std::string Serialise(const Key& root)
{
    std::string out = "ZORBLET registry 1\n";
    // Depth first, each key before the keys below it and in their order, with
    // a stack of its own so that a deep key needs no deep call chain.
    std::vector<std::pair<const Key*, std::string>> pending;
    pending.emplace_back(&root, "");
    while (!pending.empty())
    {
        auto [key, path] = std::move(pending.back());
        pending.pop_back();
        out += "K ";
        out += path.empty() ? std::string("\\") : path;
        out += '\n';
        for (const Value& value : key->Values())
        {
            out += "V ";
            out += std::to_string(value.type);
            out += ' ';
            out += Escape(value.name);
            out += ' ';
            for (u8 byte : value.data)
            {
                out += kLowerHex[byte >> 4];
                out += kLowerHex[byte & 15];
            }
            out += value.data.empty() ? "-\n" : "\n";
        }
        const auto& children = key->Children();
        for (auto child = children.rbegin(); child != children.rend(); ++child)
            pending.emplace_back(child->get(), path.empty() ? Escape((*child)->name)
                                                            : path + "\\" + Escape((*child)->name));
    }
    return out;
}

void Parse(const std::string& text, const std::shared_ptr<Key>& root)
{
    const std::string_view all(text);
    std::shared_ptr<Key> current;
    std::string name;
    std::vector<u8> data;
    for (size_t start = 0; start < all.size();)
    {
        const size_t end = std::min(all.find('\n', start), all.size());
        const std::string_view line = all.substr(start, end - start);
        start = end + 1;
        size_t at = 0;
        const std::string_view tag = NextWord(line, &at), first = NextWord(line, &at);
        if (tag == "K")
        {
            current = KeyOfLine(first, root);
            continue;
        }
        const std::string_view second = NextWord(line, &at), third = NextWord(line, &at);
        if (tag != "V" || !current || third.empty())
            continue;
        // A zero byte inside the word ends the number as the word's end would.
        const std::string typeText(first);
        char* typeEnd = nullptr;
        const unsigned long type = std::strtoul(typeText.c_str(), &typeEnd, 10);
        if (*typeEnd == 0 && Unescape(second, &name) && Unhex(third, &data))
            current->PutValue(name, static_cast<u32>(type), std::move(data));
    }
}

FileState ReadUserFile(const std::string& file, std::shared_ptr<Key>* root, std::string* why)
{
    *root = std::make_shared<Key>();
    if (file.empty())
        return FileState::Missing;
    FILE* in = OpenRegularForReading(file);
    int error = errno;
    if (!in && (error == ENOENT || error == ENOTDIR))
        return FileState::Missing;
    if (!in)
    {
        if (why)
            *why = Problem(file, error);
        return FileState::Unreadable;
    }
    const int fd = ::fileno(in);
    struct stat info
    {
    };
    bool ok = ::fstat(fd, &info) == 0;
    error = errno;
    // Read in one piece when the size holds; a file that grows meanwhile is
    // read to its end all the same, up to the limit. Room for one byte past
    // the limit tells a file that reached it from one that went beyond.
    constexpr size_t kRoom = static_cast<size_t>(kMaxWholeFileLength) + 1;
    bool tooLarge = ok && static_cast<u64>(info.st_size) > kMaxWholeFileLength;
    std::string text(ok && !tooLarge ? static_cast<size_t>(info.st_size) + 1 : 0, '\0');
    size_t length = 0;
    while (ok && !tooLarge)
    {
        if (length == text.size())
            text.resize(std::min(text.size() * 2, kRoom));
        const ssize_t n = ::read(fd, text.data() + length, text.size() - length);
        if (n == 0)
            break;
        if (n > 0)
            length += static_cast<size_t>(n);
        else
            error = errno, ok = error == EINTR;
        tooLarge = length > kMaxWholeFileLength;
    }
    std::fclose(in);
    text.resize(length);
    if (why && (tooLarge || !ok))
        *why = tooLarge ? "it is longer than " + std::to_string(kMaxWholeFileLength >> 20) + " MiB"
                        : std::strerror(error);
    if (tooLarge)
        return FileState::TooLarge;
    if (!ok)
        return FileState::Unreadable;
    Parse(text, *root);
    return FileState::Read;
}

i32 WriteUserFile(const std::string& file, const Key& root, UserFileLock* lock)
{
    if (file.empty())
        return RefuseChange(file, ERROR_WRITE_FAULT, "no home folder is known");
    // The lock made the folder, or found it unusable (and said so), moments
    // ago.
    if (i32 failure = lock && lock->FolderChecked() ? lock->FolderResult() : MakeUserFolder(file))
        return failure;
    // A file past what a read takes would lose every key from the next read
    // on, and no change could then be made to take it back.
    const std::string text = Serialise(root);
    if (text.size() > kMaxWholeFileLength)
        return RefuseChange(file, ERROR_FILE_TOO_LARGE,
                            "the change would make it longer than " +
                                std::to_string(kMaxWholeFileLength >> 20) + " MiB",
                            false);
    Replacement out;
    Replacement::Hooks hooks;
    // Once named, the replacement failed to be made beside the file, not the
    // file itself.
    bool named = false;
    hooks.naming = [lock, &named](int folder, const std::string& name)
    {
        named = true;
        if (lock)
            lock->Note(folder, name);
    };
    if (!out.Open(file, hooks))
    {
        const int why = errno;
        if (lock)
            lock->Note(-1, {});
        return RefuseChange(file, why == EACCES || why == EPERM ? ERROR_ACCESS_DENIED : ERROR_WRITE_FAULT,
                            named ? std::string("no new file can be made beside it: ") + std::strerror(why)
                                  : Problem(file, why));
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), out.File()) == text.size();
    const bool committed = out.Commit(written);
    const int why = errno;
    if (lock)
        lock->Note(-1, {});
    return committed ? ERROR_SUCCESS
                     : RefuseChange(file, ERROR_WRITE_FAULT, std::strerror(why ? why : EIO), false);
}

UserFileLock::~UserFileLock()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void UserFileLock::Note(int folder, const std::string& name)
{
    if (fd_ < 0 || (::fcntl(fd_, F_GETFL) & O_ACCMODE) != O_RDWR)
        return;
    // Only a name the next holder can find and remove: one in the registry's
    // own folder. The replacement of a registry kept behind a link lies
    // elsewhere, and goes unnoted.
    const bool noted = folder >= 0 && IsReplacementName(name, kFileName) && SameFile(folder, folder_.Get());
    if (::ftruncate(fd_, 0) == 0 && noted)
        (void)!::pwrite(fd_, name.data(), name.size(), 0);
}

i32 UserFileLock::Take(const std::string& file)
{
    // A folder of another user's is not used at all. One that cannot be made
    // takes no lock file and no registry file either: the write that follows
    // fails on its own.
    if (file.empty())
        return ERROR_SUCCESS;
    folderResult_ = MakeUserFolder(file);
    if (folderResult_ != ERROR_SUCCESS)
        return folderResult_ == ERROR_ACCESS_DENIED ? folderResult_ : ERROR_SUCCESS;
    const std::string name = FolderOf(file) + "/" + kLockName;
    fd_ = OpenOwnLockFile(name, true, &folder_);
    if (fd_ < 0)
    {
        // With nothing at the name the folder takes no new files, so nobody
        // holds a lock there, and the write fails on its own unless the file
        // lives behind a link elsewhere. Anything else at the name (a link, a
        // folder, another user's file) may be held by whoever put it there,
        // so the change must not go on as if unlocked.
        const int error = errno;
        return SomethingAt(name) ? RefuseChange(file, ERROR_ACCESS_DENIED, Problem(name, error))
                                 : ERROR_SUCCESS;
    }
    switch (TakeLock(fd_, kLockWaitMs))
    {
    case LockResult::Taken:
        RemoveNotedReplacement(fd_, folder_.Get());
        return ERROR_SUCCESS;
    case LockResult::Busy:
        return RefuseChange(file, ERROR_LOCK_VIOLATION,
                            "another process of yours held \"" + name + "\" for " +
                                std::to_string(kLockWaitMs / 1000) + " seconds",
                            false);
    case LockResult::Failed:
        // A file system without locks: nobody can hold this one.
        break;
    }
    return ERROR_SUCCESS;
}

} // namespace platform::registry
