#pragma once

// A full disk for tests: the file-size limit, under which every write beyond the limit fails
// with EFBIG, as on a disk without room. Set it in a child process (tests/store/ChildProcess.h,
// QProcess::setChildProcessModifier), or lift it again before the test ends.

#include <csignal>
#include <sys/resource.h>

// In a child that is to run a program: only the limit, so that the program's own answer to
// SIGXFSZ decides whether it dies of the write.
inline bool LimitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_DFL);
    rlimit limit {};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// In the test's own process: the limit and SIGXFSZ ignored, as both programs ignore it, until
// Lift() or the end of the scope.
class TFullDisk {
public:
    explicit TFullDisk(rlim_t bytes)
    {
        FHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &FSaved);
        const rlimit limit { bytes, FSaved.rlim_max };
        FSet = setrlimit(RLIMIT_FSIZE, &limit) == 0;
    }
    ~TFullDisk() { Lift(); }
    TFullDisk(const TFullDisk &) = delete;
    TFullDisk &operator=(const TFullDisk &) = delete;
    bool Set() const { return FSet; }
    void Lift()
    {
        if (!FSet)
            return;
        setrlimit(RLIMIT_FSIZE, &FSaved);
        std::signal(SIGXFSZ, FHandler);
        FSet = false;
    }

private:
    rlimit FSaved {};
    void (*FHandler)(int) = nullptr;
    bool FSet = false;
};
