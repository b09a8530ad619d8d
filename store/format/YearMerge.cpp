#include "YearMerge.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "Messages.h"
#include "SettingValues.h"

#include <QHash>
#include <algorithm>
#include <optional>

namespace {

constexpr QByteArrayView kCrLf("\r\n");

using TParts = std::map<double, QByteArrayView>;

// Each part of a year by its key: days by date (a later entry of a day is the one that counts,
// as when the file is read), the preamble and the rejected lines when they hold anything.
TParts partsOf(const TYearContents &contents)
{
    TParts parts;
    if (!contents.Preamble.isEmpty())
        parts[kPreamblePart] = contents.Preamble;
    if (!contents.ErrorData.isEmpty())
        parts[kErrorDataPart] = contents.ErrorData;
    for (const TDayText &day : contents.Days)
        parts[day.FDate] = day.FText;
    return parts;
}

QByteArrayView partOf(const TParts &parts, double key)
{
    const auto it = parts.find(key);
    return it == parts.end() ? QByteArrayView() : it->second;
}

QList<QByteArrayView> linesOf(QByteArrayView text)
{
    QList<QByteArrayView> lines;
    if (text.isEmpty())
        return lines;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(kCrLf, from);
        if (at < 0) {
            lines << text.sliced(from);
            return lines;
        }
        lines << text.sliced(from, at - from);
        from = at + kCrLf.size();
    }
}

// Whether the lines of 'part' stand among those of 'whole' in their order.
bool holdsLines(const QList<QByteArrayView> &whole, const QList<QByteArrayView> &part)
{
    qsizetype i = 0;
    for (const QByteArrayView line : whole) {
        if (i < part.size() && line == part[i])
            ++i;
    }
    return i == part.size();
}

QByteArray joinLines(const QList<QByteArrayView> &lines, qsizetype from, qsizetype to)
{
    QByteArray out;
    for (qsizetype i = from; i < to; ++i) {
        if (i > from)
            out += kCrLf;
        out += lines[i];
    }
    return out;
}

