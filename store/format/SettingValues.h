#pragma once

#include <QByteArray>
#include <QByteArrayView>

// The weekday-name option as the DAYNAME setting holds it; the window and kivlog-cli read it
// alike. On only for "TRUE" in any letter case, exactly: no blanks, no other spelling.
bool DayNameSettingOn(const QByteArray &value);
QByteArray DayNameSettingValue(bool on);

// Setting names compare without regard to case.
bool SameSettingName(QByteArrayView a, QByteArrayView b);
// The name of a NAME=value setting line; the whole line when it has no "=".
QByteArrayView SettingName(QByteArrayView line);
