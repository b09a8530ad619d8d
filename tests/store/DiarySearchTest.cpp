#include "DiarySearch.h"

#include "Cp932.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <random>

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
        // Hiragana and katakana are one; the marks cover the letters as written.
        { "りんご、リンゴ、ﾘﾝｺﾞ", "リンゴ", "[りんご]、[リンゴ]、[ﾘﾝｺﾞ]" },
        { "ﾊﾞﾅﾅ", "ばな", "[ﾊﾞﾅ]ﾅ" },
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

TEST(SearchExcerpt, FitsTheRoomWithTheHitInside)
{
    // Measured one per unit: the room is a number of characters, "…" one of them.
    const auto units = [](QStringView text) { return double(text.size()); };
    const struct {
        const char *Text;
        double Room;
        const char *Shown;
    } cases[] = {
        { "0123456789雨", 11, "0123456789[雨]" },
        { "0123456789abcdefghij雨", 10, "…defghij[雨]" },
        { "雨0123456789abcdefghij", 10, "[雨]0123456…" },
        { "0123456789雨abcdefghij", 10, "…89[雨]abcde…" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text);
        const TSearchHit hit
            = FittedExcerpt(0, QString::fromUtf8(c.Text), TSearchQuery(u"雨"_qs), c.Room, units);
        EXPECT_EQ(marked(hit.Line, hit.Marks), QString::fromUtf8(c.Shown));
    }
}

class SearchIndexInTempDir : public StoreInTempDir { };

