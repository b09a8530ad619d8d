#include "DiskCopies.h"

#include "YearFileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHashFunctions>
#include <QRegularExpression>
#include <QStandardPaths>
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
    struct stat st { };
    if (::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return id;
    id.Exists = true;
    id.Size = st.st_size;
    id.MTimeNs = static_cast<qint64>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    id.CTimeNs = static_cast<qint64>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    id.Device = st.st_dev;
    id.Inode = st.st_ino;
    id.Mode = st.st_mode & 0777;
    id.Group = st.st_gid;
    return id;
}

size_t HashBytes(const QByteArray &bytes)
{
    // Qt's hash of bytes runs at memory speed where the processor has AES instructions; a
    // cryptographic hash would slow every load down several times.
    return qHashBits(bytes.constData(), static_cast<size_t>(bytes.size()), 0x6b69766c);
}

QString ConflictPathBase(const QString &yearFilePath, const QDateTime &now)
{
    return yearFilePath + conflictTag() + now.toString(u"yyyyMMdd-HHmmss");
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

bool IsSyncConflictCopyName(const QString &name, const QString &yearFileName, const QString &ext)
{
    if (!yearFileName.endsWith(ext) || !name.endsWith(ext) || name == yearFileName)
        return false;
    const QString stem = yearFileName.chopped(ext.size());
    if (!name.startsWith(stem) || name.size() <= stem.size() + ext.size())
        return false;
    const QString middle = name.sliced(stem.size(), name.size() - stem.size() - ext.size());
    // Syncthing: ".sync-conflict-" date "-" time "-" the short id of the device that wrote it.
    static const QRegularExpression syncthing(
        QStringLiteral("^\\.sync-conflict-[0-9]{8}-[0-9]{6}-[A-Za-z0-9]+$"));
    // Nextcloud and ownCloud: " (conflicted copy" ... ")"; Dropbox: " (" who " conflicted copy"
    // ... ")".
    static const QRegularExpression copy(
        QStringLiteral("^ \\((.*\\s)?conflicted copy(\\s.*)?\\)$"));
    return syncthing.match(middle).hasMatch() || copy.match(middle).hasMatch();
}

bool IsDiaryVersionFile(const QString &path)
{
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    static const QRegularExpression conflictFile(
        QStringLiteral("[0-9]{4}.*\\.conflict-[0-9]{8}-[0-9]{6}(-[0-9]+)?$"));
    if (conflictFile.match(name).hasMatch())
        return true;
    // The year file a copy was made of: its name up to four digits, then the extension.
    const qsizetype dot = name.lastIndexOf(u'.');
    for (const QString &ext : { dot > 0 ? name.mid(dot) : QString(), QString() }) {
        for (qsizetype end = 4; end + ext.size() < name.size(); ++end) {
            if (isDigits(QStringView(name).sliced(end - 4, 4))
                && IsSyncConflictCopyName(name, name.left(end) + ext, ext))
                return true;
        }
    }
    QFile file(path);
    return QFileInfo(path).isFile() && file.open(QIODevice::ReadOnly) && file.read(5) == "!JNL ";
}

QStringList ConflictCopiesOf(const QString &yearFilePath, const QString &ext)
{
    QStringList paths = ConflictFilesOf(yearFilePath);
    const QString folder = folderOf(yearFilePath);
    const QString name = yearFilePath.mid(folder.size());
    for (const QString &found : namesBetween(folder, QString(), ext, -1, false)) {
        if (IsSyncConflictCopyName(found, name, ext))
            paths << folder + found;
    }
    return paths;
}

bool IsDiaryOwnFile(
    const QString &baseDir, const QString &prefix, const QString &ext, const QString &path)
{
    const QString folder = QDir(baseDir.isEmpty() ? QStringLiteral(".") : baseDir).canonicalPath();
    const QFileInfo info(path);
    const QString parent = QDir(info.absolutePath()).canonicalPath();
    if (folder.isEmpty() || parent.isEmpty())
        return false;
    for (const QString &own :
        { folder + QStringLiteral("/backup"), folder + QStringLiteral("/inbox") }) {
        if (parent == own || parent.startsWith(own + u'/'))
            return true;
    }
    if (parent != folder)
        return false;
    const QString name = info.fileName();
    const TYearFileName names { prefix, ext };
    // The .bak of a year file whose prefix holds the only "." is one name for every year.
    const QString shared = QFileInfo(BackupPathOf(names.Of(0))).fileName();
    return names.YearOf(name) || names.YearOf(name, u".bak")
        || (!shared.contains(TYearFileName::Digits(0)) && name == shared);
}

QString InboxFolder(const QString &baseDir) { return baseDir + QStringLiteral("inbox/"); }

QString UserDataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/kivlog/");
}

QString RescueFolder() { return UserDataFolder() + QStringLiteral("rescued/"); }

QString RescuePathBase(const QString &yearFilePath, const QDateTime &now)
{
    return RescueFolder() + yearFilePath.mid(yearFilePath.lastIndexOf(u'/') + 1)
        + QStringLiteral(".rescued-") + now.toString(u"yyyyMMdd-HHmmss");
}
