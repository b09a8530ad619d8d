// The merge of two versions of a year by day, setting and text.
#include "YearMerge.h"

#include "StoreTestSupport.h"

namespace {

struct TYear {
    TYear(std::vector<std::pair<int, const char *>> d = {}, std::vector<const char *> s = {},
        const char *p = "", const char *e = "")
        : days(std::move(d))
        , settings(std::move(s))
        , preamble(p)
        , errorData(e)
    {
    }
    std::vector<std::pair<int, const char *>> days; // December 2026
    std::vector<const char *> settings;
    const char *preamble;
    const char *errorData;

    TYearContents Contents() const
    {
        TYearContents c;
        for (const auto &[d, t] : days)
            c.Days.emplace_back(QByteArray(t), Day(2026, 12, d));
        for (const char *s : settings)
            c.Settings << QByteArray(s);
        c.Preamble = preamble;
        c.ErrorData = errorData;
        return c;
    }
};

QByteArray both(const char *own, const char *other, const char *end = "\r\n")
{
    return QByteArray(own) + "\r\n" + BothTextsSeparator() + "\r\n" + other + end;
}

struct TMergeCase {
    const char *name;
    TYear base, own, other, merged;
    std::vector<int> bothDays;
    // What this side wrote after it read 'base' from elsewhere, which a sync engine then set
    // aside as a conflict copy for 'other'.
    TYear saved = {};
};

} // namespace

TEST(YearMerge, EachPartComesFromTheSideThatChangedIt)
{
    const QByteArray b78 = both("A8", "B8");
    const QByteArray bPre = both("own pre", "other pre", "");
    const QByteArray b9 = both("x\r\na", "b");
    const QByteArray bErr = both("!![x]own", "!![y]other", "");
    const TMergeCase cases[] = {
        { "only own changed", { { { 7, "a" } } }, { { { 7, "A" } } }, { { { 7, "a" } } },
            { { { 7, "A" } } }, {} },
        { "only other changed, and a day only it added", { { { 8, "a" } } }, { { { 8, "a" } } },
            { { { 7, "B7" }, { 8, "B" } } }, { { { 7, "B7" }, { 8, "B" } } }, {} },
        { "both to the same text, trailing blanks aside", { { { 8, "a" } } },
            { { { 8, "same  \r\n" } } }, { { { 8, "same" } } }, { { { 8, "same  \r\n" } } }, {} },
        { "both to different texts", { { { 8, "a" } } }, { { { 8, "A8\r\n" } } },
            { { { 8, "B8" } } }, { { { 8, b78.constData() } } }, { 8 } },
        { "removed on one side, unchanged on the other", { { { 7, "a" }, { 8, "b" } } },
            { { { 8, "b" } } }, { { { 7, "a" } } }, {}, {} },
        { "removed on one side, changed on the other", { { { 8, "b" } } }, {}, { { { 8, "B" } } },
            { { { 8, "B" } } }, {} },
        { "settings by name: one side's size, the other's font", { {}, { "WIDTH=800", "FONT=a" } },
            { {}, { "WIDTH=900", "FONT=a" } }, { {}, { "width=800", "FONT=b", "DAYNAME=TRUE" } },
            { {}, { "WIDTH=900", "FONT=b", "DAYNAME=TRUE" } }, {} },
        { "a setting changed on both keeps this side's", { {}, { "HEIGHT=1" } },
            { {}, { "HEIGHT=2" } }, { {}, { "HEIGHT=3" } }, { {}, { "HEIGHT=2" } }, {} },
        { "preamble and rejected lines changed on both keep both", { {}, {}, "pre", "!![z]" },
            { {}, {}, "own pre", "!![x]own" }, { {}, {}, "other pre", "!![y]other" },
            { {}, {}, bPre.constData(), bErr.constData() }, {} },
        { "preamble changed elsewhere, rejected lines gone elsewhere", { {}, {}, "pre", "!![z]" },
            { {}, {}, "pre", "!![z]" }, { {}, {}, "pre\r\n!ErrorData\r\n!![z]\r\n!End" },
            { {}, {}, "pre\r\n!ErrorData\r\n!![z]\r\n!End" }, {} },
        { "a copy without base: nothing removed, differences kept twice", {},
            { { { 1, "x" }, { 8, "A8" } }, { "WIDTH=9" } },
            { { { 7, "c" }, { 8, "B8" } }, { "WIDTH=1", "DAYNAME=TRUE" } },
            { { { 1, "x" }, { 7, "c" }, { 8, b78.constData() } }, { "WIDTH=9", "DAYNAME=TRUE" } },
            { 8 } },
        { "days saved here stay, days cleared here stay cleared, whatever the other lacks",
            { { { 8, "old8" }, { 9, "x" } } }, { { { 6, "A6" }, { 9, "x\r\na" }, { 10, "new" } } },
            { { { 7, "B7" }, { 8, "old8" }, { 9, "x\r\nb" } } },
            { { { 6, "A6" }, { 7, "B7" }, { 9, b9.constData() }, { 10, "new" } } }, { 9 },
            { { { 6, "A6" }, { 9, "x\r\na" } } } },
        { "removed there, a line added here: the line stays", { { { 8, "b" } } },
            { { { 8, "b\r\nmore" } } }, {}, { { { 8, "more" } } }, {} },
        { "the same lines the other way round: the year file's order", { { { 8, "a" } } },
            { { { 8, "x\r\ny" } } }, { { { 8, "y\r\nx" } } }, { { { 8, "y\r\nx" } } }, {} },
        { "a text holding the other's lines is taken as it is", {}, { { { 9, b9.constData() } } },
            { { { 9, "x\r\nb" } } }, { { { 9, b9.constData() } } }, {} },
        { "a second line of one name stays, the first counts", { {}, { "WIDTH=1" } },
            { {}, { "WIDTH=1", "width=2", "FONT=a" } }, { {}, { "FONT=a" } },
            { {}, { "WIDTH=1", "width=2", "FONT=a" } }, {} },
    };
    for (const TMergeCase &c : cases) {
        SCOPED_TRACE(c.name);
        TYearMemory memory;
        memory.Agree(c.base.Contents(), false);
        if (!c.saved.days.empty()) {
            memory.Agree(c.saved.Contents(), true);
            ASSERT_TRUE(memory.NoteSetAside(c.saved.Contents()));
        }
        const TYearMerge merge = MergeYears(
            memory, c.own.Contents(), c.other.Contents(), memory.ForYearFile(c.other.Contents()));
        EXPECT_EQ(merge.Contents, c.merged.Contents());
        std::vector<double> days;
        for (int d : c.bothDays)
            days.push_back(Day(2026, 12, d));
        EXPECT_EQ(merge.BothTextDays, days);
        EXPECT_EQ(merge.BothPreambles, c.merged.preamble == bPre);
        EXPECT_EQ(merge.BothErrorData, c.merged.errorData == bErr);
    }
}

