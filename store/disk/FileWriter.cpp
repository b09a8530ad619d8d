#include "FileWriter.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray native(const QString &path) { return QFile::encodeName(path); }

TFileWrite failed(const QString &path, int error)
{
    return { false, path, QString::fromLocal8Bit(std::strerror(error)), error };
}

QString folderOf(const QString &path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QStringLiteral(".") : path.left(slash + 1);
}

// 0 when every byte went in, else the reason. Straight to the file, so a short write is seen.
int writeAll(int fd, QByteArrayView bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::pwrite(fd, bytes.data() + done,
            static_cast<size_t>(bytes.size() - done), static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n < 0 ? errno : ENOSPC;
        done += n;
    }
    if (::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd) != 0)
        return errno;
    return 0;
}

// Before the first byte goes in. A group the user may not give takes the group permissions
// away; a file that may be written but not changed (someone else's) is fine when it is no
// more open than asked.
int applyAccess(int fd, const TFileAccess &access)
{
    struct stat st { };
    if (::fstat(fd, &st) != 0)
        return errno;
    mode_t mode = access.Mode & 0777;
    // In another group, the group may have what everyone has, and no more.
    if (access.Group && st.st_gid != *access.Group
        && ::fchown(fd, static_cast<uid_t>(-1), static_cast<gid_t>(*access.Group)) != 0)
        mode = (mode & ~static_cast<mode_t>(070)) | ((mode & 07) << 3);
    if (::fchmod(fd, mode) == 0 || (st.st_mode & 0777 & ~mode) == 0)
        return 0;
    return EPERM;
}

void syncFolder(const QString &path)
{
    const int dir = ::open(native(folderOf(path)).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
}

// Writes the bytes into a new hidden file beside 'target' (its name matches none of the
// diary's patterns, should it ever be left behind), then hands it to 'commit', which puts it in
// place and gives back the name it went to, or nothing with errno set.
TFileWrite writeBeside(const QString &target, QByteArrayView bytes, const TFileAccess &access,
    const std::function<std::optional<QString>(const QByteArray &temporary)> &commit)
{
    const QString folder = folderOf(target);
    const QString name = target.mid(target.lastIndexOf(u'/') + 1);
    QByteArray temporary = native((folder == u"." ? QString() : folder) + u'.' + name) + "-XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return failed(target, errno);
    int error = applyAccess(fd, access);
    if (error == 0)
        error = writeAll(fd, bytes);
    if (::close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0) {
        if (const std::optional<QString> written = commit(temporary)) {
            syncFolder(*written);
            return { true, *written, {} };
        }
        error = errno;
    }
    ::unlink(temporary.constData());
    return failed(target, error);
}

// Moves 'from' to 'to' unless something stands there; errno EEXIST then.
bool moveToFreeName(const QByteArray &from, const QString &to)
{
    const QByteArray name = native(to);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, name.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system without the no-replace rename: a hard link never replaces either.
    if (::link(from.constData(), name.constData()) != 0)
        return false;
    ::unlink(from.constData());
    return true;
}

// The one rule for free names: base, else base-2, base-3 ... the first name nothing stands at.
std::optional<QString> moveUnderFreeName(const QByteArray &from, const QString &base)
{
    for (int n = 1;; ++n) {
        const QString name = n == 1 ? base : base + u'-' + QString::number(n);
        if (moveToFreeName(from, name))
            return name;
        if (errno != EEXIST)
            return std::nullopt;
    }
}

} // namespace

TFileAccess AccessOfFile(const QString &path)
{
    struct stat st { };
    if (::lstat(native(path).constData(), &st) != 0 || !S_ISREG(st.st_mode)) {
        // The umask can only be read by setting it; nothing else here creates files meanwhile.
        const mode_t mask = ::umask(077);
        ::umask(mask);
        return { 0666 & ~static_cast<unsigned>(mask), std::nullopt };
    }
    return { static_cast<unsigned>(st.st_mode & 0777), static_cast<unsigned>(st.st_gid) };
}

