#include "DiskCopies.h"

#include <QHashFunctions>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <sys/stat.h>

namespace {

bool isDigits(QStringView s)
{
    return std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

// The entries of a folder whose names are prefix + middle + suffix, where middle has the given
// length and is all digits (or any length when length is -1 and digitsOnly is false).
QStringList namesBetween(const QString &folder, const QString &prefix, const QString &suffix,
    qsizetype length, bool digitsOnly)
{
    QStringList names;
    const QStringList all = QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
                                .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &name : all) {
        if (!name.startsWith(prefix) || !name.endsWith(suffix)
            || name.size() < prefix.size() + suffix.size())
            continue;
        const QStringView middle
            = QStringView(name).sliced(prefix.size(), name.size() - prefix.size() - suffix.size());
        if ((length >= 0 && middle.size() != length) || (digitsOnly && !isDigits(middle)))
            continue;
        names << name;
    }
    return names;
}

QString folderOf(const QString &path) { return path.left(path.lastIndexOf(u'/') + 1); }

QString conflictTag() { return QStringLiteral(".conflict-"); }

} // namespace

TFileIdentity StatFile(const QString &path)
{
    TFileIdentity id;
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return id;
    id.Exists = true;
    id.Size = st.st_size;
    id.MTimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    id.Mode = st.st_mode & 0777;
    return id;
}

size_t HashBytes(const QByteArray &bytes)
{
    // Qt's hash of bytes runs at memory speed where the processor has AES instructions; a
    // cryptographic hash would slow every load down several times.
    return qHashBits(bytes.constData(), static_cast<size_t>(bytes.size()), 0x6b69766c);
}

QFileDevice::Permissions CopyPermissions(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists())
        return info.permissions();
    return QFileDevice::ReadOwner | QFileDevice::WriteOwner;
}

QFileDevice::Permissions PermissionsOfMode(unsigned mode)
{
    QFileDevice::Permissions permissions;
    const std::pair<unsigned, QFileDevice::Permissions> bits[] = {
        { S_IRUSR, QFileDevice::ReadOwner | QFileDevice::ReadUser },
        { S_IWUSR, QFileDevice::WriteOwner | QFileDevice::WriteUser },
        { S_IXUSR, QFileDevice::ExeOwner | QFileDevice::ExeUser },
        { S_IRGRP, QFileDevice::ReadGroup }, { S_IWGRP, QFileDevice::WriteGroup },
        { S_IXGRP, QFileDevice::ExeGroup }, { S_IROTH, QFileDevice::ReadOther },
        { S_IWOTH, QFileDevice::WriteOther }, { S_IXOTH, QFileDevice::ExeOther },
    };
    for (const auto &[bit, permission] : bits) {
        if (mode & bit)
            permissions |= permission;
    }
    return permissions;
}

bool WriteFileWithPermissions(
    const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions)
{
    QSaveFile file(path);
    // Unbuffered, so a short write on a full disk is seen here and not committed.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    // Set before the first byte goes in, so the copy is never more open than its original.
    if (!file.setPermissions(permissions) || file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString FreeConflictPath(const QString &yearFilePath, const QDateTime &now)
{
    const QString base = yearFilePath + conflictTag() + now.toString(u"yyyyMMdd-HHmmss");
    QString path = base;
    for (int n = 2; QFileInfo::exists(path) || QFileInfo(path).isSymLink(); ++n)
        path = base + u'-' + QString::number(n);
    return path;
}

QStringList ConflictFilesOf(const QString &yearFilePath)
{
    const QString folder = folderOf(yearFilePath);
    const QString name = yearFilePath.mid(folder.size());
    QStringList paths;
    for (const QString &found : namesBetween(folder, name + conflictTag(), QString(), -1, false))
        paths << folder + found;
    return paths;
}

QString BackupFolder(const QString &baseDir) { return baseDir + QStringLiteral("backup/"); }

QString DatedBackupPath(
    const QString &baseDir, const QString &prefix, int year, const QString &ext, QDate day)
{
    return BackupFolder(baseDir) + prefix + QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'))
        + u'-' + day.toString(u"yyyyMMdd") + ext;
}

QStringList DatedBackupsOf(
    const QString &baseDir, const QString &prefix, int year, const QString &ext)
{
    const QString folder = BackupFolder(baseDir);
    const QString head = prefix + QStringLiteral("%1-").arg(year, 4, 10, QLatin1Char('0'));
    QStringList paths;
    // The names differ only in their yyyymmdd, so name order is date order.
    for (const QString &found : namesBetween(folder, head, ext, 8, true))
        paths << folder + found;
    return paths;
}

bool MakeDatedBackup(
    const QString &baseDir, const QString &prefix, int year, const QString &ext, QDate today)
{
    const QString yearFile
        = baseDir + prefix + QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0')) + ext;
    if (!QFileInfo(yearFile).isFile())
        return true;
    const QString target = DatedBackupPath(baseDir, prefix, year, ext, today);
    if (QFileInfo::exists(target))
        return true;

    const QString folder = BackupFolder(baseDir);
    if (!QFileInfo(folder).isDir()) {
        // No more open than the data folder it lies in.
        const QString data = baseDir.isEmpty() ? QStringLiteral(".") : baseDir;
        if (!QDir().mkdir(folder, QFileInfo(data).permissions()))
            return false;
    }
    QFile source(yearFile);
    if (!source.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = source.readAll();
    if (source.error() != QFileDevice::NoError
        || !WriteFileWithPermissions(target, bytes, CopyPermissions(yearFile)))
        return false;

    QStringList backups = DatedBackupsOf(baseDir, prefix, year, ext);
    while (backups.size() > kKeptBackupsPerYear) {
        const QString oldest = backups.takeFirst();
        // Only the diary's own copies go: never a folder or a link someone put there.
        if (QFileInfo(oldest).isFile() && !QFileInfo(oldest).isSymLink())
            QFile::remove(oldest);
    }
    return true;
}
