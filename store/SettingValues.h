#pragma once

#include <QByteArray>

// The weekday-name option as the DAYNAME setting holds it; the window and kivlog-cli read it
// alike. On only for "TRUE" in any letter case, exactly: no blanks, no other spelling.
bool DayNameSettingOn(const QByteArray &value);
QByteArray DayNameSettingValue(bool on);
