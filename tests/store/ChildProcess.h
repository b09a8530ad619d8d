#pragma once

// Runs a piece of a test in a child process: for faults that must not reach the test runner
// itself (a file-size limit, a hang) and for faults that need an ordinary user, because root
// passes every permission check.

#include <QByteArray>
#include <QString>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <dirent.h>
#include <exception>
#include <functional>
#include <grp.h>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

// What a child found wrong, one line per failed check; empty when everything held.
class TChildChecks {
public:
    void Expect(bool held, const std::string &what)
    {
        if (!held)
            FFailures += what + '\n';
    }
    template <typename T> void ExpectEq(const T &actual, const T &expected, const std::string &what)
    {
        Expect(actual == expected, what);
    }
    const std::string &Failures() const { return FFailures; }

private:
    std::string FFailures;
};

// The message of the exception of class E that 'fn' threw, or nothing when it threw none.
// Other exceptions pass on.
template <typename E, typename F> std::optional<QString> ThrownMessage(F &&fn)
{
    try {
        fn();
    } catch (const E &e) {
        return e.Message();
    }
    return std::nullopt;
}

// Its first line: what failed, without what the store says of the text kept meanwhile.
template <typename E, typename F> std::optional<QString> ThrownHead(F &&fn)
{
    const std::optional<QString> message = ThrownMessage<E>(std::forward<F>(fn));
    return message ? std::optional(message->section(QStringLiteral("\r\n"), 0, 0)) : message;
}

enum class TChildUser { Same, Unprivileged };

struct TChildOutcome {
    bool Skipped = false; // the child could not become an ordinary user
    std::string Failures; // what failed in the child, or how the child ended
};

namespace childprocess {

inline constexpr int kSkipStatus = 77;
inline constexpr uid_t kNobody = 65534;

inline void writeAll(int fd, const std::string &text)
{
    const char *p = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

// The folder and the files directly in it become nobody's, so that nobody can work in it.
inline bool giveToNobody(const QString &folder)
{
    const QByteArray path = folder.toLocal8Bit();
    if (::chown(path.constData(), kNobody, kNobody) != 0)
        return false;
    const QByteArray list = path + '/';
    if (DIR *dir = ::opendir(path.constData())) {
        while (const dirent *entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..")
                (void)::lchown((list + name.c_str()).constData(), kNobody, kNobody);
        }
        ::closedir(dir);
    }
    return true;
}

} // namespace childprocess

// Whether the user nobody may run 'program': not from a build below a folder that only its
// owner may enter (a clone in root's home). Users other than root stay themselves, so true.
inline bool NobodyCanRun(const char *program)
{
    using namespace childprocess;
    if (::geteuid() != 0)
        return true;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        ::_exit(::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0
                    && ::access(program, X_OK) == 0
                ? 0
                : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs 'body' in a forked child, which reports through its exit status and a pipe. With
// TChildUser::Unprivileged a child of root first hands 'folder' to the user nobody and becomes
// that user; other users stay themselves, as their permission checks already apply. A child
// that has not ended after 'seconds' counts as hung.
inline TChildOutcome RunInChild(TChildUser user, const QString &folder,
    const std::function<void(TChildChecks &)> &body, unsigned seconds = 60)
{
    using namespace childprocess;
    int fds[2];
    if (::pipe(fds) != 0)
        return { false, "pipe failed" };
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return { false, "fork failed" };
    if (child == 0) {
        ::close(fds[0]);
        ::alarm(seconds);
        if (user == TChildUser::Unprivileged && ::geteuid() == 0) {
            if (!giveToNobody(folder) || ::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0
                || ::setuid(kNobody) != 0
                || ::access(folder.toLocal8Bit().constData(), W_OK | X_OK) != 0)
                ::_exit(kSkipStatus);
        }
        TChildChecks checks;
        try {
            body(checks);
        } catch (const std::exception &e) {
            checks.Expect(false, std::string("unexpected exception: ") + e.what());
        } catch (...) {
            checks.Expect(false, "unexpected exception");
        }
        writeAll(fds[1], checks.Failures());
        ::_exit(checks.Failures().empty() ? 0 : 1);
    }
    ::close(fds[1]);
    std::string report;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fds[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        report.append(buffer, static_cast<size_t>(n));
    }
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (WIFEXITED(status) && WEXITSTATUS(status) == kSkipStatus)
        return { true, {} };
    if (WIFSIGNALED(status)) {
        report += WTERMSIG(status) == SIGALRM
            ? std::string("the child hung and was stopped")
            : "the child died of signal " + std::to_string(WTERMSIG(status));
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0 && report.empty()) {
        report = "the child exited with " + std::to_string(WEXITSTATUS(status));
    }
    return { false, report };
}

// Runs 'body' in a child and turns its outcome into a failure or a skip of the current test.
#define EXPECT_IN_CHILD(user, folder, body)                                                        \
    do {                                                                                           \
        const TChildOutcome outcome_ = RunInChild(user, folder, body);                             \
        if (outcome_.Skipped)                                                                      \
            GTEST_SKIP() << "could not become the user nobody";                                    \
        EXPECT_EQ(outcome_.Failures, std::string());                                               \
    } while (false)
