#include "LineMerge.h"

#include "Cp932.h"
#include "YearFile.h"
#include "YearMemory.h"
#include "YearMerge.h"

#include <QHash>
#include <QList>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

namespace {

constexpr QByteArrayView kCrLf("\r\n");

// The most cells of the table of a shortest edit: 4 MB. Beyond it the lines between what two
// texts share at the beginning and the end count as one changed run.
constexpr qsizetype kMaxEditCells = 4'000'000;
// What a line that is not blank counts for when two texts are aligned; a blank line counts 1.
constexpr int kLineWeight = 1024;

// Lines as numbers, equal for lines that read the same: most lines hold no '&' and are their
// bytes; one with a reference is compared by its characters. Blank lines have keys below zero.
class TLineKeys {
public:
    int Of(QByteArrayView line)
    {
        if (!line.contains('&'))
            return keyIn(FBytes, line.toByteArray());
        return keyIn(FDecoded, cp932::DecodeLossless(line));
    }

private:
    template <typename K> int keyIn(QHash<K, int> &keys, K key)
    {
        const auto it = keys.constFind(key);
        if (it != keys.constEnd())
            return *it;
        const int next = key.trimmed().isEmpty() ? -++FBlanks : FNext++;
        keys.insert(std::move(key), next);
        return next;
    }
    QHash<QByteArray, int> FBytes;
    QHash<QString, int> FDecoded;
    int FNext = 0;
    int FBlanks = 0;
};

struct TLines {
    QList<QByteArrayView> Text;
    std::vector<int> Keys;
};

TLines linesOf(QByteArrayView text, TLineKeys &keys)
{
    TLines lines;
    if (text.isEmpty())
        return lines;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = text.indexOf(kCrLf, from);
        const QByteArrayView line = text.sliced(from, (at < 0 ? text.size() : at) - from);
        lines.Text << line;
        lines.Keys.push_back(keys.Of(line));
        if (at < 0)
            return lines;
        from = at + kCrLf.size();
    }
}

using TKeys = std::vector<int>;
using TSpan = std::pair<qsizetype, qsizetype>; // [first, second) of a text's lines

bool sameKeys(const TKeys &a, TSpan sa, const TKeys &b, TSpan sb)
{
    return std::equal(
        a.begin() + sa.first, a.begin() + sa.second, b.begin() + sb.first, b.begin() + sb.second);
}

// Whether the lines of 'part' stand among those of 'whole' in their order.
bool holdsInOrder(const TKeys &whole, TSpan w, const TKeys &part, TSpan p)
{
    qsizetype i = p.first;
    for (qsizetype j = w.first; j < w.second && i < p.second; ++j) {
        if (whole[j] == part[i])
            ++i;
    }
    return i == p.second;
}

bool holdsKey(const TKeys &keys, TSpan s, int key)
{
    return std::find(keys.begin() + s.first, keys.begin() + s.second, key)
        != keys.begin() + s.second;
}

bool onlyBlank(const TKeys &keys, TSpan s)
{
    return std::all_of(
        keys.begin() + s.first, keys.begin() + s.second, [](int k) { return k < 0; });
}

// A run of lines one side changed: base lines [BaseFrom, BaseTo) became [SideFrom, SideTo).
struct THunk {
    qsizetype BaseFrom, BaseTo, SideFrom, SideTo;
    bool Own;
};