TEST(YearMerge, TheSeparatorReadsBackAsTextOfTheDayAndOfThePreamble)
{
    TYearContents year;
    year.Preamble = both("own", "other", "");
    year.Days.emplace_back(both("own", "other"), Day(2026, 12, 8));
    const QByteArray file = WriteYearFile(year, 2026, true, JapaneseWeekdays());
    const TYearRead read = ReadYearFile(file, 2026, kYearNow);
    EXPECT_EQ(read.Contents, year);
    EXPECT_TRUE(read.Messages.isEmpty());
    EXPECT_EQ(cp932::Decode(BothTextsSeparator()).toStdString(),
        "――― ここからは別の保存で書かれた文章 ―――");
}

// Copies taken in in either order end alike, this side's text first, and taking one in again
// changes nothing.
TEST(YearMerge, CopiesTakenInInAnyOrderEndAlike)
{
    const TYear own { { { 8, "s\r\nO8\r\nt" } } };
    const TYear a { { { 1, "x" }, { 8, "s\r\nA8\r\nt" } } };
    const TYear b { { { 7, "c" }, { 8, "s\r\nB8\r\nt" } } };
    const TYearMemory none;
    const auto in = [&none](const TYearContents &year, const TYear &copy) {
        return MergeYears(none, year, copy.Contents(), {}).Contents;
    };
    const TYearContents ab = in(in(own.Contents(), a), b);
    EXPECT_EQ(ab, in(in(own.Contents(), b), a));
    for (const TYear &again : { a, b })
        EXPECT_EQ(in(ab, again), ab);
    const QByteArray sep = BothTextsSeparator();
    EXPECT_EQ(ab.Days[2].FText, "s\r\nO8\r\n" + sep + "\r\nA8\r\n" + sep + "\r\nB8\r\nt\r\n");
}

// A recovered day is taken back over the text it was edited from; what the year file changed
// meanwhile on other days stays.
TEST(YearMerge, RecoveredDaysKeepWhatTheFileChangedMeanwhile)
{
    const TYearContents recovery
        = UnsavedDays(TYear { { { 1, "a" }, { 2, "b" }, { 9, "x" } } }.Contents(),
            TYear { { { 1, "a" }, { 2, "b" }, { 9, "x\r\nunsaved" } } }.Contents().Days);
    const TYearContents now = TYear { { { 1, "A" }, { 3, "c" }, { 9, "x" } } }.Contents();
    TYearMemory started;
    started.Agree(now, false);
    TOtherVersion known;
    const TYearContents back = RecoveredDays(recovery, known);
    EXPECT_EQ(MergeYears(started, now, back, known).Contents,
        (TYear { { { 1, "A" }, { 3, "c" }, { 9, "x\r\nunsaved" } } }.Contents()));
}

// The memory read back after a restart is the one written; bytes cut short are no memory.
TEST(YearMemory, ReadsBackWhatWasWritten)
{
    TYearMemory memory;
    memory.Agree(TYear { { { 1, "a\r\nb" } }, { "WIDTH=9" }, "pre", "!![x]" }.Contents(), false);
    memory.Agree(TYear { { { 1, "a" }, { 2, "&#x1f600;" } } }.Contents(), true);
    memory.NoteSetAside(TYear { { { 3, "c" } } }.Contents());
    const QByteArray bytes = WriteYearMemory(memory);
    EXPECT_EQ(ReadYearMemory(bytes), memory);
    EXPECT_TRUE(memory.HeldLineBefore(Day(2026, 12, 1), "b"));
    for (const qsizetype cut : { qsizetype(10), bytes.size() / 2, bytes.size() - 3 })
        EXPECT_EQ(ReadYearMemory(bytes.left(cut)), std::nullopt) << cut;
}