TFileAccess AccessOfDiaryFile(const QString &path)
{
    struct stat st { };
    if (::lstat(native(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return { 0600, std::nullopt };
    return AccessOfFile(path);
}

TFileAccess AccessOfCopy(const QStringList &sources, const QString &path)
{
    std::optional<TFileAccess> access;
    bool oneGroup = true;
    for (const QString &source : sources) {
        struct stat st { };
        if (::stat(native(source).constData(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        const unsigned mode = st.st_mode & 0777;
        if (!access) {
            access = TFileAccess { mode, static_cast<unsigned>(st.st_gid) };
            continue;
        }
        access->Mode &= mode;
        oneGroup = oneGroup && access->Group == static_cast<unsigned>(st.st_gid);
    }
    TFileAccess result = access.value_or(TFileAccess { 0600, std::nullopt });
    if (!oneGroup) {
        // No group shares them all: the group may have what everyone has.
        result.Group.reset();
        result.Mode = (result.Mode & ~070u) | ((result.Mode & 07u) << 3);
    }
    struct stat st { };
    if (::lstat(native(path).constData(), &st) == 0 && S_ISREG(st.st_mode))
        result.Mode &= st.st_mode & 0777;
    return result;
}

QString WriteTargetOf(const QString &path)
{
    QString at = path;
    // As many links as the system follows itself.
    for (int links = 0; links < 40; ++links) {
        struct stat st { };
        if (::lstat(native(at).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
            return at;
        QByteArray target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(native(at).constData(), target.data(), PATH_MAX);
        if (n <= 0)
            return at;
        const QString next = QFile::decodeName(target.left(n));
        at = next.startsWith(u'/') ? next
                                   : (folderOf(at) == u"." ? QString() : folderOf(at)) + next;
    }
    return at;
}

void RemoveLeftoverTemporaries(const QString &path)
{
    const QString folder = folderOf(path);
    const QString head = u'.' + path.mid(path.lastIndexOf(u'/') + 1) + u'-';
    const QStringList names = QDir(folder).entryList(
        QStringList { head + QStringLiteral("??????") }, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString &name : names) {
        const QStringView tail = QStringView(name).sliced(head.size());
        // mkostemp's letters only: any other name is not the writer's.
        if (!std::all_of(tail.begin(), tail.end(), [](QChar c) {
                return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z')
                    || (c >= u'0' && c <= u'9');
            }))
            continue;
        const QString full = (folder == u"." ? QString() : folder) + name;
        struct stat st { };
        if (::lstat(native(full).constData(), &st) == 0 && S_ISREG(st.st_mode)
            && st.st_uid == ::geteuid())
            ::unlink(native(full).constData());
    }
}

bool FolderTakesNewFiles(const QString &folder)
{
    return QFileInfo(folder).isDir() && ::access(native(folder).constData(), W_OK | X_OK) == 0;
}

bool FolderCouldTakeNewFiles(const QString &folder)
{
    QString at = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    while (!QFileInfo::exists(at) && !QFileInfo(at).isSymLink() && QFileInfo(at).path() != at)
        at = QFileInfo(at).path();
    return FolderTakesNewFiles(at);
}

bool MakeFolders(const QString &path, unsigned mode)
{
    const QString full = QDir::cleanPath(QDir::current().absoluteFilePath(path));
    QStringList missing;
    for (QString at = full; !QFileInfo::exists(at) && !QFileInfo(at).isSymLink();) {
        missing.prepend(at);
        const QString parent = QFileInfo(at).path();
        if (parent == at)
            break;
        at = parent;
    }
    for (const QString &folder : std::as_const(missing)) {
        const QByteArray name = native(folder);
        if (::mkdir(name.constData(), 0700) != 0) {
            if (errno == EEXIST && QFileInfo(folder).isDir())
                continue; // made by someone else meanwhile: not ours to change
            break;
        }
        // mkdir takes the umask away, which can only narrow the mode wrongly: a folder of the
        // diary the user may not write in is no use. The group a parent hands down stays.
        struct stat st { };
        const mode_t inherited = ::stat(name.constData(), &st) == 0 ? st.st_mode & S_ISGID : 0;
        (void)::chmod(name.constData(), static_cast<mode_t>(mode & 07777) | inherited);
    }
    return QFileInfo(full).isDir();
}

TFileWrite ReplaceFile(const QString &path, QByteArrayView bytes, const TFileAccess &access)
{
    struct stat st { };
    if (::lstat(native(path).constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return failed(path,
                S_ISDIR(st.st_mode)       ? EISDIR
                    : S_ISLNK(st.st_mode) ? ELOOP
                                          : EINVAL);
        // A file made read-only is not to be written, though its folder would let it be replaced.
        if (::access(native(path).constData(), W_OK) != 0)
            return failed(path, errno);
    }
    return writeBeside(
        path, bytes, access, [&](const QByteArray &temporary) -> std::optional<QString> {
            if (::rename(temporary.constData(), native(path).constData()) != 0)
                return std::nullopt;
            return path;
        });
}

TFileWrite OverwriteInPlace(const QString &path, QByteArrayView bytes, const TFileAccess &access,
    std::optional<QByteArrayView> previous)
{
    // Never opened truncating: until the new bytes stand, the old ones do.
    const int fd = ::open(native(path).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (fd < 0)
        return failed(path, errno);
    struct stat st { };
    int error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
    const bool plain = error == 0;
    if (error == 0)
        error = applyAccess(fd, access);
    if (error == 0)
        error = writeAll(fd, bytes);
    if (error != 0 && plain && previous)
        (void)writeAll(fd, *previous);
    ::close(fd);
    if (error != 0)
        return failed(path, error);
    return { true, path, {} };
}

TFileWrite WriteNewFile(const QString &path, QByteArrayView bytes, const TFileAccess &access)
{
    return writeBeside(
        path, bytes, access, [&](const QByteArray &temporary) -> std::optional<QString> {
            if (!moveToFreeName(temporary, path))
                return std::nullopt;
            return path;
        });
}

TFileWrite WriteUnderFreeName(const QString &base, QByteArrayView bytes, const TFileAccess &access)
{
    return writeBeside(
        base, bytes, access, [&](const QByteArray &temporary) -> std::optional<QString> {
            return moveUnderFreeName(temporary, base);
        });
}

std::optional<QString> MoveUnderFreeName(const QString &path, const QString &base)
{
    return moveUnderFreeName(native(path), base);
}

QByteArray WrittenToMemory(const std::function<void(QIODevice &device)> &write)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    write(buffer);
    buffer.close();
    return bytes;
}