// The runs of a shortest edit from 'base' to 'side' (fewest lines removed and added). Between
// two runs stands at least one line both keep.
std::vector<THunk> changedRuns(const TKeys &base, const TKeys &side, bool own)
{
    const qsizetype baseSize = qsizetype(base.size());
    const qsizetype sideSize = qsizetype(side.size());
    qsizetype head = 0;
    while (head < baseSize && head < sideSize && base[head] == side[head])
        ++head;
    // Lines are matched as early as they can be, so that a change both sides made is found at
    // the same place in both edits. The lines both end with are set aside only where the table
    // would be too large.
    qsizetype tail = 0;
    if ((baseSize - head) * (sideSize - head) > kMaxEditCells) {
        while (tail < baseSize - head && tail < sideSize - head
            && base[baseSize - 1 - tail] == side[sideSize - 1 - tail])
            ++tail;
    }
    const qsizetype n = baseSize - head - tail;
    const qsizetype m = sideSize - head - tail;
    std::vector<THunk> runs;
    if (n == 0 && m == 0)
        return runs;
    if (n == 0 || m == 0 || n * m > kMaxEditCells) {
        runs.push_back({ head, head + n, head, head + m, own });
        return runs;
    }
    // Longest common lines of the suffixes, row by row from the end; each cell keeps its step:
    // 0 keep the line, 1 remove the base line, 2 add the side line. Additions go first, so that
    // the base's lines are matched as early as they can be, as the lines both begin with are.
    // A blank line counts for little: two texts are aligned at the lines that say something,
    // not at the blank lines between them.
    std::vector<std::uint8_t> step(size_t(n * m));
    std::vector<int> below(size_t(m + 1), 0), row(size_t(m + 1), 0);
    for (qsizetype i = n - 1; i >= 0; --i) {
        row[size_t(m)] = 0;
        for (qsizetype j = m - 1; j >= 0; --j) {
            std::uint8_t &s = step[size_t(i * m + j)];
            if (base[head + i] == side[head + j]) {
                row[size_t(j)] = below[size_t(j + 1)] + (base[head + i] < 0 ? 1 : kLineWeight);
                s = 0;
            } else if (below[size_t(j)] > row[size_t(j + 1)]) {
                row[size_t(j)] = below[size_t(j)];
                s = 1;
            } else {
                row[size_t(j)] = row[size_t(j + 1)];
                s = 2;
            }
        }
        std::swap(row, below);
    }
    qsizetype i = 0, j = 0;
    while (i < n || j < m) {
        if (i < n && j < m && step[size_t(i * m + j)] == 0) {
            ++i;
            ++j;
            continue;
        }
        THunk run { head + i, 0, head + j, 0, own };
        while ((i < n || j < m) && !(i < n && j < m && step[size_t(i * m + j)] == 0)) {
            if (j == m || (i < n && step[size_t(i * m + j)] == 1))
                ++i;
            else
                ++j;
        }
        run.BaseTo = head + i;
        run.SideTo = head + j;
        runs.push_back(run);
    }
    return runs;
}

class TOutput {
public:
    void Add(const TLines &lines, TSpan s)
    {
        for (qsizetype i = s.first; i < s.second; ++i)
            FLines << lines.Text[i];
    }
    void AddSeparator() { FLines << FSeparator; }
    TLineMerge Result(bool both) const
    {
        QByteArray text;
        for (qsizetype i = 0; i < FLines.size(); ++i) {
            if (i > 0)
                text += kCrLf;
            text += FLines[i];
        }
        text.truncate(WrittenDayText(text).size());
        return { text, both };
    }

private:
    QByteArray FSeparator = BothTextsSeparator();
    QList<QByteArrayView> FLines;
};

// Both versions of the lines, the lines they share at the beginning and the end once, and of
// the other's lines only those that differ (a line this side's run holds as well stands once).
// Whether both stand: not when this side's lines hold all of the other's.
bool addBoth(TOutput &out, const TLines &own, TSpan o, const TLines &other, TSpan t)
{
    qsizetype head = 0;
    while (o.first + head < o.second && t.first + head < t.second
        && own.Keys[o.first + head] == other.Keys[t.first + head])
        ++head;
    qsizetype tail = 0;
    while (o.second - tail > o.first + head && t.second - tail > t.first + head
        && own.Keys[o.second - 1 - tail] == other.Keys[t.second - 1 - tail])
        ++tail;
    std::map<int, int> mine;
    for (qsizetype i = o.first + head; i < o.second - tail; ++i)
        ++mine[own.Keys[i]];
    std::vector<qsizetype> differing;
    for (qsizetype i = t.first + head; i < t.second - tail; ++i) {
        if (mine[other.Keys[i]]-- <= 0)
            differing.push_back(i);
    }
    out.Add(own, { o.first, o.second - tail });
    if (!differing.empty())
        out.AddSeparator();
    for (const qsizetype i : differing)
        out.Add(other, { i, i + 1 });
    out.Add(own, { o.second - tail, o.second });
    return !differing.empty();
}

