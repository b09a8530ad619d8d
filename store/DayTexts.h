#pragma once

#include "DayNumber.h"

// Dates as the user reads them, with the weekday names of the services in force.
QString FormatDate(const QString &pattern, QDate date);
QString FormatDayNumber(const QString &pattern, double dayNumber);
// A day's heading wherever days are listed to be read (search hits, この日, export, print):
// "yyyy/mm/dd(aaa)".
QString DayHeading(double dayNumber);
