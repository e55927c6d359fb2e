#pragma once
// Runs a piece of a test in a forked child as an ordinary user: "nobody" when
// the tests run as root (root may read and write anything, so permission and
// ownership rules would not show), the current user otherwise.
#include <grp.h>
#include <pwd.h>
#include <string>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

namespace childtest
{

struct Player
{
    uid_t uid = ::geteuid();
    gid_t gid = ::getegid();
    bool asRoot = ::geteuid() == 0; // true when the test itself runs as root
    Player()
    {
        if (const passwd* nobody = asRoot ? ::getpwnam("nobody") : nullptr)
            uid = nobody->pw_uid, gid = nobody->pw_gid;
    }
};

// Makes this (forked) process the player; true when it is. Root's
// supplementary groups go too, or the player could reach what only root's
// group may.
inline bool BecomePlayer(const Player& player)
{
    return ::geteuid() != 0 || player.uid == 0 ||
           (::setgroups(0, nullptr) == 0 && ::setgid(player.gid) == 0 && ::setuid(player.uid) == 0);
}

// fn() returns a text; it comes back through a pipe. "child failed" when the
// child could not become the player or did not exit normally.
template <class Fn> std::string RunAsPlayer(const Player& player, Fn fn)
{
    int channel[2];
    if (::pipe(channel) != 0)
        return "no pipe";
    const pid_t child = ::fork();
    if (child == 0)
    {
        ::close(channel[0]);
        if (!BecomePlayer(player))
            ::_exit(120);
        const std::string text = fn();
        (void)!::write(channel[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
        text.append(buffer, static_cast<size_t>(n));
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? text : "child failed";
}

} // namespace childtest