// The lines of 'side' in 's' that are not lines of 'base' in 'b' it kept.
void addAdded(TOutput &out, const TLines &base, TSpan b, const TLines &side, TSpan s)
{
    const TKeys baseKeys(base.Keys.begin() + b.first, base.Keys.begin() + b.second);
    const TKeys sideKeys(side.Keys.begin() + s.first, side.Keys.begin() + s.second);
    for (const THunk &run : changedRuns(baseKeys, sideKeys, false))
        out.Add(side, { s.first + run.SideFrom, s.first + run.SideTo });
}

TLineMerge mergeWithBase(const TLines &base, const TLines &own, const TLines &other, int separator)
{
    std::vector<THunk> runs = changedRuns(base.Keys, own.Keys, true);
    const std::vector<THunk> theirs = changedRuns(base.Keys, other.Keys, false);
    runs.insert(runs.end(), theirs.begin(), theirs.end());
    std::stable_sort(runs.begin(), runs.end(), [](const THunk &a, const THunk &b) {
        return a.BaseFrom != b.BaseFrom ? a.BaseFrom < b.BaseFrom : a.BaseTo < b.BaseTo;
    });
    TOutput out;
    bool both = false;
    // Where each side's lines stand against the base's past the runs done so far.
    qsizetype ownShift = 0, otherShift = 0, done = 0;
    for (size_t r = 0; r < runs.size();) {
        // Runs that overlap or touch go together.
        const size_t first = r;
        const qsizetype from = runs[r].BaseFrom;
        qsizetype to = runs[r].BaseTo;
        // The unchanged lines before them.
        out.Add(own, { done + ownShift, from + ownShift });
        const qsizetype ownFrom = from + ownShift, otherFrom = from + otherShift;
        bool byOwn = false, byOther = false;
        // A run that only touches the group goes with it, unless it is lines one side added
        // where the other only removed or replaced lines (or the other way round) and the two
        // share no line: a line removed at the end of a day while the other side wrote more
        // after it stays removed, the other's lines added.
        const auto apart = [&](const THunk &next) {
            if (next.BaseFrom != to || next.Own == runs[r - 1].Own || (byOwn && byOther))
                return false;
            const THunk &last = runs[r - 1];
            const bool nextAdds = next.BaseFrom == next.BaseTo;
            const bool lastAdds = last.BaseFrom == last.BaseTo;
            if (nextAdds == lastAdds)
                return false;
            const TLines &nextSide = next.Own ? own : other;
            const TLines &lastSide = last.Own ? own : other;
            for (qsizetype i = next.SideFrom; i < next.SideTo; ++i) {
                if (holdsKey(lastSide.Keys, { last.SideFrom, last.SideTo }, nextSide.Keys[i]))
                    return false;
            }
            return true;
        };
        for (; r < runs.size() && runs[r].BaseFrom <= to; ++r) {
            if (r != first && apart(runs[r]))
                break;
            const THunk &run = runs[r];
            to = std::max(to, run.BaseTo);
            const qsizetype grown = (run.SideTo - run.SideFrom) - (run.BaseTo - run.BaseFrom);
            (run.Own ? ownShift : otherShift) += grown;
            (run.Own ? byOwn : byOther) = true;
        }
        const TSpan o { ownFrom, to + ownShift };
        const TSpan t { otherFrom, to + otherShift };
        if (!byOther || sameKeys(own.Keys, o, other.Keys, t)) {
            out.Add(own, o);
        } else if (!byOwn) {
            out.Add(other, t);
        } else if (o.first == o.second || t.first == t.second) {
            // Lines removed on one side and rewritten on the other: the rewriting's own lines
            // stand, the lines of the base it kept stay removed.
            const bool ownRemoved = o.first == o.second;
            addAdded(out, base, { from, to }, ownRemoved ? other : own, ownRemoved ? t : o);
        } else if (holdsKey(own.Keys, o, separator) && holdsInOrder(own.Keys, o, other.Keys, t)) {
            out.Add(own, o);
        } else if (holdsKey(other.Keys, t, separator) && holdsInOrder(other.Keys, t, own.Keys, o)) {
            out.Add(other, t);
        } else if (holdsInOrder(other.Keys, t, own.Keys, o)) {
            // The other side's lines there hold all of this side's: what this side wrote came
            // to it by another way.
            out.Add(other, t);
        } else if (holdsInOrder(own.Keys, o, other.Keys, t)) {
            out.Add(own, o);
        } else if (onlyBlank(own.Keys, o) || onlyBlank(other.Keys, t)) {
            // Blank lines on one side say nothing to set apart: both stand, this side's first.
            out.Add(own, o);
            out.Add(other, t);
        } else {
            both = addBoth(out, own, o, other, t) || both;
        }
        done = to;
    }
    out.Add(own, { done + ownShift, qsizetype(own.Keys.size()) });
    return out.Result(both);
}

