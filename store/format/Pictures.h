#pragma once

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

// A day's pictures live in the data folder as files of their own and stand in the day's text
// as one line each, "[写真 2026-12-09_3fa9c2d1.jpg]": the day the picture was added, the first
// hex digits of the SHA-256 of its bytes, and the extension of its kind. The name alone tells
// where the file is (photos/ + its year + "/"), so the line is all a person editing the year
// file by hand has to keep, and the same picture added on two machines is one file.

// The kinds of picture the diary takes, by their bytes: "jpg", "png", "gif", "webp" or "bmp";
// nothing for anything else.
std::optional<QString> PictureKindOf(QByteArrayView bytes);

// The file name of a picture added on day: the first hexDigits (8 to 64) of its SHA-256.
QString PictureName(QDate day, QByteArrayView bytes, const QString &kind, int hexDigits = 8);
// Whether name is one PictureName makes.
bool IsPictureName(QStringView name);
// The folder of a picture file below the data folder, "photos/2026/".
QString PictureFolderOf(QStringView name);
inline constexpr char kPicturesFolder[] = "photos/";

// The line of a day's text that shows a picture.
QString PictureLine(const QString &name);
// The picture a line names, when it is a picture line (blanks around it count for nothing).
std::optional<QString> PictureOfLine(QStringView line);
// The pictures a day's text names, in the order of its lines (a name named twice, once).
QStringList PicturesOfText(QStringView text);
