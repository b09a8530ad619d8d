#pragma once

#include "SettingValues.h"

#include <QByteArray>
#include <QDate>
#include <QRect>
#include <QSize>
#include <QString>
#include <optional>

class QFont;

// The small rules behind the window's handlers, kept apart from the widgets so that they can
// be checked on their own.

// The date moved by a number of months: the day of the month is kept, or becomes the last
// day of the target month when that month is shorter (31 March minus a month is the end of
// February).
QDate MoveByMonths(QDate date, int months);

// A date title: "2001年08月20日(月)", year text and month-day text joined.
QString YearText(double dayNumber);
QString MonthDayText(double dayNumber);

// The longest face name a setting keeps, in bytes.
constexpr qsizetype kFaceNameBytes = 31;

// The CP932 bytes of a face name as the FONTNAME setting holds it, and back. Both cut the
// name to its first 31 bytes, never inside a double-byte character.
QByteArray FaceNameSetting(const QString &family);
QString FaceNameFromSetting(const QByteArray &value);
QByteArray CutToBytes(const QByteArray &cp932, qsizetype bytes);

// The font's size in whole points, halves rounded away from zero; a font sized in pixels is
// converted at the given dots per inch.
int FontSizeInPoints(const QFont &font, int dpiY);

// The client size that gives the wanted outer size, given the client and outer sizes now.
// A dimension without a wanted value is left as the client has it.
QSize ClientSizeForOuter(
    std::optional<int> width, std::optional<int> height, QSize client, QSize outer);

// The window's outer rectangle made to lie wholly in the screen's available area: no larger
// than the area, and moved into it by the least distance.
QRect FitIntoArea(QRect outer, const QRect &area);
