#include "PictureFiles.h"

#include "Backups.h"
#include "Exceptions.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "Messages.h"
#include "Pictures.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

QString PicturePath(const QString &baseDir, const QString &name)
{
    return baseDir + PictureFolderOf(name) + name;
}

TPictureAdded AddPictureBytes(
    const QString &baseDir, QByteArrayView bytes, QDate day, const QString &source)
{
    const std::optional<QString> kind = PictureKindOf(bytes);
    if (!kind)
        return { {}, Text(msg::kNotAPicture).arg(source) };
    const QString folder = baseDir + QString::fromLatin1(kPicturesFolder)
        + QString::number(day.year()).rightJustified(4, u'0') + u'/';
    const auto failed = [&](const QString &reason) {
        return TPictureAdded { {}, Text(msg::kPictureNotCopied).arg(source) + u"\r\n"_s + reason };
    };
    if (!MakeFolders(folder))
        return failed(QDir::toNativeSeparators(folder));
    // Two different pictures of a day whose names would share the first digits of their hash
    // take longer names; the one written first keeps its file and its name.
    for (const int digits : { 8, 16, 64 }) {
        const QString name = PictureName(day, bytes, *kind, digits);
        const QString path = folder + name;
        const TFileWrite written = WriteNewFile(path, bytes, AccessOfDiaryFile(path));
        if (written)
            return { name, {} };
        if (!QFileInfo(path).isFile())
            return failed(written.Error);
        try {
            if (ReadWholeFile(path) == bytes) {
                // Added again: its time is the time it was last added, so an unnamed one is
                // not put away while a line may be on its way from another machine. Its bytes
                // stay as they are.
                (void)::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), nullptr, 0);
                return { name, {} };
            }
        } catch (const Exception &e) {
            return failed(e.Message());
        }
    }
    return failed(QString());
}

TPictureAdded AddPictureFile(const QString &baseDir, const QString &sourcePath, QDate day)
{
    const QString shown = QFileInfo(sourcePath).fileName();
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(sourcePath);
    } catch (const Exception &e) {
        return { {}, Text(msg::kPictureNotCopied).arg(shown) + u"\r\n"_s + e.Message() };
    }
    return AddPictureBytes(baseDir, bytes, day, shown);
}

QStringList PictureFilesIn(const QString &baseDir)
{
    QStringList names;
    const QDir pictures(baseDir + QString::fromLatin1(kPicturesFolder));
    for (const QString &year : pictures.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QDir folder(pictures.filePath(year));
        for (const QString &name : folder.entryList(QDir::Files, QDir::Name)) {
            // A file put into another year's folder by hand is not where its line leads.
            if (IsPictureName(name) && name.startsWith(year))
                names.append(name);
        }
    }
    return names;
}

QStringList CopyPicturesBeside(
    const QString &baseDir, const QStringList &names, const QString &folder)
{
    QStringList failed;
    const QString root = folder.isEmpty() || folder.endsWith(u'/') ? folder : folder + u'/';
    for (const QString &name : names) {
        const QString from = PicturePath(baseDir, name);
        const QString to = PicturePath(root, name);
        if (QFileInfo(from).canonicalFilePath() == QFileInfo(to).canonicalFilePath()
            && QFileInfo::exists(to))
            continue;
        try {
            const QByteArray bytes = ReadWholeFile(from);
            if (QFileInfo::exists(to))
                continue;
            if (!MakeFolders(root + PictureFolderOf(name))) {
                failed.append(
                    name + u": "_s + QDir::toNativeSeparators(root + PictureFolderOf(name)));
                continue;
            }
            const TFileWrite written = WriteNewFile(to, bytes, AccessOfCopy({ from }, to));
            if (!written && !QFileInfo::exists(to))
                failed.append(name + u": "_s + written.Error);
        } catch (const Exception &e) {
            failed.append(name + u": "_s + e.Message());
        }
    }
    return failed;
}

QStringList PutAwayUnnamedPictures(
    const QString &baseDir, const QSet<QString> &named, const QDateTime &now)
{
    QStringList moved;
    for (const QString &name : PictureFilesIn(baseDir)) {
        if (named.contains(name))
            continue;
        const QString path = PicturePath(baseDir, name);
        if (QFileInfo(path).lastModified().daysTo(now) <= kUnnamedPictureDays)
            continue;
        if (const std::optional<QString> to = MoveIntoBackupFolder(baseDir, path, u"photos/"_s))
            moved.append(*to);
    }
    return moved;
}
