#include "Backups.h"

#include "DiaryIdentity.h"
#include "DiskCopies.h"
#include "YearFileName.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSysInfo>
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

// Letters, digits and "-" of any script's, without "-" at either end: what names a machine or the
// writer of a copy in a file name.
bool isTag(QStringView tag)
{
    return !tag.isEmpty() && !tag.startsWith(u'-') && !tag.endsWith(u'-')
        && std::all_of(
            tag.begin(), tag.end(), [](QChar c) { return c.isLetterOrNumber() || c == u'-'; });
}

QString asTag(const QString &text, qsizetype longest, bool asciiOnly = false)
{
    QString tag;
    for (const QChar c : text) {
        if ((c.isLetterOrNumber() && (!asciiOnly || c.unicode() < 0x80)) || c == u'-')
            tag += c;
    }
    while (tag.startsWith(u'-'))
        tag.remove(0, 1);
    tag.truncate(longest);
    while (tag.endsWith(u'-'))
        tag.chop(1);
    return tag;
}

QString stateFolder() { return DiaryStateFolder(); }

QString readTag(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    const QString tag = QString::fromUtf8(file.read(64)).trimmed();
    return isTag(tag) ? tag : QString();
}

struct TDatedName {
    QDate Day;
    QString Machine; // empty in the names of earlier versions
};

// Reads a name of the backup folder as a dated backup of the year whose names begin with head:
// head + yyyymmdd, then "-" + a tag or nothing, then ext.
std::optional<TDatedName> readDatedName(
    const QString &name, const QString &head, const QString &ext)
{
    if (name.size() < head.size() + 8 + ext.size() || !name.startsWith(head) || !name.endsWith(ext))
        return std::nullopt;
    const QStringView digits = QStringView(name).sliced(head.size(), 8);
    const QStringView rest
        = QStringView(name).sliced(head.size() + 8, name.size() - head.size() - 8 - ext.size());
    if (!std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; })
        || (!rest.isEmpty() && (!rest.startsWith(u'-') || !isTag(rest.sliced(1)))))
        return std::nullopt;
    // A name like a backup's whose date is no day is the user's file, and never pruned.
    const QDate day = QDate::fromString(digits.toString(), u"yyyyMMdd");
    if (!day.isValid())
        return std::nullopt;
    return TDatedName { day, rest.isEmpty() ? QString() : rest.sliced(1).toString() };
}

QString datedHead(const QString &prefix, int year)
{
    return prefix + TYearFileName::Digits(year) + u'-';
}

// What a sync engine's name of a conflict copy says: the name of the file it is a copy of, who
// wrote it (a device's id, a person) and when, as "20261209-060034" or "20261209".
struct TEngineCopy {
    QString Original;
    QString Who;
    QString Time;
};

// Engines put their mark before the last extension of the name, engineExt.
std::optional<TEngineCopy> readEngineCopy(const QString &name, const QString &engineExt)
{
    if (!name.endsWith(engineExt))
        return std::nullopt;
    const QString body = name.chopped(engineExt.size());
    static const QRegularExpression syncthing(
        QStringLiteral("^(.+)\\.sync-conflict-([0-9]{8})-([0-9]{6})-([A-Za-z0-9]+)$"));
    static const QRegularExpression copy(
        QStringLiteral("^(.+?) \\((?:(.*)\\s)?conflicted copy(?:\\s(.*))?\\)$"));
    static const QRegularExpression when(
        QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})(?: ([0-9]{6}))?"));
    TEngineCopy found;
    if (const QRegularExpressionMatch m = syncthing.match(body); m.hasMatch()) {
        found = { m.captured(1) + engineExt, m.captured(4), m.captured(2) + u'-' + m.captured(3) };
    } else if (const QRegularExpressionMatch c = copy.match(body); c.hasMatch()) {
        // Dropbox's "Taro's conflicted copy 2026-12-09"; Nextcloud's names no one.
        QString who = c.captured(2);
        for (const QString &s : { QStringLiteral("'s"), QStringLiteral("\u2019s") }) {
            if (who.endsWith(s))
                who.chop(s.size());
        }
        found = { c.captured(1) + engineExt, asTag(who, 32), QString() };
        if (const QRegularExpressionMatch t = when.match(c.captured(3)); t.hasMatch()) {
            found.Time = t.captured(1) + t.captured(2) + t.captured(3)
                + (t.hasCaptured(4) ? u'-' + t.captured(4) : QString());
        }
    } else {
        return std::nullopt;
    }
    if (!IsSyncConflictCopyName(name, found.Original, engineExt))
        return std::nullopt;
    return found;
}

// Moves path to folder + stem + ext, or, when a file stands there, to stem + "-2" + ext and on;
// the free-name move never writes over one that came meanwhile.
std::optional<QString> moveToTellingName(
    const QString &path, const QString &folder, const QString &stem, const QString &ext)
{
    for (int n = 1;; ++n) {
        const QString name = folder + stem + (n == 1 ? QString() : u'-' + QString::number(n)) + ext;
        if (!QFileInfo::exists(name) && !QFileInfo(name).isSymLink())
            return MoveUnderFreeName(path, name);
    }
}

} // namespace

