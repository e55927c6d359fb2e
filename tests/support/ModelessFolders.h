#pragma once
// Plays, for one child process, a file system that keeps no folder modes (a FAT stick, say) without FUSE
// or root-only mounts: a seccomp filter in the child hands mkdirat and the mode changes to a thread of
// the parent, which makes the stick's folders itself and refuses (or ignores) every mode change of them.
// Only calls that name a folder by descriptor are seen: mkdirat and fchmodat relative to the current
// folder, and plain mkdir and chmod, reach the real file system.
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
#include <mutex>
#include <poll.h>
#include <set>
#include <string>
#include <sys/eventfd.h>
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
    int changeError; // what a mode change of the stick's folders answers: an errno, or 0 for "success"
};

// The stick: the folder `root`, the folders below it already, and every folder the child makes in
// them. `owner` and `group` are the user the child runs as.
class Stick
{
public:
    // Before fork.
    Stick(const std::string& root, Rules rules, uid_t owner, gid_t group)
        : rules_(rules), owner_(owner), group_(group), stop_(::eventfd(0, EFD_CLOEXEC))
    {
        struct stat info = {};
        if (::stat(root.c_str(), &info) != 0)
            problems_ = "cannot stat the stick's root " + root + ": " + std::strerror(errno);
        folders_.emplace(info.st_dev, info.st_ino);
        std::error_code error;
        for (std::filesystem::recursive_directory_iterator it(root, error), end; !error && it != end;
             it.increment(error))
            if (it->is_directory(error) && !it->is_symlink(error) && ::lstat(it->path().c_str(), &info) == 0)
                folders_.emplace(info.st_dev, info.st_ino);
        int ends[2] = {-1, -1};
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) == 0)
            parentEnd_ = ends[0], childEnd_ = ends[1];
    }

    // In the child, as its user, right before exec; allocates nothing. False with errno when the parent
    // does not serve it: the filter stays, and the calls it catches then fail with ENOSYS.
    bool EnterInChild()
    {
        Close(parentEnd_);
        if (kArch == 0 || childEnd_ < 0)
            return Fail(kArch == 0 ? ENOSYS : EBADF, -1);
        sock_filter code[] = {
            Op(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
            Op(BPF_JMP | BPF_JEQ | BPF_K, kArch, 1, 0),
            Op(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            Op(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            Op(BPF_JMP | BPF_JEQ | BPF_K, __NR_mkdirat, 4, 0),
            Op(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmod, 3, 0),
            Op(BPF_JMP | BPF_JEQ | BPF_K, __NR_fchmodat, 2, 0),
            Op(BPF_JMP | BPF_JEQ | BPF_K, kFchmodat2, 1, 0),
            Op(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
            Op(BPF_RET | BPF_K, SECCOMP_RET_USER_NOTIF),
        };
        sock_fprog program{static_cast<unsigned short>(sizeof code / sizeof code[0]), code};
        if (::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0)
            return Fail(errno, -1);
        int listener = static_cast<int>(
            ::syscall(SYS_seccomp, SECCOMP_SET_MODE_FILTER, SECCOMP_FILTER_FLAG_NEW_LISTENER, &program));
        if (listener < 0)
            return Fail(errno, -1);
        // The child keeps no listener of its own: were the parent to go, its calls fail instead of hanging.
        char go = 0;
        if (!Transfer(childEnd_, &listener, sizeof listener, true) || !Transfer(childEnd_, &go, 1, false))
            return Fail(errno == 0 ? ECONNABORTED : errno, listener);
        Close(listener);
        Close(childEnd_);
        return true;
    }

    // In the parent: serves the child and everything it starts, until they end or this is destroyed.
    // "" or what went wrong.
    std::string Serve(pid_t child)
    {
        Close(childEnd_);
        std::string failure = problems_;
        int number = -1;
        if (failure.empty() && (parentEnd_ < 0 || stop_ < 0))
            failure = "no channel to the child";
        else if (failure.empty() && !Transfer(parentEnd_, &number, sizeof number, false))
            failure = "the child handed over no listener";
        int process = failure.empty() ? PidFd(child, 0) : -1;
        int listener = process < 0 ? -1 : TakeFd(process, number);
        if (failure.empty() && listener < 0)
            failure = std::string("cannot take the child's listener: ") + std::strerror(errno);
        Close(process);
        if (listener >= 0)
        {
            thread_ = std::thread([this, listener] { Run(listener); });
            char go = 1;
            if (!Transfer(parentEnd_, &go, 1, true))
                failure = "the child is gone";
        }
        Close(parentEnd_); // without a go the child's EnterInChild fails
        return failure;
    }

    ~Stick()
    {
        if (thread_.joinable())
        {
            const eventfd_t one = 1;
            (void)!::write(stop_, &one, sizeof one);
            thread_.join();
        }
        Close(stop_);
        Close(parentEnd_);
        Close(childEnd_);
    }

    std::string Problems() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return problems_;
    }
    int FoldersMade() const { return made_; }

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
    struct Fd
    {
        int fd;
        ~Fd() { Close(fd); }
    };

    static sock_filter Op(unsigned code, __u32 k, unsigned char yes = 0, unsigned char no = 0)
    {
        return sock_filter{static_cast<__u16>(code), yes, no, k};
    }
    // glibc's own wrappers are not declared for C++ before 2.37.
    static int PidFd(pid_t pid, unsigned flags)
    {
        return static_cast<int>(::syscall(SYS_pidfd_open, pid, flags));
    }
    static int TakeFd(int pidfd, int fd)
    {
        return static_cast<int>(::syscall(SYS_pidfd_getfd, pidfd, fd, 0));
    }
    static void Close(int& fd)
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    bool Fail(int error, int listener)
    {
        Close(listener);
        Close(childEnd_);
        errno = error;
        return false;
    }
    // Sends or receives exactly `size` bytes; false (errno 0 at end of stream) when it cannot. No SIGPIPE
    // when the other side is gone.
    static bool Transfer(int fd, void* data, size_t size, bool send)
    {
        ssize_t n = 0;
        do
            n = send ? ::send(fd, data, size, MSG_NOSIGNAL) : ::recv(fd, data, size, MSG_WAITALL);
        while (n < 0 && errno == EINTR);
        if (n == 0)
            errno = 0;
        return n == static_cast<ssize_t>(size);
    }
    void Note(const std::string& what)
    {
        std::lock_guard<std::mutex> lock(mutex_);
        problems_ += what + ": " + std::strerror(errno) + "\n";
    }

    void Run(int listener)
    {
        // Per thread only, so that permission checks and the new folders' owner are the child's user.
        if (::geteuid() == 0 && owner_ != 0)
            ::syscall(SYS_setgroups, 0, nullptr);
        ::syscall(SYS_setfsgid, group_);
        ::syscall(SYS_setfsuid, owner_);
        if (::syscall(SYS_setfsuid, -1) != owner_ || ::syscall(SYS_setfsgid, -1) != group_)
            Note("cannot take the child's user");
        pollfd waits[2] = {{listener, POLLIN, 0}, {stop_, POLLIN, 0}};
        for (;;)
        {
            if (::poll(waits, 2, -1) < 0)
            {
                if (errno == EINTR)
                    continue;
                Note("cannot wait for calls");
                break;
            }
            // POLLHUP: every process that carries the filter has ended.
            if (waits[1].revents != 0 || (waits[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                break;
            if ((waits[0].revents & POLLIN) == 0)
                continue;
            seccomp_notif call{};
            if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_RECV, &call) != 0)
            {
                if (errno == ENOENT || errno == EINTR) // the child's call was interrupted meanwhile
                    continue;
                Note("cannot receive a call");
                break;
            }
            seccomp_notif_resp answer = Answer(listener, call);
            if (::ioctl(listener, SECCOMP_IOCTL_NOTIF_SEND, &answer) != 0 && errno != ENOENT)
                Note("cannot answer a call");
        }
        ::close(listener);
    }

    seccomp_notif_resp Answer(int listener, const seccomp_notif& call)
    {
        seccomp_notif_resp answer{call.id, 0, 0, SECCOMP_USER_NOTIF_FLAG_CONTINUE};
        const int nr = call.data.nr;
        const int fd = static_cast<int>(call.data.args[0]);
        const pid_t pid = static_cast<pid_t>(call.pid);
        const Fd process{PidFd(pid, 0)};
        const Fd folder{fd == AT_FDCWD || process.fd < 0 ? -1 : TakeFd(process.fd, fd)};
        std::string path;
        struct stat info = {};
        if (folder.fd < 0 || (nr != __NR_fchmod && !ReadPath(pid, call.data.args[1], path)))
            return answer;
        if (nr == __NR_mkdirat)
        {
            // A folder made in one of the stick's by a name of its own (as the game makes them).
            if (path.find('/') != std::string::npos || ::fstat(folder.fd, &info) != 0 || !Ours(info) ||
                ::ioctl(listener, SECCOMP_IOCTL_NOTIF_ID_VALID, &call.id) != 0)
                return answer;
            answer.flags = 0;
            if (::mkdirat(folder.fd, path.c_str(), rules_.made) != 0)
            {
                answer.error = -errno;
                return answer;
            }
            if (::fchmodat(folder.fd, path.c_str(), rules_.made, 0) != 0 ||
                ::fstatat(folder.fd, path.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
                Note("cannot finish the folder " + path);
            folders_.emplace(info.st_dev, info.st_ino);
            ++made_;
            return answer;
        }
        // fchmodat follows a link at the end of the path; fchmodat2 as its flags say.
        const int flags = nr == static_cast<int>(kFchmodat2)
                              ? static_cast<int>(call.data.args[3]) & (AT_SYMLINK_NOFOLLOW | AT_EMPTY_PATH)
                              : 0;
        const int found =
            nr == __NR_fchmod ? ::fstat(folder.fd, &info) : ::fstatat(folder.fd, path.c_str(), &info, flags);
        if (found == 0 && Ours(info))
        {
            answer.flags = 0;
            answer.error = -rules_.changeError;
        }
        return answer;
    }

    bool Ours(const struct stat& info) const
    {
        return folders_.count({info.st_dev, info.st_ino}) != 0;
    }

    // Reads the NUL-terminated path at `at` in the child, a page at a time so that no read runs off the
    // end of its memory.
    static bool ReadPath(pid_t pid, __u64 at, std::string& path)
    {
        constexpr size_t page = 4096;
        char buffer[page];
        while (path.size() < PATH_MAX)
        {
            const size_t size = page - at % page;
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

    Rules rules_;
    uid_t owner_;
    gid_t group_;
    int stop_;
    int parentEnd_ = -1;
    int childEnd_ = -1;
    std::set<std::pair<dev_t, ino_t>> folders_; // the serving thread's alone once it runs
    std::atomic<int> made_{0};
    mutable std::mutex mutex_;
    std::string problems_;
    std::thread thread_;
};

} // namespace modeless
