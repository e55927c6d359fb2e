#pragma once
// A file system that keeps no folder modes (a FAT stick through FUSE, or the
// kernel's FAT driver), played for one child process without FUSE or a
// kernel module: a seccomp filter in the child hands its mkdirat and mode
// changes to a thread of the parent, which makes the stick's folders itself,
// with the stick's mode, and refuses or ignores every mode change of them.
// Calls that name no folder by descriptor (mkdir, chmod, those relative to
// the current folder) reach the real file system.
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <set>
#include <string>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <thread>
#include <unistd.h>

namespace modeless
{

struct Rules
{
    mode_t made;     // the mode every folder made on the stick comes out with, whatever was asked
    int changeError; // what a mode change of the stick's folders answers: an errno, or 0 for a success
                     // that changes nothing
};

// The stick: the folder `root`, the folders below it now, and every folder
// the child makes in them. `owner` and `group` are the child's user.
class Stick
{
public:
    // Before fork.
    Stick(const std::string& root, Rules rules, uid_t owner, gid_t group)
        : rules_(rules), owner_(owner), group_(group)
    {
        std::error_code error;
        Remember(root);
        for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
             it.increment(error))
            if (it->is_directory(error) && !it->is_symlink(error))
                Remember(it->path());
        int ends[2];
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0)
            parent_ = ends[0], child_ = ends[1];
    }
    Stick(const Stick&) = delete;
    Stick& operator=(const Stick&) = delete;

    // In the child, as its user, right before exec; allocates nothing. False
    // with errno when the parent does not serve it (the calls the filter
    // catches then fail with ENOSYS).
    bool EnterInChild()
    {
        ::close(parent_);
        sock_filter code[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_mkdirat, 4, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmod, 3, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmodat, 2, 0),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, kFchmodat2, 1, 0),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
        };
        sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
        int listener = -1;
        char go = 0;
        errno = kArch == 0 ? ENOSYS : 0;
        const bool served =
            kArch != 0 && ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
            (listener = static_cast<int>(::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER,
                                                   SECCOMP_FILTER_FLAG_NEW_LISTENER, &program))) >= 0 &&
            Transfer(child_, &listener, sizeof listener, true) && Transfer(child_, &go, 1, false);
        const int error = errno ? errno : ECONNABORTED;
        // The child keeps no listener of its own: should the parent go, its
        // calls fail rather than wait for an answer.
        if (listener >= 0)
            ::close(listener);
        ::close(child_);
        errno = error;
        return served;
    }

    // In the parent after fork: serves the child and what it starts until
    // they end or this is destroyed. "" or what went wrong.
    std::string Serve(pid_t child)
    {
        ::close(child_), child_ = -1;
        int number = -1;
        const int process = Transfer(parent_, &number, sizeof number, false)
                                ? static_cast<int>(::syscall(SYS_pidfd_open, child, 0))
                                : -1;
        const int listener =
            process < 0 ? -1 : static_cast<int>(::syscall(SYS_pidfd_getfd, process, number, 0));
        const std::string failure =
            listener < 0 ? std::string("cannot take the child's listener: ") + std::strerror(errno) : "";
        if (process >= 0)
            ::close(process);
        if (listener >= 0)
        {
            thread_ = std::thread([this, listener] { Run(listener); });
            char go = 1;
            Transfer(parent_, &go, 1, true);
        }
        ::close(parent_), parent_ = -1; // without a go the child's EnterInChild fails
        return failure;
    }

    ~Stick()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        for (const int fd : {parent_, child_})
            if (fd >= 0)
                ::close(fd);
    }

private:
#if defined(__x86_64__)
    static constexpr __u32 kArch = AUDIT_ARCH_X86_64;
#elif defined(__aarch64__)
    static constexpr __u32 kArch = AUDIT_ARCH_AARCH64;
#else
    static constexpr __u32 kArch = 0; // no filter for other machines
#endif
#ifdef __NR_fchmodat2
    static constexpr __u32 kFchmodat2 = __NR_fchmodat2;
#else
    static constexpr __u32 kFchmodat2 = 452;
