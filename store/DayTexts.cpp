#include "DayTexts.h"

#include "Services.h"

QString FormatDate(const QString &pattern, QDate date)
{
    // A pattern reads no weekday but the date's own, so only that name is asked for.
    TWeekdayNames weekdays;
    if (date.isValid())
        weekdays[static_cast<size_t>(date.dayOfWeek() - 1)] = DiaryShortDayName(date.dayOfWeek());
    return FormatDate(pattern, date, weekdays);
}

QString FormatDayNumber(const QString &pattern, double dayNumber)
{
    return FormatDate(pattern, DayNumberToDate(dayNumber));
}

QString DayHeading(double dayNumber)
{
    return FormatDayNumber(QStringLiteral("yyyy/mm/dd(aaa)"), dayNumber);
}
