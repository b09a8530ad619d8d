#include "YearMerge.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "Messages.h"
#include "SettingValues.h"

#include <map>
#include <optional>

namespace {

QString text(const char *utf8) { return QString::fromUtf8(utf8); }

constexpr QByteArrayView kCrLf("\r\n");

// Which side a part is taken from.
enum class TPick { Own, Other, Both };

template <typename T, typename Eq>
TPick pick(const T &base, const T &own, const T &other, bool ownEmpty, bool otherEmpty, Eq same)
{
    if (same(own, other) || same(other, base))
        return TPick::Own;
    if (same(own, base))
        return TPick::Other;
    // Removed on one side and changed on the other: the change stays.
    if (ownEmpty)
        return TPick::Other;
    if (otherEmpty)
        return TPick::Own;
    return TPick::Both;
}

QByteArray joined(QByteArrayView own, QByteArrayView other)
{
    QByteArray out;
    out += WrittenDayText(own);
    out += kCrLf;
    out += BothTextsSeparator();
    out += kCrLf;
    out += other;
    return out;
}

// A preamble or the rejected lines: one text each.
QByteArray mergeWhole(
    const QByteArray &base, const QByteArray &own, const QByteArray &other, bool &both)
{
    const auto same = [](const QByteArray &a, const QByteArray &b) { return a == b; };
    switch (pick(base, own, other, own.isEmpty(), other.isEmpty(), same)) {
    case TPick::Own:
        return own;
    case TPick::Other:
        return other;
    case TPick::Both:
        break;
    }
    both = true;
    return joined(own, other);
}

using TDays = std::map<double, const QByteArray *>;

TDays byDate(const TYearContents &contents)
{
    TDays days;
    // A later entry of a day is the one that counts, as when the file is read.
    for (const TDayText &day : contents.Days)
        days[day.FDate] = &day.FText;
    return days;
}

QByteArrayView written(const TDays &days, double date)
{
    const auto it = days.find(date);
    return it == days.end() ? QByteArrayView() : WrittenDayText(*it->second);
}

std::optional<QByteArray> settingNamed(const QList<QByteArray> &settings, QByteArrayView name)
{
    for (const QByteArray &line : settings) {
        if (SameSettingName(SettingName(line), name))
            return line;
    }
    return std::nullopt;
}

QList<QByteArray> mergeSettings(
    const QList<QByteArray> &base, const QList<QByteArray> &own, const QList<QByteArray> &other)
{
    QList<QByteArray> out;
    QList<QByteArrayView> done;
    const auto seen = [&](QByteArrayView name) {
        for (QByteArrayView d : std::as_const(done)) {
            if (SameSettingName(d, name))
                return true;
        }
        return false;
    };
    const auto same = [](const std::optional<QByteArray> &a, const std::optional<QByteArray> &b) {
        return a == b;
    };
    for (const QList<QByteArray> *side : { &own, &other }) {
        for (const QByteArray &line : *side) {
            const QByteArrayView name = SettingName(line);
            if (seen(name)) {
                // A second line of one name in the diary's own list stays as it is.
                if (side == &own)
                    out << line;
                continue;
            }
            done << name;
            const std::optional<QByteArray> b = settingNamed(base, name);
            const std::optional<QByteArray> o = settingNamed(own, name);
            const std::optional<QByteArray> t = settingNamed(other, name);
            // A value changed on both sides keeps this diary's: it is the window's own now.
            const TPick chosen = pick(b, o, t, !o, !t, same);
            const std::optional<QByteArray> &taken = chosen == TPick::Other ? t : o;
            if (taken)
                out << *taken;
        }
    }
    return out;
}

} // namespace

QByteArray BothTextsSeparator() { return cp932::Encode(text(msg::kBothTextsSeparator)); }

TYearMerge MergeYears(
    const TYearContents &base, const TYearContents &own, const TYearContents &other)
{
    TYearMerge merge;
    TYearContents &out = merge.Contents;
    out.Preamble = mergeWhole(base.Preamble, own.Preamble, other.Preamble, merge.BothPreambles);
    out.ErrorData = mergeWhole(base.ErrorData, own.ErrorData, other.ErrorData, merge.BothErrorData);
    out.Settings = mergeSettings(base.Settings, own.Settings, other.Settings);

    const TDays b = byDate(base);
    const TDays o = byDate(own);
    const TDays t = byDate(other);
    std::map<double, bool> dates;
    for (const TDays *side : { &o, &t }) {
        for (const auto &entry : *side)
            dates[entry.first] = true;
    }
    const auto same = [](QByteArrayView x, QByteArrayView y) { return x == y; };
    for (const auto &entry : dates) {
        const double date = entry.first;
        const QByteArrayView ownText = written(o, date);
        const QByteArrayView otherText = written(t, date);
        const TPick chosen = pick(
            written(b, date), ownText, otherText, ownText.isEmpty(), otherText.isEmpty(), same);
        QByteArray result;
        if (chosen == TPick::Both) {
            result = joined(*o.at(date), *t.at(date));
            merge.BothTextDays.push_back(date);
        } else {
            const TDays &from = chosen == TPick::Own ? o : t;
            const auto it = from.find(date);
            if (it != from.end())
                result = *it->second;
        }
        if (HoldsDayText(result))
            out.Days.emplace_back(std::move(result), date);
    }
    return merge;
}

QString DescribeBothTexts(const TYearMerge &merge)
{
    QStringList lines;
    for (const double date : merge.BothTextDays)
        lines << FormatDayNumber(QStringLiteral("yyyy/mm/dd"), date);
    if (merge.BothPreambles)
        lines << text(msg::kBothPreambles);
    if (merge.BothErrorData)
        lines << text(msg::kBothErrorData);
    return lines.join(QStringLiteral("\r\n"));
}
