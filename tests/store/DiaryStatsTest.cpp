#include "DiaryStats.h"

#include "StoreTestSupport.h"

using namespace diarysearch;
using namespace diarystats;

namespace {

class DiaryStatsInTempDir : public StoreInTempDir {
protected:
    // The year's texts as the search index reads them; days are "mm/dd" and their text.
    TSearchIndex::TYearPtr Texts(
        int year, const std::vector<std::pair<const char *, const char *>> &days)
    {
        QByteArray file = "!JNL 1.00 " + QByteArray::number(year) + "\r\n";
        for (const auto &[day, text] : days)
            file += "![" + QByteArray::number(year) + '/' + day + "]\r\n" + sj(text) + "\r\n";
        WriteAll(Path(QString::number(year) + u".jnl"_qs), file);
        Index.SetFolder(Dir(), QString(), u".jnl"_qs);
        EXPECT_TRUE(Index.Refresh().isEmpty());
        return Index.YearTexts(year);
    }
    TSearchIndex Index;
};

// A leap year counted by hand: blanks and line breaks are no characters, a character beyond the
// basic plane is one; the gap lies between two written days.
TEST_F(DiaryStatsInTempDir, FiguresOfAYearCountedByHand)
{
    const TYearFigures f = MakeFigures(
        *Texts(2024,
            { { "01/01", "雨。図書館へ。" }, { "01/02", "ＡＢＣ abc\r\n  \r\n𠮷" },
                { "01/03", "x" }, { "01/10", "長い日の文章です。" }, { "02/29", "閏日" } }),
        2024, {});
    const struct {
        const char *Figure;
        qint64 Is, Counted;
    } rows[] = {
        { "days in the year", qint64(f.Characters.size()), 366 },
        { "days written", f.DaysWritten, 5 },
        { "characters", f.Total, 26 },
        { "characters on 2 January", f.CharactersOn(QDate(2024, 1, 2)), 7 },
        { "longest run", f.LongestRun.Days, 3 },
        { "longest run from", f.LongestRun.First.day(), 1 },
        { "longest gap", f.LongestGap.Days, 49 },
        { "longest gap from", f.LongestGap.First.dayOfYear(), 11 },
        { "most written day", f.MostWrittenDay.day(), 10 },
        { "most written month", f.MostWrittenMonth, 1 },
        { "shade of 1 character", f.ShadeOf(1), 1 },
        { "shade of 2", f.ShadeOf(2), 2 },
        { "shade of 9", f.ShadeOf(9), 4 },
        { "shade of none", f.ShadeOf(0), 0 },
    };
    for (const auto &row : rows)
        EXPECT_EQ(row.Is, row.Counted) << row.Figure;
    EXPECT_EQ(
        FactLines(f).value(2), u"続けて書いた日: いちばん長くて3日 (2024/01/01～2024/01/03)"_qs);
}

// Words are runs of kanji, of katakana and Latin words, counted as the search folds them;
// dates, weekday names, lines that are a date, a template's lines and the user's own words
// are left out.
TEST_F(DiaryStatsInTempDir, WordsOfTheYear)
{
    const struct {
        std::vector<std::pair<const char *, const char *>> Days;
        QStringList LeftOut;
        QString Words;
    } rows[] = {
        { { { "01/05", "図書館でコーヒー。図書館のコーヒー、Coffee coffee the 雨" } }, {},
            u"図書館 2, コーヒー 2, Coffee 2"_qs },
        { { { "01/05", "## 2024/01/05(金)\r\n十二月三日、月曜日に会議" } }, {}, u"会議 1"_qs },
        { { { "01/05", "天気：晴天\r\n散歩" }, { "01/06", "天気：晴天\r\n読書" },
              { "01/07", "天気：晴天\r\n散歩" } },
            {}, u"散歩 2, 読書 1"_qs },
        { { { "01/05", "会議のあとコーヒー" } }, { Fold(u"コーヒー") }, u"会議 1"_qs },
    };
    for (const auto &row : rows) {
        StartAfresh();
        QStringList words;
        for (const TWordCount &word : MakeFigures(*Texts(2024, row.Days), 2024, row.LeftOut).Words)
            words << word.Word + u' ' + QString::number(word.Count);
        EXPECT_EQ(words.join(u", "_qs), row.Words);
    }
}

// Figures are kept for a year's file until it changes, and for its words left out.
TEST_F(DiaryStatsInTempDir, FiguresAreKeptForTheFileTheyWereMadeOf)
{
    TFiguresCache cache;
    const TSearchIndex::TYearPtr first = Texts(2024, { { "01/05", "雨" } });
    cache.Keep(2024, first, {}, std::make_shared<const TYearFigures>());
    auto again = std::make_shared<TSearchIndex::TYearTexts>(*first);
    EXPECT_TRUE(cache.Find(2024, again, {}));
    EXPECT_FALSE(cache.Find(2024, again, { u"雨"_qs }));
    EXPECT_FALSE(cache.Find(2024, Texts(2024, { { "01/05", "雪" } }), {}));
}

} // namespace
