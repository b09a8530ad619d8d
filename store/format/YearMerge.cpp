#include "YearMerge.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "LineMerge.h"
#include "Messages.h"
#include "SettingValues.h"

#include <QHash>
#include <algorithm>
#include <optional>

namespace {

constexpr QByteArrayView kCrLf("\r\n");

using TParts = std::map<double, QByteArrayView>;

QByteArrayView partOf(const TParts &parts, double key)
{
    const auto it = parts.find(key);
    return it == parts.end() ? QByteArrayView() : it->second;
}

// Whether two texts hold the same lines, in whatever order: two machines that joined the same
// texts the other way round.
bool sameLines(QByteArrayView a, QByteArrayView b)
{
    QList<QByteArray> x = LinesOf(a);
    QList<QByteArray> y = LinesOf(b);
    std::sort(x.begin(), x.end());
    std::sort(y.begin(), y.end());
    return x == y;
}

// Whether 'whole' holds every line of 'part', in its order: a text that grew from the other
// without taking anything out of it.
bool holdsAllLines(QByteArrayView whole, QByteArrayView part)
{
    const QList<QByteArray> lines = LinesOf(part);
    qsizetype at = 0;
    for (const QByteArray &line : LinesOf(whole)) {
        if (at < lines.size() && line == lines[at])
            ++at;
    }
    return at == lines.size();
}

// What a version without a base of its own may be taken to have grown from, in one part: its
// lines this machine held there before or holds now, and its blank lines, in its order. Its
// other lines are new; a line held here that this side's text lacks was taken out here (or by a
// version taken in here), and that removal is newer whatever the version grew from. Nothing when
// it shares no line with what this machine knows.
std::optional<QByteArray> knownPartOf(
    const TYearMemory &memory, double key, QByteArrayView own, QByteArrayView other)
{
    const QList<QByteArray> ownLines = LinesOf(own);
    QList<QByteArray> known;
    bool any = false;
    for (const QByteArray &line : LinesOf(other)) {
        const bool blank = line.trimmed().isEmpty();
        if (blank || ownLines.contains(line) || memory.HeldLineBefore(key, line)) {
            known << line;
            any = any || !blank;
        }
    }
    if (!any)
        return std::nullopt;
    return known.join("\r\n");
}

// The merged text of one part, and whether it holds both.
QByteArray mergePart(const TYearMemory &memory, const TOtherVersion &known,
    const std::optional<TParts> &base, double key, QByteArrayView own, QByteArrayView other,
    bool &both)
{
    const QByteArrayView o = WrittenDayText(own);
    const QByteArrayView t = WrittenDayText(other);
    if (SameText(o, t))
        return own.toByteArray();
    // The same lines joined the other way round on another machine: the year file's order
    // settles both.
    if (known.NewerSettings && sameLines(o, t))
        return other.toByteArray();
    std::optional<QByteArrayView> from;
    // Against a base that only bounds what the other version grew from, a part it lacks says
    // nothing, and a part this side changed since, or that the other took lines out of, is
    // merged as one without base: what looks removed there may never have been seen there.
    const bool bounded = base && known.BaseIsBound
        && (t.isEmpty() || !SameText(o, partOf(*base, key))
            || !holdsAllLines(t, partOf(*base, key)));
    std::optional<QByteArray> grewFrom;
    if (bounded || (!base && !known.PartBase.count(key))) {
        if (t.isEmpty() || memory.HeldBefore(key, t))
            return own.toByteArray();
        grewFrom = knownPartOf(memory, key, o, t);
        if (grewFrom)
            from = QByteArrayView(*grewFrom);
    } else if (base) {
        from = partOf(*base, key);
        // A copy that went back to a text this side held and moved on from brings it back no
        // more than one without base. The year file's next version is taken as it changed.
        if (!known.NewerSettings && !t.isEmpty() && !SameText(t, *from) && memory.HeldBefore(key, t)
            && !sameLines(o, t))
            return own.toByteArray();
    } else {
        from = QByteArrayView(known.PartBase.at(key));
    }
    TLineMerge merged = MergeLines(from, o, t);
    both = merged.Both;
    if (SameText(merged.Text, o))
        return own.toByteArray();
    if (SameText(merged.Text, t))
        return other.toByteArray();
    return merged.Text;
}

std::optional<QByteArray> settingNamed(const QList<QByteArray> &settings, QByteArrayView name)
{
    for (const QByteArray &line : settings) {
        if (SameSettingName(SettingName(line), name))
            return line;
    }
    return std::nullopt;
}

bool listed(const QList<QByteArrayView> &names, QByteArrayView name)
{
    for (const QByteArrayView n : names) {
        if (SameSettingName(n, name))
            return true;
    }
    return false;
}

// A copy's values are older ones: only the year file's next version changes a setting here.
QList<QByteArray> mergeSettings(const QList<QByteArray> &base, const QList<QByteArray> &own,
    const QList<QByteArray> &other, bool takeChanged)
{
    QList<QByteArray> out;
    QList<QByteArrayView> done;
    for (const QByteArray &line : own) {
        const QByteArrayView name = SettingName(line);
        if (listed(done, name)) {
            out << line;
            continue;
        }
        done << name;
        const std::optional<QByteArray> theirs = settingNamed(other, name);
        const bool changedHere = settingNamed(base, name) != line;
        out << (theirs && takeChanged && !changedHere ? *theirs : line);
    }
    for (const QByteArray &line : other) {
        const QByteArrayView name = SettingName(line);
        if (listed(done, name))
            continue;
        done << name;
        // One this side removed stays removed.
        if (!settingNamed(base, name))
            out << line;
    }
    return out;
}

} // namespace

