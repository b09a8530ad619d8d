#include "DataFolderLock.h"

#include <QFile>
#include <QList>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace {

// flock has no F_GETLK; the system's lock table names the holder. A line reads
//   "1: FLOCK  ADVISORY  WRITE 1234 fd:01:5678 0 EOF"
// with the device as hexadecimal major:minor; waiters carry "->" after the number.
qint64 flockHolder(const struct stat &folder)
{
    QFile table(QStringLiteral("/proc/locks"));
    if (!table.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray device = QByteArray::number(major(folder.st_dev), 16).rightJustified(2, '0')
        + ':' + QByteArray::number(minor(folder.st_dev), 16).rightJustified(2, '0');
    const QByteArray inode = QByteArray::number(static_cast<qulonglong>(folder.st_ino));
    qint64 byInode = 0;
    int inodeMatches = 0;
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() < 6 || fields[1] != "FLOCK" || fields[3] != "WRITE")
            continue;
        const QList<QByteArray> id = fields[5].split(':');
        if (id.size() != 3 || id[2] != inode)
            continue;
        if (id[0] + ':' + id[1] == device)
            return fields[4].toLongLong();
        // Some file systems (btrfs subvolumes) list another device than stat gives.
        byInode = fields[4].toLongLong();
        ++inodeMatches;
    }
    return inodeMatches == 1 ? byInode : 0;
}

} // namespace

TDataFolderLock::~TDataFolderLock()
{
    if (FFolder >= 0)
        ::close(FFolder);
}

TDataFolderLock::TState TDataFolderLock::Acquire(const QString &folder)
{
    const int dir = ::open(
        QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK);
    if (dir < 0)
        return TState::Unavailable;
    if (::flock(dir, LOCK_EX | LOCK_NB) == 0) {
        FFolder = dir;
        return TState::Held;
    }
    const int error = errno;
    struct stat info { };
    if (error == EWOULDBLOCK && ::fstat(dir, &info) == 0)
        FHolderPid = flockHolder(info);
    ::close(dir);
    return error == EWOULDBLOCK ? TState::InUse : TState::Unavailable;
}

TDataFolderLock::TState TDataFolderLock::Follow(const QString &folder)
{
    struct stat named { };
    struct stat held { };
    if (FFolder >= 0 && ::stat(QFile::encodeName(folder).constData(), &named) == 0
        && ::fstat(FFolder, &held) == 0 && named.st_dev == held.st_dev
        && named.st_ino == held.st_ino)
        return TState::Held;
    TDataFolderLock there;
    const TState state = there.Acquire(folder);
    FHolderPid = there.FHolderPid;
    if (state == TState::Held)
        std::swap(FFolder, there.FFolder);
    return state;
}