bool sameLinesInAnyOrder(TKeys a, TKeys b)
{
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return a == b;
}

} // namespace

// Texts that hold both already, merged block by block (the parts between separator lines): each
// block of the base with what each side made of it (the block of that side sharing most of its
// lines), merged line by line; a block one side removed goes, but for the lines the other added to
// it; the other blocks of both sides stand, a block that another holds in order once. This side's
// first block stands first (the year file's for its next version, so that two machines settle), the
// others in the order of their bytes: versions taken in in any order end alike.
QList<QByteArray> blocksIn(QByteArrayView text)
{
    QList<QByteArray> blocks { QByteArray() };
    const QByteArray separator = BothTextsSeparator();
    for (const QByteArray &line : text.toByteArray().split('\n')) {
        const QByteArray bare = line.endsWith('\r') ? line.chopped(1) : line;
        if (bare == separator) {
            blocks << QByteArray();
            continue;
        }
        if (!blocks.back().isEmpty())
            blocks.back() += kCrLf;
        blocks.back() += bare;
    }
    QList<QByteArray> written;
    for (const QByteArray &block : std::as_const(blocks)) {
        // Blank lines around a block are the separator's, not the block's.
        QByteArray trimmed = WrittenDayText(block).toByteArray();
        while (trimmed.startsWith(kCrLf.toByteArray()))
            trimmed.remove(0, kCrLf.size());
        if (!trimmed.isEmpty())
            written << trimmed;
    }
    return written;
}

