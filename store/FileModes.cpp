#include "FileModes.h"

#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

bool TakeModeOf(const QString &original, int fd)
{
    struct stat source { };
    struct stat copy { };
    if (::stat(QFile::encodeName(original).constData(), &source) != 0)
        return true;
    if (fd < 0 || ::fstat(fd, &copy) != 0)
        return false;
    mode_t mode = source.st_mode & 0777;
    if (copy.st_gid != source.st_gid && ::fchown(fd, static_cast<uid_t>(-1), source.st_gid) != 0)
        mode &= ~static_cast<mode_t>(070);
    if (::fchmod(fd, mode) == 0)
        return true;
    // Someone else's copy that may be written but not changed: fine when it is no more open.
    return (copy.st_mode & 0777 & ~mode) == 0;
}
