#include "DiaryIdentity.h"

#include "FileReader.h"
#include "FileWriter.h"
#include "YearFileName.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QUuid>
#include <sys/stat.h>

QString DiaryStateFolder()
{
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (!QDir::isAbsolutePath(state))
        state = QDir::homePath() + QLatin1String("/.local/state");
    return state + QLatin1String("/kivlog/");
}

QString DiaryConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QLatin1String("/kivlog/");
}

QString DiaryCacheFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation)
        + QLatin1String("/kivlog/");
}

namespace {

QString identityPath(const QString &dataFolder)
{
    return QDir(dataFolder).filePath(QLatin1String(kDiaryIdentityFile));
}

bool plausible(const QByteArray &identity)
{
    if (identity.isEmpty() || identity.size() > 64)
        return false;
    for (const char c : identity) {
        if (!QChar::isLetterOrNumber(uchar(c)) && c != '-')
            return false;
    }
    return true;
}

// The first lines of the oldest year file: the same on every machine the folder is synced to.
QByteArray identityFromOldestYear(
    const QString &dataFolder, const QString &prefix, const QString &ext)
{
    const TYearFileName names { prefix, ext };
    QString oldest;
    int oldestYear = 0;
    for (const QString &name : QDir(dataFolder).entryList(QDir::Files)) {
        const std::optional<int> year = names.YearOf(name);
        if (year && (oldest.isEmpty() || *year < oldestYear)) {
            oldest = name;
            oldestYear = *year;
        }
    }
    if (oldest.isEmpty())
        return QByteArray();
    // From its first day on: the header line alone is the same in every diary.
    QByteArray head;
    try {
        const QByteArray bytes = ReadWholeFile(QDir(dataFolder).filePath(oldest));
        const qsizetype firstDay = bytes.indexOf("\r\n![");
        if (firstDay < 0)
            return QByteArray();
        head = bytes.mid(firstDay, 512);
    } catch (...) {
        return QByteArray();
    }
    return QCryptographicHash::hash(oldest.toUtf8() + '\n' + head, QCryptographicHash::Sha1)
        .toHex()
        .left(32);
}

} // namespace

QByteArray DiaryIdentityOf(const QString &dataFolder)
{
    const QString path = identityPath(dataFolder);
    if (!QFileInfo(path).isFile())
        return QByteArray();
    try {
        const QByteArray identity = ReadWholeFile(path).trimmed();
        return plausible(identity) ? identity : QByteArray();
    } catch (...) {
        return QByteArray();
    }
}

QByteArray ClaimDiaryIdentity(const QString &dataFolder, const QString &prefix, const QString &ext)
{
    if (const QByteArray identity = DiaryIdentityOf(dataFolder); !identity.isEmpty())
        return identity;
    QByteArray identity = identityFromOldestYear(dataFolder, prefix, ext);
    if (identity.isEmpty())
        identity = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    return NameDiaryFolder(dataFolder, identity) ? identity : QByteArray();
}

bool NameDiaryFolder(const QString &dataFolder, const QByteArray &identity)
{
    const QString path = identityPath(dataFolder);
    // Anything that stands there and is no identity is not the diary's to replace.
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return false;
    return bool(ReplaceFile(path, identity + '\n', AccessOfDiaryFile(path)));
}

QString DiaryMemoryFolder(
    const QString &root, const QByteArray &identity, const QString &dataFolder)
{
    QByteArray key = identity;
    if (key.isEmpty()) {
        QString canonical = QFileInfo(dataFolder).canonicalFilePath();
        if (canonical.isEmpty())
            canonical = QDir::cleanPath(QDir(dataFolder).absolutePath());
        key = "folder\n" + QFile::encodeName(canonical);
    }
    const QString base = root.isEmpty() ? DiaryStateFolder() + QLatin1String("memory/") : root;
    return base
        + QString::fromLatin1(
            QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16))
        + u'/';
}

QByteArray FolderEntry(const QString &folder)
{
    struct stat st { };
    if (::stat(QFile::encodeName(folder).constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return QByteArray();
    return QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
}
