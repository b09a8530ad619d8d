#include "DayNumber.h"

#include <QDateTime>
#include <cmath>

QDate DayNumberToDate(double dayNumber)
{
    return QDate::fromJulianDay(
        static_cast<qint64>(std::floor(dayNumber)) + kDayNumberJulianOffset);
}

double DateToDayNumber(QDate date)
{
    return static_cast<double>(date.toJulianDay() - kDayNumberJulianOffset);
}

double DateTimeToDayNumber(const QDateTime &dateTime)
{
    const QTime t = dateTime.time();
    return DateToDayNumber(dateTime.date()) + t.msecsSinceStartOfDay() / 86400000.0;
}

QString FormatDayNumber(const QString &pattern, double dayNumber, const TWeekdayNames &weekdays)
{
    return FormatDate(pattern, DayNumberToDate(dayNumber), weekdays);
}

QString FormatDate(const QString &pattern, QDate date, const TWeekdayNames &weekdays)
{
    QString out;
    out.reserve(pattern.size() + 8);
    const auto at = [&](qsizetype i, QStringView token) {
        return QStringView(pattern).mid(i).startsWith(token, Qt::CaseInsensitive);
    };
    for (qsizetype i = 0; i < pattern.size();) {
        if (at(i, u"yyyy")) {
            out += QString::number(date.year()).rightJustified(4, u'0');
            i += 4;
        } else if (at(i, u"aaa") || at(i, u"ddd")) {
            if (date.isValid())
                out += weekdays[static_cast<size_t>(date.dayOfWeek() - 1)];
            i += 3;
        } else if (at(i, u"mm")) {
            out += QString::number(date.month()).rightJustified(2, u'0');
            i += 2;
        } else if (at(i, u"dd")) {
            out += QString::number(date.day()).rightJustified(2, u'0');
            i += 2;
        } else {
            out += pattern.at(i);
            ++i;
        }
    }
    return out;
}