#endif

    // Sends or receives exactly `size` bytes; no SIGPIPE when the other side is gone.
    static bool Transfer(int fd, void* data, size_t size, bool send)
    {
        ssize_t n = 0;
        do
            n = send ? ::send(fd, data, size, MSG_NOSIGNAL) : ::recv(fd, data, size, MSG_WAITALL);
        while (n < 0 && errno == EINTR);
        return n == static_cast<ssize_t>(size);
    }

    void Remember(const std::filesystem::path& folder)
    {
        struct stat info = {};
        if (::lstat(folder.c_str(), &info) == 0)
            folders_.emplace(info.st_dev, info.st_ino);
    }
    bool Ours(const struct stat& info) const
    {
        return folders_.count({info.st_dev, info.st_ino}) != 0;
    }

    void Run(int listener)
    {
        // For this thread only: permission checks and the new folders'
        // owner are the child's user's.
        if (::geteuid() == 0 && owner_ != 0)
            ::syscall(SYS_setgroups, 0, nullptr);
        ::syscall(SYS_setfsgid, group_);
        ::syscall(SYS_setfsuid, owner_);
        for (pollfd wait{listener, POLLIN, 0}; !stop_;)
        {
            const int ready = ::poll(&wait, 1, 100);
            // POLLHUP: every process that carries the filter has ended.
            if (ready < 0 ? errno != EINTR : (wait.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                break;
            seccomp_notif call{};
            // ENOENT: the child's call was interrupted meanwhile.
            if (ready <= 0 || ::ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0)
                continue;
            seccomp_notif_resp answer = Answer(listener, call);
            ::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer);
        }
        ::close(listener);
    }

    seccomp_notif_resp Answer(int listener, const seccomp_notif& call)
    {
        seccomp_notif_resp answer{call.id, 0, 0, SECCOMP_USER_NOTIF_FLAG_CONTINUE};
        const int nr = call.data.nr, fd = static_cast<int>(call.data.args[0]);
        const pid_t pid = static_cast<pid_t>(call.pid);
        const int process = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
        const int folder =
            fd == AT_FDCWD || process < 0 ? -1 : static_cast<int>(::syscall(SYS_pidfd_getfd, process, fd, 0));
        if (process >= 0)
            ::close(process);
        std::string path;
        struct stat info = {};
        const bool known = folder >= 0 && (nr == __NR_fchmod || ReadPath(pid, call.data.args[1], path));
        if (known && nr == __NR_mkdirat)
        {
            // A folder made by a name of its own in one of the stick's, as
            // the game makes them.
            if (path.find('/') == std::string::npos && ::fstat(folder, &info) == 0 && Ours(info) &&
                ::ioctl(listener, SECCOMP_IOCTL_NOTIF_ID_VALID, &call.id) == 0)
            {
                answer.flags = 0;
                if (::mkdirat(folder, path.c_str(), rules_.made) != 0 ||
                    ::fchmodat(folder, path.c_str(), rules_.made, 0) != 0 ||
                    ::fstatat(folder, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                    answer.error = -errno;
                else
                    folders_.emplace(info.st_dev, info.st_ino);
            }
        }
        else if (known)
        {
            // fchmodat follows a link at the end of the path; fchmodat2 as
            // its flags say.
            const int flags = nr == static_cast<int>(kFchmodat2) ? static_cast<int>(call.data.args[3]) &
                                                                       (AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH)
                                                                 : 0;
            if ((nr == __NR_fchmod ? ::fstat(folder, &info)
                                   : ::fstatat(folder, path.c_str(), &info, flags)) == 0 &&
                Ours(info))
            {
                answer.flags = 0;
                answer.error = -rules_.changeError;
            }
        }
        if (folder >= 0)
            ::close(folder);
        return answer;
    }

    // Reads the NUL-ended path at `at` in the child, a page at a time so that
    // no read runs off the end of its memory.
    static bool ReadPath(pid_t pid, __u64 at, std::string& path)
    {
        constexpr size_t kPage = 4096;
        char buffer[kPage];
        while (path.size() < PATH_MAX)
        {
            const size_t size = kPage - at % kPage;
            iovec here{buffer, size};
            iovec there{reinterpret_cast<void*>(at), size}; // NOLINT(performance-no-int-to-ptr)
            const ssize_t got = ::process_vm_readv(pid, &here, 1, &there, 1, 0);
            if (got <= 0)
                return false;
            const size_t length = ::strnlen(buffer, static_cast<size_t>(got));
            path.append(buffer, length);
            if (length < static_cast<size_t>(got))
                return true;
            at += static_cast<__u64>(got);
        }
        return false;
    }

    const Rules rules_;
    const uid_t owner_;
    const gid_t group_;
    int parent_ = -1, child_ = -1;
    std::set<std::pair<dev_t, ino_t>> folders_; // the serving thread's alone once it runs
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace modeless