// Any bytes read for a search decode as the decoder decodes them and fold as Fold folds.
TEST_F(SearchIndexInTempDir, YearsAreReadAsTheDecoderAndFoldReadThem)
{
    std::mt19937 random(7);
    QByteArray bytes = cp932::Encode(u"ｶﾞﾊﾟｱﾞ&#x1F600;&amp;"_qs) + '\xB6';
    while (bytes.size() < 20000)
        bytes.append(char(0x20 + random() % 0xE0));
    bytes.replace('!', '?');
    for (const QByteArray &day : { bytes, QByteArray(bytes).replace('&', '+') }) {
        WriteAll(Path(u"2009.jnl"_qs), sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n") + day + "\r\n");
        const auto year = TSearchIndex::ReadYear({ 2009, Path(u"2009.jnl"_qs), {} });
        ASSERT_EQ(year->Days.size(), 1u);
        const auto differ = [](const QString &a, const QString &b) {
            const auto at = std::mismatch(a.begin(), a.end(), b.begin(), b.end());
            return a.size() == b.size() && at.first == a.end() ? QString()
                                                               : a.mid(at.first - a.begin(), 8);
        };
        EXPECT_EQ(differ(year->Text, ReadYearFile(Dir(), QString(), u".jnl"_qs, 2009)[0].Text),
            QString());
        EXPECT_EQ(differ(year->Folded, Fold(year->Text)), QString());
    }
}

// Reading for one query leaves out only days that cannot hold it, whatever bytes it is in.
TEST_F(SearchIndexInTempDir, ReadingForOneQueryFindsWhatReadingAllFinds)
{
    // ∵ in its two codes, 表 with a second byte that reads as "\\", ゔ only as a reference
    // (ヴ folds to it).
    const QByteArray days[] = { "\x81\xE6", "\x87\x9A", sj("図書館"), sj("ﾄｼｮｶﾝ"), sj("としょかん"),
        sj("&雨"), sj("ＡＢＣ"), "\x95\x5C", "&#x3094;", sj("雨\r\nabc ﾄｼｮｶﾝ\r\nかん") };
    const auto yearFile = [](QList<QByteArray> texts) {
        QByteArray file = sj("!JNL 1.00 2009\r\n");
        for (int i = 0; i < int(texts.size()); ++i)
            file += QStringLiteral("![2009/05/%1]\r\n").arg(i + 1, 2, 10, QChar(u'0')).toLatin1()
                + texts[i] + "\r\n";
        return file;
    };
    const TSearchIndex::TYearToRead year { 2009, Path(u"2009.jnl"_qs), {} };
    const auto sameDays = [&](const TSearchQuery &query) {
        const auto all = TSearchIndex::FindIn(TSearchIndex::ReadYear(year), query);
        const auto only = TSearchIndex::FindIn(TSearchIndex::ReadYear(year, query), query);
        ASSERT_EQ(all.size(), only.size());
        for (size_t i = 0; i < all.size(); ++i)
            EXPECT_EQ(all[i].Date, only[i].Date);
        // The excerpts kivlog-cli prints, made from the lines that hold a hit, whole and cut.
        for (const qsizetype chars : { qsizetype(-1), qsizetype(4) }) {
            const auto hits = TSearchIndex::SearchYear(year, query, chars);
            ASSERT_EQ(hits.size(), all.size());
            for (size_t i = 0; i < all.size(); ++i) {
                const TSearchHit hit = Excerpt(all[i], query, chars);
                EXPECT_EQ(hits[i].Date, hit.Date);
                EXPECT_EQ(marked(hits[i].Line, hits[i].Marks), marked(hit.Line, hit.Marks));
            }
        }
    };
    const char *const queries[]
        = { "∵", "図書館", "ﾄｼｮｶﾝ", "雨", "abc", "表", "ヴ", "Ａｂc", "ｶ", "かん", "Bluetooth" };
    // Every day in one file, then each day in a file of its own, which a query may pass over
    // whole.
    WriteAll(Path(u"2009.jnl"_qs), yearFile({ std::begin(days), std::end(days) }));
    for (const char *typed : queries) {
        SCOPED_TRACE(typed);
        sameDays(TSearchQuery(QString::fromUtf8(typed)));
    }
    // The day that holds it and those whose "&" may stand for it.
    EXPECT_EQ(TSearchIndex::ReadYear(year, TSearchQuery(u"図書館"_qs))->Days.size(), 3u);
    for (const QByteArray &day : days) {
        WriteAll(Path(u"2009.jnl"_qs), yearFile({ day }));
        for (const char *typed : queries) {
            SCOPED_TRACE(std::string(typed) + " in " + day.toHex().toStdString());
            sameDays(TSearchQuery(QString::fromUtf8(typed)));
        }
    }
    WriteAll(Path(u"2009.jnl"_qs), yearFile({ sj("晴") }));
    EXPECT_TRUE(TSearchIndex::ReadYear(year, TSearchQuery(u"図書館"_qs))->Days.empty());
    // A file passed over is still refused when it is no year file of its year.
    WriteAll(Path(u"2009.jnl"_qs), sj("!JNL 1.00 2010\r\n![2010/05/01]\r\n雨\r\n"));
    EXPECT_THROW(TSearchIndex::ReadYear(year, TSearchQuery(u"図書館"_qs)), Exception);

    // Years of random pieces of those texts, searched for random pieces: the same days.
    std::mt19937 random(32);
    const char *const pieces[]
        = { "\x81\xE6", "\x87\x9A", "\x95\x5C", "\xB6\xDE", "\x83\x4B", "\x82\xAA", "A", "\x82\x60",
              "&#x1F600;", "&", "\r\n", "\x90\x7D", "\x8F\x91", "&#x3094;", "\x83\x94",
              // ASCII in both cases and full-width, か as hiragana, katakana and half-width.
              "a", "b", "B", "\x82\x81", "\x82\x62", "\x82\xA9", "\x83\x4A", "\xB6", "\n" };
    for (int round = 0; round < 400; ++round) {
        QList<QByteArray> texts(3);
        for (QByteArray &text : texts) {
            for (int n = int(random() % 6); n > 0; --n)
                text += pieces[random() % std::size(pieces)];
        }
        WriteAll(Path(u"2009.jnl"_qs), yearFile(texts));
        QByteArray typed;
        for (int n = 1 + int(random() % 2); n > 0; --n)
            typed += pieces[random() % std::size(pieces)];
        SCOPED_TRACE(texts.join('|').toHex().toStdString() + " / " + typed.toHex().toStdString());
        sameDays(TSearchQuery(cp932::Decode(typed)));
    }
}

// A query that narrows the last finds the same days among the last one's as in every year.
TEST_F(SearchIndexInTempDir, NarrowingFindsWhatAFullSearchFinds)
{
    WriteAll(Path(u"2009.jnl"_qs),
        sj("!JNL 1.00 2009\r\n![2009/05/01]\r\n雨の朝\r\n![2009/05/02]\r\n雨、晴れた\r\n"
           "![2009/05/03]\r\n晴れ\r\n"));
    auto store = NewStore(2010);
    store->SetDayText(Day(2010, 5, 1), sj("雨のち晴れ"));
    const auto shown = [&] {
        std::vector<TDayText> days;
        for (const auto &day : store->Days())
            if (day->FDate != 0)
                days.push_back(*day);
        return days;
    };
    TSearchIndex index;
    index.SetFolder(Dir(), QString(), u".jnl"_qs);
    index.SetLiveYear(*store, shown());
    index.Refresh();
    const auto dates = [](const std::vector<TSearchIndex::TFoundDay> &found) {
        std::vector<double> out;
        for (const auto &day : found)
            out.push_back(day.Date);
        return out;
    };
    const struct {
        const char *Wider;
        const char *Query;
        bool Narrows;
    } cases[] = {
        { "雨", "雨の", true },
        { "雨", "晴れ 雨", true },
        { "晴れ 雨", "晴れた 雨", true },
        { "ﾊﾚ", "はれた", true },
        { "雨の", "雨", false },
        { "雨", "晴れ", false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.Wider) + " -> " + c.Query);
        const TSearchQuery wider(QString::fromUtf8(c.Wider));
        const TSearchQuery query(QString::fromUtf8(c.Query));
        EXPECT_EQ(query.Narrows(wider), c.Narrows);
        if (!c.Narrows)
            continue;
        const auto widerFound = index.Find(wider);
        const auto searched = index.Searched();
        EXPECT_EQ(
            dates(index.FindNarrowing(query, widerFound, searched)), dates(index.Find(query)));
        // Text typed since in the loaded year is searched in full.
        store->SetDayText(Day(2010, 5, 2), sj("雨の日も晴れた"));
        index.SetLiveYear(*store, shown());
        EXPECT_EQ(
            dates(index.FindNarrowing(query, widerFound, searched)), dates(index.Find(query)));
        store->SetDayText(Day(2010, 5, 2), QByteArray());
        index.SetLiveYear(*store, shown());
    }
}

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