QString MachineBackupTag()
{
    const QString host = asTag(QSysInfo::machineHostName(), 16, true);
    const QString fallback = host.isEmpty() ? QStringLiteral("pc") : host;
    const QString file = stateFolder() + QStringLiteral("backup-tag");
    if (const QString tag = readTag(file); !tag.isEmpty())
        return tag;
    QString made = fallback + u'-';
    static const char kChars[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    for (int i = 0; i < 4; ++i)
        made += QChar::fromLatin1(kChars[QRandomGenerator::system()->bounded(36)]);
    // Another diary on this machine may make it at the same moment: the first one written holds.
    if (MakeFolders(stateFolder()))
        WriteNewFile(file, (made + u'\n').toUtf8(), TFileAccess {});
    const QString tag = readTag(file);
    return tag.isEmpty() ? fallback : tag;
}

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
    return BackupFolder(baseDir) + datedHead(prefix, year) + day.toString(u"yyyyMMdd") + u'-'
        + MachineBackupTag() + ext;
}

QStringList DatedBackupsOf(
    const QString &baseDir, const QString &prefix, int year, const QString &ext)
{
    const QString folder = BackupFolder(baseDir);
    const QString head = datedHead(prefix, year);
    QStringList paths;
    // The day stands at one place in every name, so name order is date order.
    const QStringList all
        = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString &found : all) {
        if (readDatedName(found, head, ext))
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

    const QString machine = MachineBackupTag();
    const QString head = datedHead(prefix, year);
    QStringList ours;
    for (const QString &path : DatedBackupsOf(baseDir, prefix, year, ext)) {
        const QString found = QFileInfo(path).fileName();
        const QString tag = readDatedName(found, head, ext)->Machine;
        if (tag.isEmpty() || tag == machine)
            ours << path;
    }
    while (ours.size() > kKeptBackupsPerYear) {
        const QString oldest = ours.takeFirst();
        // Only the diary's own copies go: never a folder or a link someone put there.
        if (QFileInfo(oldest).isFile() && !QFileInfo(oldest).isSymLink())
            QFile::remove(oldest);
    }
    return true;
}

QStringList TidyBackupCopies(const QString &baseDir, const QString &prefix, const QString &ext)
{
    const TYearFileName names { prefix, ext };
    QStringList moved;
    const auto files = [](const QString &folder) {
        return QDir(folder.isEmpty() ? QStringLiteral(".") : folder)
            .entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    };
    const auto plainFile = [](const QString &path) {
        return QFileInfo(path).isFile() && !QFileInfo(path).isSymLink();
    };

    // The .bak of a year file is prefix + year + this tail; a prefix holding the only "." gives
    // every year one .bak, which is left as it is.
    const QString bakOfYear = QFileInfo(BackupPathOf(names.Of(0))).fileName();
    const QString bakTail = bakOfYear.mid(prefix.size() + 4);
    if (bakOfYear.startsWith(prefix + TYearFileName::Digits(0)) && bakOfYear != names.Of(0)) {
        for (const QString &found : files(baseDir)) {
            const std::optional<TEngineCopy> copy = readEngineCopy(found, QStringLiteral(".bak"));
            if (!copy || !names.YearOf(copy->Original, bakTail) || !plainFile(baseDir + found)
                || !makeBackupFolder(baseDir))
                continue;
            const QString stem = copy->Original + u'-'
                + (copy->Who.isEmpty() ? QStringLiteral("copy") : copy->Who)
                + (copy->Time.isEmpty() ? QString() : u'-' + copy->Time);
            if (const std::optional<QString> to
                = moveToTellingName(baseDir + found, BackupFolder(baseDir), stem, QString()))
                moved << *to;
        }
    }

    // A dated backup's copy stays a dated backup of that day, after the one who wrote it.
    const QString folder = BackupFolder(baseDir);
    const qsizetype dot = ext.lastIndexOf(u'.');
    const QString engineExt = dot >= 0 ? ext.mid(dot) : QString();
    for (const QString &found : files(folder)) {
        const std::optional<TEngineCopy> copy = readEngineCopy(found, engineExt);
        if (!copy || !copy->Original.endsWith(ext))
            continue;
        const QString &original = copy->Original;
        const std::optional<int> year
            = names.YearOf(QStringView(original).left(prefix.size() + 4), u"");
        if (!year || !readDatedName(original, datedHead(prefix, *year), ext)
            || !plainFile(folder + found))
            continue;
        const QString stem = original.chopped(ext.size()) + u'-'
            + (copy->Who.isEmpty() ? QStringLiteral("copy") : copy->Who);
        if (const std::optional<QString> to = moveToTellingName(folder + found, folder, stem, ext))
            moved << *to;
    }
    return moved;
}

std::optional<QString> MoveIntoBackupFolder(
    const QString &baseDir, const QString &path, const QString &subFolder)
{
    if (!makeBackupFolder(baseDir, subFolder))
        return std::nullopt;
    return MoveUnderFreeName(path, BackupFolder(baseDir) + subFolder + QFileInfo(path).fileName());
}