QList<QByteArray> bareLines(QByteArrayView text)
{
    QList<QByteArray> lines = text.toByteArray().split('\n');
    for (QByteArray &line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    return lines;
}

int sharedLines(QByteArrayView a, QByteArrayView b)
{
    const QList<QByteArray> x = bareLines(a);
    QList<QByteArray> y = bareLines(b);
    int shared = 0;
    for (const QByteArray &line : x) {
        if (line.trimmed().isEmpty())
            continue;
        const qsizetype at = y.indexOf(line);
        if (at >= 0) {
            ++shared;
            y.removeAt(at);
        }
    }
    return shared;
}

// The block of 'blocks' not used yet that shares most lines with 'text', -1 for none.
qsizetype closest(
    const QList<QByteArray> &blocks, const std::vector<bool> &used, QByteArrayView text)
{
    qsizetype best = -1;
    int most = 0;
    for (qsizetype i = 0; i < blocks.size(); ++i) {
        if (used[size_t(i)])
            continue;
        if (SameText(blocks[i], text))
            return i;
        const int shared = sharedLines(blocks[i], text);
        if (shared > most) {
            most = shared;
            best = i;
        }
    }
    return best;
}

TLineMerge mergeBlocks(std::optional<QByteArrayView> base, QByteArrayView wholeOwn,
    QByteArrayView wholeOther, bool otherFirst)
{
    // The lines all share at the beginning and the end stand once, around the blocks.
    const auto split = [](QByteArrayView text) {
        QList<QByteArray> lines = text.toByteArray().split('\n');
        for (QByteArray &line : lines) {
            if (line.endsWith('\r'))
                line.chop(1);
        }
        return lines;
    };
    const QList<QByteArray> ownLines = split(wholeOwn);
    const QList<QByteArray> otherLines = split(wholeOther);
    const QList<QByteArray> baseLines = base ? split(*base) : QList<QByteArray>();
    const auto shared = [&](qsizetype i, bool fromEnd) {
        const auto at = [fromEnd, i](const QList<QByteArray> &lines) -> const QByteArray * {
            const qsizetype n = lines.size();
            if (i >= n)
                return nullptr;
            return &lines[fromEnd ? n - 1 - i : i];
        };
        const QByteArray *o = at(ownLines);
        const QByteArray *t = at(otherLines);
        if (!o || !t || *o != *t || *o == BothTextsSeparator())
            return false;
        const QByteArray *b = base ? at(baseLines) : nullptr;
        return !base || (b && *b == *o);
    };
    qsizetype head = 0;
    while (shared(head, false))
        ++head;
    qsizetype tail = 0;
    while (tail < ownLines.size() - head && tail < otherLines.size() - head
        && (!base || tail < baseLines.size() - head) && shared(tail, true))
        ++tail;
    const auto middle = [head, tail](const QList<QByteArray> &lines) {
        return lines.mid(head, std::max<qsizetype>(0, lines.size() - head - tail)).join("\r\n");
    };
    const QByteArray own = middle(ownLines);
    const QByteArray other = middle(otherLines);
    const QByteArray baseMiddle = middle(baseLines);
    if (base)
        base = QByteArrayView(baseMiddle);
    const auto around = [&](TLineMerge merged) {
        QList<QByteArray> parts;
        if (head > 0)
            parts << ownLines.mid(0, head).join("\r\n");
        if (!merged.Text.isEmpty())
            parts << merged.Text;
        if (tail > 0)
            parts << ownLines.mid(ownLines.size() - tail).join("\r\n");
        // No line stands more often than one side wrote it: where the sides cut their blocks
        // differently, a line two blocks hold stands in the first of them.
        std::map<QByteArray, qsizetype> allowed;
        for (const QList<QByteArray> *side : { &ownLines, &otherLines }) {
            std::map<QByteArray, qsizetype> count;
            for (const QByteArray &line : *side)
                ++count[line];
            for (const auto &[line, n] : count)
                allowed[line] = std::max(allowed[line], n);
        }
        const QByteArray separator = BothTextsSeparator();
        QList<QByteArray> lines;
        for (const QByteArray &line : split(parts.join("\r\n"))) {
            if (line.trimmed().isEmpty() || line == separator) {
                // An empty block between two separators goes with one of them.
                if (line == separator && (lines.isEmpty() || lines.back() == separator))
                    continue;
                lines << line;
                continue;
            }
            if (allowed[line]-- > 0)
                lines << line;
        }
        while (!lines.isEmpty() && (lines.back() == separator || lines.back().trimmed().isEmpty()))
            lines.removeLast();
        merged.Text = WrittenDayText(lines.join("\r\n")).toByteArray();
        merged.Both = merged.Both && merged.Text.contains(separator);
        return merged;
    };
    const QList<QByteArray> mine = blocksIn(own);
    const QList<QByteArray> theirs = blocksIn(other);
    std::vector<bool> usedMine(size_t(mine.size()), false),
        usedTheirs(size_t(theirs.size()), false);
    QList<QByteArray> out;
    QByteArray first;
    bool both = false;
    const auto add = [&](const QByteArray &text, bool fromFirst) {
        for (const QByteArray &block : blocksIn(text)) {
            if (fromFirst && first.isEmpty())
                first = block;
            else
                out << block;
        }
    };
    const auto takeSide = [&](qsizetype i, bool fromMine) {
        (fromMine ? usedMine : usedTheirs)[size_t(i)] = true;
        return fromMine ? (!otherFirst && i == 0) : (otherFirst && i == 0);
    };
    if (base) {
        for (const QByteArray &was : blocksIn(*base)) {
            const qsizetype m = closest(mine, usedMine, was);
            const qsizetype t = closest(theirs, usedTheirs, was);
            if (m < 0 && t < 0)
                continue;
            if (m >= 0 && t >= 0) {
                const bool isFirst = takeSide(m, true) | takeSide(t, false);
                const TLineMerge merged = MergeLines(QByteArrayView(was), mine[m], theirs[t]);
                both = both || merged.Both;
                add(merged.Text, isFirst);
            } else {
                // Removed on one side: it goes, but for the lines the other side added to it.
                const bool isFirst = m >= 0 ? takeSide(m, true) : takeSide(t, false);
                const QByteArrayView kept = m >= 0 ? mine[m] : theirs[t];
                if (!SameText(kept, was))
                    add(MergeLines(QByteArrayView(was), kept, QByteArrayView()).Text, isFirst);
            }
        }
    }
    for (qsizetype m = 0; m < mine.size(); ++m) {
        if (usedMine[size_t(m)])
            continue;
        const qsizetype t = closest(theirs, usedTheirs, mine[m]);
        const bool isFirst = takeSide(m, true) | (t >= 0 && takeSide(t, false));
        if (t < 0 || sharedLines(mine[m], theirs[t]) == 0) {
            if (t >= 0)
                usedTheirs[size_t(t)] = false;
            add(mine[m], isFirst);
            continue;
        }
        const TLineMerge merged = MergeLines(std::nullopt, mine[m], theirs[t]);
        both = both || merged.Both;
        add(merged.Text, isFirst);
    }
    for (qsizetype t = 0; t < theirs.size(); ++t) {
        if (!usedTheirs[size_t(t)]) {
            both = true;
            add(theirs[t], takeSide(t, false));
        }
    }
    // Each block once; one that another holds in its order adds nothing.
    std::sort(out.begin(), out.end());
    out.erase(std::unique(out.begin(), out.end()), out.end());
    const auto heldElsewhere = [&](qsizetype i) {
        const QList<QByteArray> lines = bareLines(out[i]);
        const auto holds = [&lines](const QByteArray &whole) {
            qsizetype at = 0;
            for (const QByteArray &line : bareLines(whole)) {
                if (at < lines.size() && line == lines[at])
                    ++at;
            }
            return at == lines.size();
        };
        if (!first.isEmpty() && holds(first))
            return true;
        for (qsizetype j = 0; j < out.size(); ++j) {
            if (j != i && out[j].size() > out[i].size() && holds(out[j]))
                return true;
        }
        return false;
    };
    QList<QByteArray> kept;
    for (qsizetype i = 0; i < out.size(); ++i) {
        if (!heldElsewhere(i))
            kept << out[i];
    }
    if (first.isEmpty() && !kept.isEmpty())
        first = kept.takeFirst();
    QByteArray text = first;
    for (const QByteArray &block : std::as_const(kept))
        text += kCrLf.toByteArray() + BothTextsSeparator() + kCrLf.toByteArray() + block;
    return around({ WrittenDayText(text).toByteArray(), both || !kept.isEmpty() });
}

TLineMerge MergeLines(std::optional<QByteArrayView> base, QByteArrayView own, QByteArrayView other)
{
    own = WrittenDayText(own);
    other = WrittenDayText(other);
    if (SameText(own, other))
        return { own.toByteArray(), false };
    if (base) {
        if (SameText(*base, own))
            return { other.toByteArray(), false };
        if (SameText(*base, other))
            return { own.toByteArray(), false };
        if (own.isEmpty() || other.isEmpty()) {
            // Removed whole on one side, changed on the other: what the change added stands,
            // the lines of the base stay removed.
            TLineKeys keys;
            const TLines from = linesOf(WrittenDayText(*base), keys);
            const TLines side = linesOf(own.isEmpty() ? other : own, keys);
            TOutput out;
            addAdded(out, from, { 0, qsizetype(from.Keys.size()) }, side,
                { 0, qsizetype(side.Keys.size()) });
            return out.Result(false);
        }
    }
    TLineKeys keys;
    const int separator = keys.Of(BothTextsSeparator());
    const TLines ownLines = linesOf(own, keys);
    const TLines otherLines = linesOf(other, keys);
    if (holdsKey(ownLines.Keys, { 0, qsizetype(ownLines.Keys.size()) }, separator)
        && sameLinesInAnyOrder(ownLines.Keys, otherLines.Keys))
        return { (base ? other : own).toByteArray(), false };
    // A text that holds both around a separator and all the other's lines in their order took
    // that version in already.
    if (base && holdsKey(ownLines.Keys, { 0, qsizetype(ownLines.Keys.size()) }, separator)
        && holdsInOrder(ownLines.Keys, { 0, qsizetype(ownLines.Keys.size()) }, otherLines.Keys,
            { 0, qsizetype(otherLines.Keys.size()) }))
        return { own.toByteArray(), false };
    const auto holdsSeparator = [&keys, separator](QByteArrayView text) {
        const TLines lines = linesOf(text, keys);
        return holdsKey(lines.Keys, { 0, qsizetype(lines.Keys.size()) }, separator);
    };
    const bool holdsBoth
        = holdsKey(ownLines.Keys, { 0, qsizetype(ownLines.Keys.size()) }, separator)
        || holdsKey(otherLines.Keys, { 0, qsizetype(otherLines.Keys.size()) }, separator)
        || (base && holdsSeparator(WrittenDayText(*base)));
    if (base && holdsBoth)
        return mergeBlocks(base, own, other, false);
    if (base)
        return mergeWithBase(linesOf(WrittenDayText(*base), keys), ownLines, otherLines, separator);
    if (holdsInOrder(ownLines.Keys, { 0, qsizetype(ownLines.Keys.size()) }, otherLines.Keys,
            { 0, qsizetype(otherLines.Keys.size()) }))
        return { own.toByteArray(), false };
    if (holdsInOrder(otherLines.Keys, { 0, qsizetype(otherLines.Keys.size()) }, ownLines.Keys,
            { 0, qsizetype(ownLines.Keys.size()) }))
        return { other.toByteArray(), false };
    // A text that holds both already takes the other's blocks as blocks of its own; otherwise
    // the lines both hold, in their order, stand for the base: every line of either side stays,
    // each where it stood, and only lines both added at the same place stand both.
    if (holdsBoth)
        return mergeBlocks(std::nullopt, own, other, false);
    TLines common;
    qsizetype at = 0;
    for (const THunk &run : changedRuns(ownLines.Keys, otherLines.Keys, true)) {
        common.Keys.insert(
            common.Keys.end(), ownLines.Keys.begin() + at, ownLines.Keys.begin() + run.BaseFrom);
        at = run.BaseTo;
    }
    common.Keys.insert(common.Keys.end(), ownLines.Keys.begin() + at, ownLines.Keys.end());
    return mergeWithBase(common, ownLines, otherLines, separator);
}
