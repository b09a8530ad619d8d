#include "YearFileName.h"

#include <algorithm>

namespace {

std::optional<int> fourDigits(QStringView digits)
{
    if (digits.size() != 4 || !std::all_of(digits.begin(), digits.end(), [](QChar c) {
            return c >= u'0' && c <= u'9';
        }))
        return std::nullopt;
    return digits.toInt();
}

} // namespace

QString TYearFileName::Digits(int year)
{
    return QStringLiteral("%1").arg(year, 4, 10, QLatin1Char('0'));
}

QString TYearFileName::Of(int year) const { return Prefix + Digits(year) + Ext; }

std::optional<int> TYearFileName::YearOf(QStringView name, QStringView tail) const
{
    if (name.size() != Prefix.size() + 4 + tail.size() || !name.startsWith(Prefix)
        || !name.endsWith(tail))
        return std::nullopt;
    return fourDigits(name.sliced(Prefix.size(), 4));
}

std::optional<TYearFileName::TSplit> TYearFileName::Split(QStringView name)
{
    const qsizetype dot = name.lastIndexOf(u'.');
    const QStringView stem = dot >= 0 ? name.left(dot) : name;
    const std::optional<int> year = fourDigits(stem.right(4));
    if (name.isEmpty() || !year)
        return std::nullopt;
    return TSplit { { stem.chopped(4).toString(), dot >= 0 ? name.mid(dot).toString() : QString() },
        *year };
}
