#pragma once

#include <QDate>
#include <QString>
#include <array>

// Day numbers count days since 1899-12-30 (1900-01-01 is day 2); the fraction is the time of day.
constexpr qint64 kDayNumberJulianOffset = 2415019; // QDate::toJulianDay() of day 0

QDate DayNumberToDate(double dayNumber); // the whole day, floor(dayNumber)
double DateToDayNumber(QDate date);
double DateTimeToDayNumber(const QDateTime &dateTime);

// The abbreviated weekday names, Monday first as Qt counts days (1 = Monday ... 7 = Sunday).
// A name no pattern asks for may stay empty.
using TWeekdayNames = std::array<QString, 7>;

// The date patterns of the program: "yyyy" four-digit year, "mm" two-digit month, "dd"
// two-digit day, "aaa" and "ddd" the abbreviated weekday name; every other character is copied.
QString FormatDayNumber(const QString &pattern, double dayNumber, const TWeekdayNames &weekdays);
QString FormatDate(const QString &pattern, QDate date, const TWeekdayNames &weekdays);
