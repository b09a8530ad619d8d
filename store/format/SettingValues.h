#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The settings the window keeps in each year file, and kivlog-cli reads.
namespace setting {
inline constexpr char kWidth[] = "WIDTH";
inline constexpr char kHeight[] = "HEIGHT";
inline constexpr char kFontName[] = "FONTNAME";
inline constexpr char kFontSize[] = "FONTSIZE";
inline constexpr char kDayName[] = "DAYNAME";
} // namespace setting

// The editor's font size in points where the year file names none.
inline constexpr int kDefaultFontSize = 9;

// The weekday-name option as the DAYNAME setting holds it; the window and kivlog-cli read it
// alike. On only for "TRUE" in any letter case, exactly: no blanks, no other spelling.
bool DayNameSettingOn(const QByteArray &value);
QByteArray DayNameSettingValue(bool on);

// Setting names compare without regard to case.
bool SameSettingName(QByteArrayView a, QByteArrayView b);
// The name of a NAME=value setting line; the whole line when it has no "=".
QByteArrayView SettingName(QByteArrayView line);
