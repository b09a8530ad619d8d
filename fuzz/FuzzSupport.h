#pragma once

// What the fuzz targets share: how a finding ends the run, and the diary's services as a
// fuzz run has them (no message may be shown; a fixed clock).

#include "DayNumber.h"
#include "Services.h"
#include "YearFile.h"

#include <QByteArrayView>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace fuzz {

[[noreturn]] inline void fail(const char *what)
{
    fprintf(stderr, "fuzz target: %s\n", what);
    abort();
}

inline void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

inline void useDiaryServices()
{
    static TScopedDiaryServices services({ [](const QString &) { fail("a message was shown"); },
        [] { return QDateTime(QDate(2026, 6, 15), QTime(12, 0)); },
        [](int) { return QStringLiteral("月"); } });
}

// The year now and the weekday names, as the services above give them.
inline constexpr int kThisYear = 2026;
inline TWeekdayNames weekdays()
{
    TWeekdayNames names;
    names.fill(QStringLiteral("月"));
    return names;
}

// The year the input's first line names when the store can hold it, else 2009: inputs that
// begin like a year file get past the year test.
inline int yearOf(QByteArrayView input)
{
    double version = 0;
    quint16 headerYear = 0;
    qsizetype firstEnd = 0;
    while (firstEnd < input.size() && input[firstEnd] != '\r' && input[firstEnd] != '\n')
        ++firstEnd;
    if (ParseYearFileHeader(input.first(firstEnd), version, headerYear) && headerYear >= 1900)
        return headerYear;
    return 2009;
}

// The day texts as the store holds them: non-empty, one entry a day, all in the year.
inline void checkDays(const TYearContents &c, int year)
{
    std::set<double> seen;
    for (const TDayText &day : c.Days) {
        check(!day.FText.isEmpty(), "empty day text stored");
        check(seen.insert(day.FDate).second, "two entries for one day");
        check(DayNumberToDate(day.FDate).year() == year, "day of another year stored");
    }
}

} // namespace fuzz
