#include "DataFolderLock.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Not following a link, and not waiting on a pipe someone put in its place: only a plain file
// of the folder itself serves as the lock.
int openPlainFile(const QByteArray &path, int mode)
{
    const int file = ::open(path.constData(), mode | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0644);
    struct stat info {};
    if (file >= 0 && (::fstat(file, &info) != 0 || !S_ISREG(info.st_mode))) {
        ::close(file);
        return -1;
    }
    return file;
}

flock wholeFile(short type)
{
    flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return lock;
}

} // namespace

TDataFolderLock::~TDataFolderLock()
{
    if (FFile >= 0)
        ::close(FFile);
}

TDataFolderLock::TState TDataFolderLock::Acquire(const QString &folder, const QByteArray &contact)
{
    const QByteArray path = QFile::encodeName(QDir(folder).filePath(FileName()));
    // Where this user may not write the file (another user's diary made it, or the folder is
    // read-only), a read lock still keeps a writing diary out, and is kept out by one.
    short type = F_WRLCK;
    int file = openPlainFile(path, O_RDWR | O_CREAT);
    if (file < 0) {
        type = F_RDLCK;
        file = openPlainFile(path, O_RDONLY);
    }
    if (file < 0)
        return TState::Unavailable;

    flock lock = wholeFile(type);
    if (::fcntl(file, F_SETLK, &lock) == 0) {
        FFile = file;
        if (type == F_WRLCK && ::ftruncate(file, 0) == 0) {
            [[maybe_unused]] const ssize_t written
                = ::pwrite(file, contact.constData(), static_cast<size_t>(contact.size()), 0);
        }
        return TState::Held;
    }
    if (errno != EACCES && errno != EAGAIN) {
        ::close(file); // a file system without locks
        return TState::Unavailable;
    }
    flock holder = wholeFile(F_WRLCK);
    if (::fcntl(file, F_GETLK, &holder) == 0 && holder.l_type != F_UNLCK)
        FHolderPid = holder.l_pid > 0 ? holder.l_pid : 0;
    char buffer[1024];
    const ssize_t read = ::pread(file, buffer, sizeof buffer, 0);
    FHolderContact = read > 0 ? QByteArray(buffer, read) : QByteArray();
    ::close(file);
    return TState::InUse;
}
