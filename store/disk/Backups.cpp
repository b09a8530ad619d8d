#include "Backups.h"

#include "YearFileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <sys/stat.h>

namespace {

// No more open than the data folder it lies in.
bool makeBackupFolder(const QString &baseDir, const QString &subFolder = QString())
{
    const QString folder = BackupFolder(baseDir) + subFolder;
    if (QFileInfo(folder).isDir())
        return true;
    // As open as the data folder it lies in, no more and, whatever the umask, no less.
    struct stat data { };
    return ::stat(QFile::encodeName(baseDir.isEmpty() ? QStringLiteral(".") : baseDir).constData(),
               &data)
        == 0
        && MakeFolders(folder, data.st_mode & 07777);
}

} // namespace

QString BackupPathOf(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot >= 0 && path.indexOf(u'/', dot) < 0)
        return path.left(dot) + QStringLiteral(".bak");
    return path + QStringLiteral(".bak");
}

bool MakeBackupFile(const QString &path, QByteArrayView contents, const TFileAccess &access)
{
    const QString bak = BackupPathOf(path);
    const TFileWrite written = ReplaceFile(bak, contents, access);
    if (written)
        return true;
    if (!written.NoNewFiles() || !QFileInfo(bak).isFile() || QFileInfo(bak).isSymLink())
        return false;
    // An existing backup is written over instead, and put back when that fails.
    QFile old(bak);
    if (!old.open(QIODevice::ReadOnly))
        return false;
    const QByteArray older = old.readAll();
    if (old.error() != QFileDevice::NoError)
        return false;
    old.close();
    return bool(OverwriteInPlace(bak, contents, access, QByteArrayView(older)));
}

QString BackupFolder(const QString &baseDir) { return baseDir + QStringLiteral("backup/"); }

QString DatedBackupPath(
    const QString &baseDir, const QString &prefix, int year, const QString &ext, QDate day)
{
    return BackupFolder(baseDir) + prefix + TYearFileName::Digits(year) + u'-'
        + day.toString(u"yyyyMMdd") + ext;
}

QStringList DatedBackupsOf(
    const QString &baseDir, const QString &prefix, int year, const QString &ext)
{
    const QString folder = BackupFolder(baseDir);
    const QString head = prefix + TYearFileName::Digits(year) + u'-';
    QStringList paths;
    // The names differ only in their yyyymmdd, so name order is date order.
    const QStringList all
        = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &found : all) {
        if (found.size() != head.size() + 8 + ext.size() || !found.startsWith(head)
            || !found.endsWith(ext))
            continue;
        const QStringView digits = QStringView(found).sliced(head.size(), 8);
        // A name like a backup's whose date is no day is the user's file, and never pruned.
        if (std::all_of(
                digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })
            && QDate::fromString(digits.toString(), u"yyyyMMdd").isValid())
            paths << folder + found;
    }
    return paths;
}

bool MakeDatedBackup(const QString &baseDir, const QString &prefix, int year, const QString &ext,
    QDate today, QByteArrayView bytes, const TFileAccess &access)
{
    const QString target = DatedBackupPath(baseDir, prefix, year, ext, today);
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return true;

    if (!makeBackupFolder(baseDir))
        return false;
    // Another diary may have made today's backup a moment ago: then there is one.
    const TFileWrite written = WriteNewFile(target, bytes, access);
    if (!written && !QFileInfo::exists(target))
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

std::optional<QString> MoveIntoBackupFolder(
    const QString &baseDir, const QString &path, const QString &subFolder)
{
    if (!makeBackupFolder(baseDir, subFolder))
        return std::nullopt;
    return MoveUnderFreeName(path, BackupFolder(baseDir) + subFolder + QFileInfo(path).fileName());
}
