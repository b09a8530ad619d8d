#include "DiarySearch.h"

#include "StoreTestSupport.h"

#include <QFileInfo>

using namespace diarysearch;

namespace {

struct TMatchCase {
    const char *Text;
    const char *Query;
    // The hits as the text shows them, "[...]" around each; nullptr when the day does not match.
    const char *Marked;
};

QString marked(const QString &text, const QList<TSpan> &hits)
{
    QString out = text;
    for (auto it = hits.rbegin(); it != hits.rend(); ++it)
        out.insert(it->Start + it->Length, u']').insert(it->Start, u'[');
    return out;
}

TEST(SearchMatching, FoldsWhatAJapaneseReaderDoesNotMean)
{
    const TMatchCase cases[] = {
        { "Tokyo タワー", "tokyo", "[Tokyo] タワー" },
        { "ＡＢＣ１２３", "abc123", "[ＡＢＣ１２３]" },
        { "abc", "ＡＢＣ", "[abc]" },
        { "カナ", "ｶﾅ", "[カナ]" },
        // Half-width voiced letters are one character each in the folded text.
        { "ｶﾞｯｺｳ ﾊﾟﾝ", "ガッコウ パン", "[ｶﾞｯｺｳ] [ﾊﾟﾝ]" },
        { "ヴァイオリン", "ｳﾞｧｲｵﾘﾝ", "[ヴァイオリン]" },
        { "ｶﾞ", "カ", nullptr },
        { "ｱﾞ", "ア", "[ｱ]ﾞ" },
        // Every word must occur, in any order; the ideographic space separates words too.
        { "雨のち晴れ", "晴れ　雨", "[雨]のち[晴れ]" },
        { "雨のち晴れ", "晴れ 雪", nullptr },
        { "ababab", "aba bab", "[ababab]" },
        { "かな", "カナ", nullptr },
        { "x", "   ", nullptr },
    };
    for (const TMatchCase &c : cases) {
        const QString text = QString::fromUtf8(c.Text);
        const TSearchQuery query(QString::fromUtf8(c.Query));
        SCOPED_TRACE(std::string(c.Text) + " / " + c.Query);
        EXPECT_EQ(query.Matches(text), c.Marked != nullptr);
        if (c.Marked) {
            EXPECT_EQ(marked(text, query.Hits(text)), QString::fromUtf8(c.Marked));
        }
    }
}

TEST(SearchExcerpt, ShowsTheLineOfTheFirstHitCutAroundIt)
{
    const TSearchQuery query(u"雨"_qs);
    const QString text = u"晴れ\r\n朝から雨、夜も雨\r\n雨"_qs;
    const TSearchHit whole = Excerpt(0, text, query, -1);
    EXPECT_EQ(marked(whole.Line, whole.Marks), u"朝から[雨]、夜も[雨]"_qs);
    const TSearchHit cut = Excerpt(0, u"0123456789雨abcdefghij"_qs, query, 8);
    EXPECT_EQ(marked(cut.Line, cut.Marks), u"…89[雨]abcde…"_qs);
}

class SearchIndexInTempDir : public StoreInTempDir { };

TEST_F(SearchIndexInTempDir, SearchesEveryYearFileAndSkipsTheUnreadable)
{
    WriteAll(Path(u"2009.jnl"_qs), sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n古い雨\r\n"));
    WriteAll(Path(u"2010.jnl"_qs),
        sj("!JNL 1.00 2010\r\n![2010/05/01]\r\n") + "&#x20BB7;" + sj("野家の雨\r\n"));
    WriteAll(Path(u"2011.jnl"_qs), sj("!JNL 1.00 2012\r\n"));
    WriteAll(Path(u"2012.txt"_qs), sj("!JNL 1.00 2012\r\n![2012/05/01]\r\n雨\r\n"));
    WriteAll(Path(u"x2013.jnl"_qs), sj("!JNL 1.00 2013\r\n![2013/05/01]\r\n雨\r\n"));
    const auto before = QDir(Dir()).entryList(QDir::Files);

    TSearchIndex index;
    index.SetFolder(Dir(), QString(), u".jnl"_qs);
    TSearchResult result = index.Search(TSearchQuery(u"雨"_qs));
    ASSERT_EQ(result.Hits.size(), 2u);
    EXPECT_EQ(result.Hits[0].Date, Day(2009, 5, 1));
    EXPECT_EQ(result.Hits[1].Date, Day(2010, 5, 1));
    ASSERT_EQ(result.Skipped.size(), 1);
    EXPECT_EQ(result.Skipped[0].Path, Path(u"2011.jnl"_qs));
    EXPECT_TRUE(Shown.isEmpty());
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files), before);
    EXPECT_TRUE(index.HasText(QDate(2010, 5, 1)));
    EXPECT_FALSE(index.HasText(QDate(2010, 5, 2)));
    EXPECT_EQ(index.Search(TSearchQuery(u"𠮷野家"_qs)).Hits.size(), 1u);

    // A changed file is read again, even when its size and time stayed; a removed one is
    // forgotten.
    RewriteKeepingTime(Path(u"2010.jnl"_qs), sj("!JNL 1.00 2010\r\n![2010/05/01]\r\n晴\r\n"));
    QFile::remove(Path(u"2009.jnl"_qs));
    result = index.Search(TSearchQuery(u"雨"_qs));
    EXPECT_TRUE(result.Hits.empty());
    EXPECT_FALSE(index.KnowsYear(2009));
}

TEST_F(SearchIndexInTempDir, TheLoadedYearIsSearchedAsTheStoreAndTheEditorHoldIt)
{
    WriteAll(Path(u"2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n保存済みの雨\r\n![2009/05/02]\r\n雨\r\n"));
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 5, 3), sj("未保存の雨"));

    TSearchIndex index;
    index.SetFolder(Dir(), QString(), u".jnl"_qs);
    // The days as shown: 2 May emptied in the editor, so the file's text of that day no longer
    // counts.
    const auto shownWith = [&](double date, const QByteArray &text) {
        std::vector<TDayText> shown;
        for (const auto &day : store->Days())
            if (day->FDate != 0 && day->FDate != date)
                shown.push_back(*day);
        if (!text.isEmpty())
            shown.emplace_back(text, date);
        return shown;
    };
    index.SetLiveYear(*store, shownWith(Day(2009, 5, 2), {}));
    const TSearchResult result = index.Search(TSearchQuery(u"雨"_qs));
    ASSERT_EQ(result.Hits.size(), 2u);
    EXPECT_EQ(result.Hits[0].Date, Day(2009, 5, 1));
    EXPECT_EQ(result.Hits[1].Date, Day(2009, 5, 3));
    EXPECT_FALSE(index.HasText(QDate(2009, 5, 2)));

    index.SetLiveYear(*store, shownWith(Day(2009, 5, 4), sj("エディタの雨")));
    EXPECT_EQ(index.Search(TSearchQuery(u"雨"_qs)).Hits.size(), 4u);
}

} // namespace
