// Merges three texts made of the input and checks what a merge of one part's text promises:
// - no line is repeated beyond what the two sides hold together;
// - without a base nothing is lost, and a result that holds no new separator is one of the
//   sides; merging the result with either side again changes nothing;
// - with a base, a line of one side stays unless the other side removed it, a side left as
//   the base was gives way to the other, and merging the result with the other side again, from
//   that side's text, changes nothing;
// - a text merged with itself is itself.
// The first byte tells whether a base is known; the rest is base, own and other, parted by
// zero bytes, with "\n" for a line break and a line of the single byte 1 for the separator.
#include "Cp932.h"
#include "FuzzSupport.h"
#include "LineMerge.h"
#include "YearMemory.h"
#include "YearMerge.h"

#include <QHash>
#include <cstdint>

namespace {

using fuzz::check;

QByteArray textOf(QByteArrayView part)
{
    QByteArray text;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = part.indexOf('\n', from);
        const QByteArrayView line = part.sliced(from, (at < 0 ? part.size() : at) - from);
        // Lines as a text editor leaves them, without trailing blanks.
        text += line == "\x01" ? BothTextsSeparator() : WrittenDayText(line).toByteArray();
        if (at < 0)
            return text;
        text += "\r\n";
        from = at + 1;
    }
}

// How often each line stands in a text, lines read as the characters they stand for.
QHash<QString, int> lineCounts(QByteArrayView text)
{
    QHash<QString, int> counts;
    const QByteArrayView written = WrittenDayText(text);
    if (written.isEmpty())
        return counts;
    for (const QString &line : cp932::DecodeLossless(written).split(QStringLiteral("\r\n")))
        ++counts[line];
    return counts;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0 || size > 4096)
        return 0;
    const bool withBase = data[0] & 1;
    const QByteArrayView input(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    QByteArrayView parts[3];
    qsizetype from = 0;
    for (int i = 0; i < 3 && from <= input.size(); ++i) {
        const qsizetype at = i < 2 ? input.indexOf('\0', from) : -1;
        parts[i] = input.sliced(from, (at < 0 ? input.size() : at) - from);
        from = at < 0 ? input.size() + 1 : at + 1;
    }
    const QByteArray base = textOf(parts[0]), own = textOf(parts[1]), other = textOf(parts[2]);
    const std::optional<QByteArrayView> known
        = withBase ? std::optional<QByteArrayView>(base) : std::nullopt;
    const TLineMerge merged = MergeLines(known, own, other);

    const QString separator = cp932::DecodeLossless(BothTextsSeparator());
    const QHash<QString, int> b = lineCounts(base), o = lineCounts(own), t = lineCounts(other);
    const QHash<QString, int> r = lineCounts(merged.Text);
    for (auto it = r.cbegin(); it != r.cend(); ++it) {
        if (it.key() != separator)
            check(*it <= o.value(it.key()) + t.value(it.key()), "a line stands more often");
    }
    check(MergeLines(std::nullopt, own, own).Text == WrittenDayText(own),
        "a text merged with itself");
    // Texts that hold both already are merged block by block, a block standing once.
    const bool blocks = o.contains(separator) || t.contains(separator);
    if (!withBase) {
        for (const QHash<QString, int> *side : { &o, &t }) {
            if (blocks)
                break;
            // Blank lines may be the end of the text, which keeps none; a separator with nothing
            // after it parts nothing.
            for (auto it = side->cbegin(); it != side->cend(); ++it)
                check(it.key().isEmpty() || it.key() == separator || r.value(it.key()) >= *it,
                    "a line is lost without a base");
        }
        // Texts that held both already may be joined in an order in which the copy's lines no
        // longer stand in a row: only plain texts are taken in again.
        for (const QByteArray &again : { own, other })
            if (!o.contains(separator) && !t.contains(separator))
                check(MergeLines(std::nullopt, merged.Text, again).Text == merged.Text,
                    "a copy taken in again changes the text");
        return 0;
    }
    // A line each text holds at most once is kept unless the other side removed it (blank
    // lines around the blocks of a text that holds both are the separator's, not the text's).
    for (const auto &[side, opposite] : { std::pair(&o, &t), std::pair(&t, &o) }) {
        for (auto it = side->cbegin(); it != side->cend(); ++it) {
            if (it.key().trimmed().isEmpty() || it.key() == separator || blocks)
                continue;
            const int inBase = b.value(it.key()), there = opposite->value(it.key());
            if (*it == 1 && inBase <= 1 && there <= 1 && !(inBase == 1 && there == 0))
                check(r.value(it.key()) >= 1, "a line is lost that the other side kept");
        }
    }
    check(SameText(MergeLines(base, base, other).Text, other), "a side left as it was stays");
    check(SameText(MergeLines(base, own, base).Text, own), "a side left as it was stays");
    check(MergeLines(other, merged.Text, other).Text == merged.Text, "other again from itself");
    return 0;
}