QByteArray BothTextsSeparator() { return cp932::Encode(Text(msg::kBothTextsSeparator)); }

TYearMerge MergeYears(const TYearMemory &memory, const TYearContents &own,
    const TYearContents &other, const TOtherVersion &known)
{
    TYearMerge merge;
    TYearContents &out = merge.Contents;
    out.Settings = mergeSettings(known.Base ? known.Base->Settings : memory.Agreed().Settings,
        own.Settings, other.Settings, known.NewerSettings);

    const TParts o = PartsOf(own);
    const TParts t = PartsOf(other);
    std::optional<TParts> base;
    if (known.Base)
        base = PartsOf(*known.Base);
    std::set<double> keys;
    for (const TParts *side : { &o, &t }) {
        for (const auto &entry : *side)
            keys.insert(entry.first);
    }
    for (const double key : keys) {
        const QByteArrayView ownText = partOf(o, key);
        bool both = false;
        QByteArray result = mergePart(memory, known, base, key, ownText, partOf(t, key), both);
        if (key == kPreamblePart) {
            out.Preamble = std::move(result);
            merge.BothPreambles = both;
        } else if (key == kErrorDataPart) {
            out.ErrorData = std::move(result);
            merge.BothErrorData = both;
        } else {
            if (both) {
                // Ended as a day's text read from the year file ends.
                result += kCrLf;
                merge.BothTextDays.push_back(key);
            }
            if (!SameText(result, ownText))
                merge.ChangedDays.push_back(key);
            if (!SameText(result, partOf(t, key)))
                merge.KeptDays.push_back(key);
            if (HoldsDayText(result))
                out.Days.emplace_back(std::move(result), key);
        }
    }
    return merge;
}

TYearMerge MergeYears(
    const TYearContents &base, const TYearContents &own, const TYearContents &other)
{
    TYearMemory memory;
    memory.Agree(base, false);
    return MergeYears(memory, own, other, memory.ForYearFile(other));
}

namespace {

QByteArray editedFromName(double date)
{
    return "RECOVERY-FROM-" + FormatDayNumber(QStringLiteral("yyyymmdd"), date, {}).toLatin1();
}

} // namespace

TYearContents UnsavedDays(const TYearContents &saved, const std::vector<TDayText> &shown)
{
    TParts before = PartsOf(saved);
    before.erase(kPreamblePart);
    before.erase(kErrorDataPart);
    TYearContents unsaved;
    const auto editedFrom = [&unsaved](double date, QByteArrayView edited) {
        unsaved.Settings << editedFromName(date) + '=' + edited.toByteArray().toBase64();
    };
    for (const TDayText &day : shown) {
        const QByteArrayView edited = WrittenDayText(partOf(before, day.FDate));
        before.erase(day.FDate);
        if (SameText(day.FText, edited))
            continue;
        if (HoldsDayText(day.FText))
            unsaved.Days.emplace_back(WrittenDayText(day.FText).toByteArray(), day.FDate);
        if (!edited.isEmpty())
            editedFrom(day.FDate, edited);
    }
    // A day emptied since the year file held it.
    for (const auto &[date, text] : before) {
        if (HoldsDayText(text))
            editedFrom(date, WrittenDayText(text));
    }
    return unsaved;
}

TYearContents RecoveredDays(const TYearContents &recovered, TOtherVersion &known)
{
    TYearContents days;
    days.Days = recovered.Days;
    for (const TDayText &day : recovered.Days)
        known.PartBase[day.FDate] = QByteArray();
    const QByteArray prefix = "RECOVERY-FROM-";
    for (const QByteArray &line : recovered.Settings) {
        const qsizetype equals = line.indexOf('=');
        if (!line.startsWith(prefix) || equals < 0)
            continue;
        const QDate date = QDate::fromString(
            QString::fromLatin1(line.mid(prefix.size(), equals - prefix.size())),
            QStringLiteral("yyyyMMdd"));
        if (date.isValid())
            known.PartBase[DateToDayNumber(date)] = QByteArray::fromBase64(line.mid(equals + 1));
    }
    return days;
}

QString DescribeChangedDays(const std::vector<double> &days)
{
    QStringList lines;
    for (const double date : days)
        lines << FormatDayNumber(QStringLiteral("yyyy/mm/dd"), date, {});
    return lines.join(QStringLiteral("\r\n"));
}

QString DescribeBothTexts(const TYearMerge &merge)
{
    QStringList lines;
    for (const double date : merge.BothTextDays)
        lines << FormatDayNumber(QStringLiteral("yyyy/mm/dd"), date, {});
    if (merge.BothPreambles)
        lines << Text(msg::kBothPreambles);
    if (merge.BothErrorData)
        lines << Text(msg::kBothErrorData);
    return lines.join(QStringLiteral("\r\n"));
}