// Both texts, what they share at the beginning and the end once, the differing parts around the
// separator line in an order that does not depend on which side is which.
QByteArray joined(const QList<QByteArrayView> &a, const QList<QByteArrayView> &b)
{
    qsizetype head = 0;
    while (head < a.size() && head < b.size() && a[head] == b[head])
        ++head;
    qsizetype tail = 0;
    while (tail < a.size() - head && tail < b.size() - head
        && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
        ++tail;
    QList<QByteArrayView> first = a.mid(head, a.size() - head - tail);
    QList<QByteArrayView> second = b.mid(head, b.size() - head - tail);
    if (joinLines(second, 0, second.size()) < joinLines(first, 0, first.size()))
        std::swap(first, second);
    // A line the first part holds already stands there once.
    for (const QByteArrayView line : std::as_const(first)) {
        const qsizetype at = second.indexOf(line);
        if (at >= 0)
            second.removeAt(at);
    }
    QList<QByteArray> out;
    if (head > 0)
        out << joinLines(a, 0, head);
    out << joinLines(first, 0, first.size());
    if (!second.isEmpty())
        out << BothTextsSeparator() << joinLines(second, 0, second.size());
    if (tail > 0)
        out << joinLines(a, a.size() - tail, a.size());
    return out.join(kCrLf);
}

bool heldHash(const std::map<double, std::set<size_t>> &held, double key, size_t hash)
{
    const auto it = held.find(key);
    return it != held.end() && it->second.count(hash) > 0;
}

std::optional<size_t> hashAt(const std::map<double, size_t> &hashes, double key)
{
    const auto it = hashes.find(key);
    return it == hashes.end() ? std::nullopt : std::optional<size_t>(it->second);
}

enum class TPick { Own, Other, Both };

TPick pick(const TYearHistory &history, const TOtherVersion &known, double key, QByteArrayView own,
    QByteArrayView other)
{
    const QByteArrayView o = WrittenDayText(own);
    const QByteArrayView t = WrittenDayText(other);
    if (o == t)
        return TPick::Own;
    const size_t ownHash = PartHash(o);
    if (t.isEmpty()) {
        // Not seen there, unless the year file's next version lacks what it had and this side
        // left unchanged.
        const bool clearedThere = known.AbsentIsCleared && hashAt(known.GrewFrom, key) == ownHash;
        return clearedThere ? TPick::Other : TPick::Own;
    }
    const size_t otherHash = PartHash(t);
    if (o.isEmpty() && known.SawOwnWrite && !hashAt(known.GrewFrom, key))
        return TPick::Other;
    // Left as it grew there, or changed there only.
    if (hashAt(known.GrewFrom, key) == otherHash)
        return TPick::Own;
    if (!o.isEmpty() && hashAt(known.GrewFrom, key) == ownHash)
        return TPick::Other;
    const QList<QByteArrayView> otherLines = linesOf(t);
    const auto last = history.Last.find(key);
    if (heldHash(history.Held, key, otherHash)
        || (last != history.Last.end() && holdsLines(linesOf(last->second), otherLines)))
        return TPick::Own;
    const QList<QByteArrayView> ownLines = linesOf(o);
    if (holdsLines(ownLines, otherLines))
        return TPick::Own;
    if (holdsLines(otherLines, ownLines))
        return TPick::Other;
    return TPick::Both;
}

// The merged text of one part, and whether it holds both.
QByteArray mergePart(const TYearHistory &history, const TOtherVersion &known, double key,
    QByteArrayView own, QByteArrayView other, bool &both)
{
    switch (pick(history, known, key, own, other)) {
    case TPick::Own:
        return own.toByteArray();
    case TPick::Other:
        return other.toByteArray();
    case TPick::Both:
        break;
    }
    both = true;
    return joined(linesOf(WrittenDayText(own)), linesOf(WrittenDayText(other)));
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

size_t PartHash(QByteArrayView text) { return qHash(WrittenDayText(text), size_t(0x6b69766c)); }

void TYearHistory::Read(const TYearContents &contents, bool elsewhere)
{
    // Once read, that version is what the other side is known to have, also of this diary's
    // last write.
    if (elsewhere && Known(contents).SawOwnWrite)
        Brought.clear();
    Base = contents;
    Saw(contents);
    if (!elsewhere)
        return;
    Elsewhere.clear();
    for (const auto &[key, part] : partsOf(contents))
        Elsewhere[key] = PartHash(part);
}

void TYearHistory::Wrote(const TYearContents &contents)
{
    Base = contents;
    Written.clear();
    std::set<std::pair<double, size_t>> brought;
    for (const auto &[key, part] : partsOf(contents)) {
        const size_t hash = PartHash(part);
        Written[key] = hash;
        if (!heldHash(Held, key, hash))
            brought.insert({ key, hash });
    }
    // A write that brought nothing (a day cleared, the same year again) leaves the earlier
    // write's texts as the sign of a version that grew from this diary's.
    if (!brought.empty())
        Brought.swap(brought);
    Saw(contents);
}

TOtherVersion TYearHistory::Known(const TYearContents &other) const
{
    TOtherVersion known;
    known.AbsentIsCleared = true;
    for (const auto &[key, part] : partsOf(other)) {
        if (Brought.count({ key, PartHash(part) }))
            known.SawOwnWrite = true;
    }
    known.GrewFrom = known.SawOwnWrite ? Written : Elsewhere;
    return known;
}

void TYearHistory::Saw(const TYearContents &contents)
{
    for (const auto &[key, part] : partsOf(contents)) {
        if (HoldsDayText(part)) {
            Held[key].insert(PartHash(part));
            Last[key] = WrittenDayText(part).toByteArray();
        }
    }
}

void TYearHistory::GaveWay(const TYearContents &own, const TYearMerge &merge)
{
    const TParts parts = partsOf(own);
    for (const double day : merge.ChangedDays) {
        if (!std::binary_search(merge.BothTextDays.begin(), merge.BothTextDays.end(), day))
            Held[day].erase(PartHash(partOf(parts, day)));
    }
}

QByteArray BothTextsSeparator() { return cp932::Encode(Text(msg::kBothTextsSeparator)); }

TYearMerge MergeYears(const TYearHistory &history, const TYearContents &own,
    const TYearContents &other, const TOtherVersion &known)
{
    TYearMerge merge;
    TYearContents &out = merge.Contents;
    out.Settings
        = mergeSettings(history.Base.Settings, own.Settings, other.Settings, known.AbsentIsCleared);

    const TParts o = partsOf(own);
    const TParts t = partsOf(other);
    std::set<double> keys;
    for (const TParts *side : { &o, &t }) {
        for (const auto &entry : *side)
            keys.insert(entry.first);
    }
    for (const double key : keys) {
        const QByteArrayView ownText = partOf(o, key);
        bool both = false;
        QByteArray result = mergePart(history, known, key, ownText, partOf(t, key), both);
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
            if (WrittenDayText(result) != WrittenDayText(ownText))
                merge.ChangedDays.push_back(key);
            if (WrittenDayText(result) != WrittenDayText(partOf(t, key)))
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
    TYearHistory history;
    history.Read(base, true);
    return MergeYears(history, own, other, history.Known(other));
}

namespace {

QByteArray editedFromName(double date)
{
    return "RECOVERY-FROM-" + FormatDayNumber(QStringLiteral("yyyymmdd"), date, {}).toLatin1();
}

} // namespace

TYearContents UnsavedDays(const TYearHistory &history, const std::vector<TDayText> &shown)
{
    const TParts saved = partsOf(history.Base);
    TYearContents unsaved;
    for (const TDayText &day : shown) {
        const QByteArrayView edited = WrittenDayText(partOf(saved, day.FDate));
        if (WrittenDayText(day.FText) == edited)
            continue;
        unsaved.Days.emplace_back(WrittenDayText(day.FText).toByteArray(), day.FDate);
        if (!edited.isEmpty())
            unsaved.Settings << editedFromName(day.FDate) + '=' + edited.toByteArray().toBase64();
    }
    return unsaved;
}

TYearContents RecoveredDays(const TYearContents &recovered, TOtherVersion &known)
{
    TYearContents days;
    days.Days = recovered.Days;
    for (const TDayText &day : recovered.Days) {
        const QByteArray name = editedFromName(day.FDate) + '=';
        QByteArray from;
        for (const QByteArray &line : recovered.Settings) {
            if (line.startsWith(name))
                from = QByteArray::fromBase64(line.mid(name.size()));
        }
        known.GrewFrom[day.FDate] = PartHash(from);
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
