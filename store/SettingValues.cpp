#include "SettingValues.h"

#include "Cp932.h"

bool DayNameSettingOn(const QByteArray &value) { return cp932::Decode(value).toUpper() == u"TRUE"; }

QByteArray DayNameSettingValue(bool on) { return on ? "TRUE" : "FALSE"; }
