#include "WindowRules.h"

#include "Cp932.h"
#include "DayTexts.h"
#include "WindowTexts.h"

#include <QFont>
#include <algorithm>
#include <cmath>

using namespace Qt::StringLiterals;

QDate MoveByMonths(QDate date, int months)
{
    int year = date.year() + months / 12;
    int month = date.month() + months % 12;
    if (month < 1 || month > 12) {
        const int step = months < 0 ? -1 : 1;
        year += step;
        month -= 12 * step;
    }
    const QDate first(year, month, 1);
    if (!first.isValid())
        return {};
    return QDate(year, month, std::min(date.day(), first.daysInMonth()));
}

QString YearText(double dayNumber)
{
    return FormatDayNumber(u"yyyy"_s, dayNumber) + Text(wtext::kYearMark);
}

QString MonthDayText(double dayNumber)
{
    return FormatDayNumber(Text(wtext::kMonthDayPattern), dayNumber);
}

QByteArray CutToBytes(const QByteArray &cp932, qsizetype bytes)
{
    qsizetype end = 0;
    while (end < cp932.size()) {
        const qsizetype width
            = cp932::IsLeadByte(static_cast<unsigned char>(cp932[end])) && end + 1 < cp932.size()
            ? 2
            : 1;
        if (end + width > bytes)
            break;
        end += width;
    }
    return cp932.left(end);
}

QByteArray FaceNameSetting(const QString &family)
{
    return CutToBytes(cp932::Encode(family), kFaceNameBytes);
}

QString FaceNameFromSetting(const QByteArray &value)
{
    return cp932::Decode(CutToBytes(value, kFaceNameBytes));
}

int FontSizeInPoints(const QFont &font, int dpiY)
{
    double points = font.pointSizeF();
    if (points <= 0 && font.pixelSize() > 0 && dpiY > 0)
        points = font.pixelSize() * 72.0 / dpiY;
    return static_cast<int>(std::lround(points));
}

QSize ClientSizeForOuter(
    std::optional<int> width, std::optional<int> height, QSize client, QSize outer)
{
    QSize result = client;
    if (width)
        result.setWidth(*width - (outer.width() - client.width()));
    if (height)
        result.setHeight(*height - (outer.height() - client.height()));
    return result;
}

QRect FitIntoArea(QRect outer, const QRect &area)
{
    outer.setSize(outer.size().boundedTo(area.size()));
    outer.moveLeft(std::clamp(outer.left(), area.left(), area.right() + 1 - outer.width()));
    outer.moveTop(std::clamp(outer.top(), area.top(), area.bottom() + 1 - outer.height()));
    return outer;
}
