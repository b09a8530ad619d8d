#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <QStringList>

// The picture files of the data folder, below photos/<year>/. A picture file is written once,
// through the file writer, and never written again: the same bytes added again find their file
// (whose time then says when it was last added), other bytes get another name.

struct TPictureAdded {
    QString Name; // the name for the day's line; empty when nothing was added
    QString Error; // why not, to be shown as it stands
    bool Ok() const { return !Name.isEmpty(); }
};

// Copies the picture at sourcePath into the data folder as a picture of day.
TPictureAdded AddPictureFile(const QString &baseDir, const QString &sourcePath, QDate day);
// The same for a picture's bytes (a pasted image); source names it in a refusal.
TPictureAdded AddPictureBytes(
    const QString &baseDir, QByteArrayView bytes, QDate day, const QString &source);

// Where the picture of that name is (or would be) in the data folder.
QString PicturePath(const QString &baseDir, const QString &name);
// The picture files of the folder by name: every file below photos/<year>/ that is named as
// the diary names pictures.
QStringList PictureFilesIn(const QString &baseDir);

// Copies the pictures of those names to photos/<year>/ below folder (beside an export), each
// once; one that stands there already is left as it is. The names whose picture is missing or
// could not be copied, each with why.
QStringList CopyPicturesBeside(
    const QString &baseDir, const QStringList &names, const QString &folder);

// How long a picture file that no line names stays where it is: another machine may still be
// carrying the line that names it.
inline constexpr int kUnnamedPictureDays = 30;
// Moves the picture files that no name in 'named' names and that were last added (their time)
// more than kUnnamedPictureDays before now into backup/photos/; the paths they went to.
QStringList PutAwayUnnamedPictures(
    const QString &baseDir, const QSet<QString> &named, const QDateTime &now);
