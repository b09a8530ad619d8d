// The merge of one part's text line by line, with and without the text both sides grew from.
#include "LineMerge.h"

#include "StoreTestSupport.h"
#include "YearMerge.h"

namespace {

// "a|b" is the lines a and b in CP932, "<>" the separator line. A line of ASCII stands as it is
// written, so that "&#x1f600;" is a reference.
QByteArray text(const char *utf8)
{
    QList<QByteArray> lines;
    for (const QString &line : QString::fromUtf8(utf8).split(u'|')) {
        if (line == u"<>")
            lines << BothTextsSeparator();
        else
            lines << (line.toLatin1() == line.toUtf8() ? line.toUtf8() : cp932::Encode(line));
    }
    return lines.join("\r\n");
}

std::string readable(const QByteArray &bytes)
{
    return cp932::Decode(bytes)
        .replace(cp932::Decode(BothTextsSeparator()), QStringLiteral("<>"))
        .replace(QStringLiteral("\r\n"), QStringLiteral("|"))
        .toStdString();
}

struct TLineMergeCase {
    const char *name;
    const char *base; // nullptr: none known
    const char *own, *other, *merged;
    bool both;
};

} // namespace

TEST(LineMerge, EachSidesChangedLinesApplyAndDifferingOnesStandBoth)
{
    const TLineMergeCase cases[] = {
        { "one side's edit in place, the other's append", "a|b|c|d|e", "a|B|c|d|e", "a|b|c|d|e|f",
            "a|B|c|d|e|f", false },
        { "one side's deletion, the other's edit", "a|b|c|d|e", "a|c|d|e", "a|b|c|d|E", "a|c|d|E",
            false },
        { "lines taken out here, one of them rewritten there: only the rewriting stands", "a|b|c|d",
            "a|d", "a|b|X|d", "a|X|d", false },
        { "a text holding both taken out here, a line added there: only that line stands", "a|<>|b",
            "", "a|<>|b|c", "c", false },
        { "the text after the separator taken out here, a line added to it there", "a|<>|b", "a|<>",
            "a|<>|b|c", "a|c", false },
        { "an append here, a line deleted there stays deleted", "a|b|c|d", "a|b|c|d|e", "a|c|d",
            "a|c|d|e", false },
        { "edits to different lines of both sides", "a|b|c|d|e", "a|B|c|d|e", "a|b|c|D|e",
            "a|B|c|D|e", false },
        { "one line changed differently: own first", "a|b|c", "a|B1|c", "a|B2|c", "a|B1|<>|B2|c",
            true },
        { "a run changed differently: what both wrote around it stands once", "a|b|c|d",
            "a|X|b1|Y|d", "a|X|b2|Y|d", "a|X|b1|<>|b2|Y|d", true },
        { "a run changed differently where both wrote one line alike: it stands once", "a|b|c",
            "a|X|Y|c", "a|Y|Z|c", "a|X|Y|<>|Z|c", true },
        { "the same change on both sides stands once", "a|b|c|d|e", "a|B|c|d|e|f", "a|B|c|d|e",
            "a|B|c|d|e|f", false },
        { "both wrote into an empty text", "", "a|b|z", "a|c|z", "a|b|<>|c|z", true },
        { "no base: the lines both share stand once, nothing dropped", nullptr,
            "Lunch:|soba||Dinner:|curry||bed early", "Lunch:|ramen||Dinner:|sushi||bed early",
            "Lunch:|soba|<>|ramen||Dinner:|curry|<>|sushi||bed early", true },
        { "no base: a text holding the other's lines in order", nullptr, "a|b|c", "a|c", "a|b|c",
            false },
        { "no base: the other holds all of this side's", nullptr, "a|c", "a|b|c", "a|b|c", false },
        { "no base: aligned at the lines that say something, not at a blank line", nullptr,
            "a||b|h|x", "a|y|b|z||w", "a||y|b|h|x|<>|z||w", true },
        { "blank lines and a repeated heading: a section added, another edited",
            "## 朝|パン||## 夜|カレー", "## 朝|パン||## 夜|カレー||## 夜|映画",
            "## 朝|ご飯||## 夜|カレー", "## 朝|ご飯||## 夜|カレー||## 夜|映画", false },
        { "blank lines and a repeated heading: both added a section", "## 夜|パン",
            "## 夜|パン||## 夜|カレー", "## 夜|パン||## 夜|寿司",
            "## 夜|パン||## 夜|カレー|<>|寿司", true },
        { "references differing in the case of their hex digits", nullptr, "a|&#x1f600;",
            "a|&#x1F600;", "a|&#x1f600;", false },
        { "a reference written otherwise is no change", "&#x1F600;|b|c|d", "&#x1f600;|b|c|D",
            "&#x1F600;|B|c|d", "&#x1f600;|B|c|D", false },
    };
    for (const TLineMergeCase &c : cases) {
        SCOPED_TRACE(c.name);
        const QByteArray base = c.base ? text(c.base) : QByteArray();
        const TLineMerge merged
            = MergeLines(c.base ? std::optional<QByteArrayView>(base) : std::nullopt, text(c.own),
                text(c.other));
        EXPECT_EQ(readable(merged.Text), readable(text(c.merged)));
        EXPECT_EQ(merged.Text, text(c.merged));
        EXPECT_EQ(merged.Both, c.both);
    }
}

// The same versions taken in in another order, or again, end alike.
TEST(LineMerge, VersionsInAnyOrderOrTwiceEndAlike)
{
    const QByteArray own = text("h|o|t"), c1 = text("h|c1|t"), c2 = text("h|c2|t");
    const QByteArray both = MergeLines({}, MergeLines({}, own, c1).Text, c2).Text;
    EXPECT_EQ(readable(both), "h|o|<>|c1|<>|c2|t");
    EXPECT_EQ(MergeLines({}, MergeLines({}, own, c2).Text, c1).Text, both);
    EXPECT_EQ(MergeLines({}, both, c1).Text, both);

    const QByteArray base = text("a|b|c|d|e");
    for (const char *other : { "a|B2|c|d|e", "a|b|c|d|E" }) {
        SCOPED_TRACE(other);
        const QByteArray merged = MergeLines(base, text("a|B1|c|d|e"), text(other)).Text;
        EXPECT_EQ(MergeLines(base, merged, text(other)).Text, merged);
    }
    // Two machines that joined the same texts the other way round: the year file's order wins.
    const QByteArray mine = text("h|o|<>|c|t"), theirs = text("h|c|<>|o|t");
    EXPECT_EQ(MergeLines({}, mine, theirs).Text, mine);
    EXPECT_EQ(MergeLines(base, mine, theirs).Text, theirs);
}
