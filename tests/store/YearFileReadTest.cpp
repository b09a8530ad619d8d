#include "Messages.h"
#include "StoreTestSupport.h"

namespace {

class YearFileRead : public StoreInTempDir {
protected:
    // Loads the given bytes as the 2009 file of a fresh store.
    std::unique_ptr<TKivDiary> Load(const QByteArray &contents, int year = 2009)
    {
        WriteAll(Path(QStringLiteral("%1.jnl").arg(year)), contents);
        return NewStore(year);
    }
    std::unique_ptr<TKivDiary> LoadGolden(const char *name) { return Load(Golden(name)); }

    // The failed load's exception message, or "" when it loaded.
    QString LoadError(const QByteArray &contents, int year = 2009)
    {
        WriteAll(Path(QStringLiteral("%1.jnl").arg(year)), contents);
        auto store = NewStore(year, false);
        try {
            store->Open();
        } catch (const EKivDiaryError &e) {
            EXPECT_TRUE(store->Active());
            EXPECT_TRUE(store->Days().empty()) << "no preamble after a failed load";
            EXPECT_TRUE(store->Settings().isEmpty());
            EXPECT_TRUE(store->ErrorData().isEmpty());
            return e.Message();
        }
        return QString();
    }
};

QString badVersion(const char *number)
{
    return QString::fromUtf8(msg::kBadVersionHead) + QString::fromUtf8(number)
        + QString::fromUtf8(msg::kBadVersionTail);
}

TEST_F(YearFileRead, MissingFileGivesAnEmptyYear)
{
    auto store = NewStore(2009);
    ASSERT_EQ(store->Days().size(), 1u);
    EXPECT_EQ(store->Days()[0]->FDate, 0);
    EXPECT_EQ(store->Days()[0]->FText, QByteArray());
    EXPECT_TRUE(store->Settings().isEmpty());
    EXPECT_TRUE(store->ErrorData().isEmpty());
    EXPECT_FALSE(store->Modified());
    EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(YearFileRead, FirstLinesThatRead)
{
    for (const char *line : { "!JNL 1.00 2009", "!JNL1.00 2009", "!JNL 1 2009",
             "!JNL 1.000    2009", "!JNL +1e0 2009", "!JNL 1.00 67545", "!JNL\t1. 2009",
             "!JNL 1.00 $7D9", "!JNL 1.00 0x7d9", "!JNL .1e1 2009", "!JNL 10E-1 \t 2009" }) {
        SCOPED_TRACE(line);
        EXPECT_EQ(LoadError(QByteArray(line) + "\r\n"), QString());
        EXPECT_EQ(LoadError(QByteArray(line)), QString()) << "without a line break";
    }
}

TEST_F(YearFileRead, FirstLinesThatAreRefused)
{
    const QString bad = QString::fromUtf8(msg::kBadData);
    for (const char *line : { "!JNL 1.00 2009 ", "!JNL 1.00", "!JNL 1,00 2009", "!jnl 1.00 2009",
             " !JNL 1.00 2009", "\xEF\xBB\xBF!JNL 1.00 2009", "!JNL 1.00 2009x", "!JNL 1.00 +",
             "!JNL e1 2009", "!JNL 1e 2009", "!JNL 1.0.0 2009", "!JNL 1.00 2147483648", "",
             "\r\n!JNL 1.00 2009", "!JNL 1.00 x7D9", "!JNL 1.00 -X7D9", "!JNL 1.00 0X7D9" }) {
        SCOPED_TRACE(line);
        EXPECT_EQ(LoadError(QByteArray(line) + "\r\n"), bad);
    }
}

TEST_F(YearFileRead, VersionIsTestedBeforeYear)
{
    EXPECT_EQ(LoadError("!JNL 2.50 2009\r\n"), badVersion("2.5"));
    EXPECT_EQ(LoadError("!JNL 2 2008\r\n"), badVersion("2"));
    EXPECT_EQ(
        LoadError("!JNL 0.99999999999999999 2008\r\n"), QString::fromUtf8(msg::kYearMismatch));
    EXPECT_EQ(LoadError("!JNL 1.2345678901234567 2009\r\n"), badVersion("1.23456789012346"));
    EXPECT_EQ(LoadError("!JNL 1e20 2009\r\n"), badVersion("1E20"));
    EXPECT_EQ(LoadError("!JNL -.5 2009\r\n"), badVersion("-0.5"));
    EXPECT_EQ(LoadError("!JNL 1.00 2008\r\n"), QString::fromUtf8(msg::kYearMismatch));
    EXPECT_EQ(LoadError("!JNL 1.00 2009\r\n", 67545), QString::fromUtf8(msg::kYearMismatch));
}

TEST(ParseHeader, GivesVersionAndSixteenBitYear)
{
    double version = 0;
    quint16 year = 0;
    ASSERT_TRUE(TKivDiary::ParseHeader("!JNL 1.50 -1", version, year));
    EXPECT_EQ(version, 1.5);
    EXPECT_EQ(year, 65535);
    ASSERT_TRUE(TKivDiary::ParseHeader("!JNL . 2009", version, year));
    EXPECT_EQ(version, 0);
}

TEST_F(YearFileRead, HeaderAloneGivesAnEmptyUnmodifiedYear)
{
    for (const char *contents : { "!JNL 1.00 2009", "!JNL 1.00 2009\r\n", "!JNL 1.00 2009\n" }) {
        auto store = Load(contents);
        ASSERT_EQ(store->Days().size(), 1u);
        EXPECT_EQ(store->Days()[0]->FText, QByteArray());
        EXPECT_FALSE(store->Modified());
    }
}

TEST_F(YearFileRead, DayHeaderSpellingsOfTheFifthOfJanuary)
{
    for (const char *header : { "![2009/01/05](月)", "![2009/1/5]", "![ 2009 / 01 / 05 ]",
             "![2009/01/05/]", "![2009/01/05 / ]", "![02009/01/05]", "![2009/01/05]anything",
             "![09/01/05]", "![9/1/5]", "![0002009/001/0005]" }) {
        SCOPED_TRACE(header);
        auto store = Load("!JNL 1.00 2009\r\n" + sj(header) + "\r\ntext\r\n");
        EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "text\r\n");
        EXPECT_TRUE(Shown.isEmpty()) << Shown.join(u'|').toStdString();
        EXPECT_FALSE(store->Modified());
    }
}

TEST_F(YearFileRead, TwoDigitYearsFallInTheHundredYearsFrom50YearsAgo)
{
    Now = QDateTime(QDate(2026, 1, 1), QTime(0, 0));
    auto store = Load("!JNL 1.00 2009\r\n![76/01/01]\r\n![75/01/01]\r\n![00/01/01]\r\n");
    EXPECT_EQ(Shown,
        (QStringList { u"日付が範囲外です。(1976/01/01)"_qs, u"日付が範囲外です。(2075/01/01)"_qs,
            u"日付が範囲外です。(2000/01/01)"_qs }));

    // Month and day alone mean the current year.
    Shown.clear();
    Now = QDateTime(QDate(2009, 8, 1), QTime(0, 0));
    auto current = Load("!JNL 1.00 2009\r\n![01/05]\r\nfive\r\n");
    EXPECT_EQ(current->GetDayText(Day(2009, 1, 5)), "five\r\n");
    EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(YearFileRead, UnreadableOrForeignDatesOpenRejectedBlocks)
{
    auto store = Load("!JNL 1.00 2009\r\n"
                      "![2009-01-05]\r\n![2009/02/29]\r\n![20090105]\r\n![05/01/]\r\n"
                      "![20091/01/05]\r\n![2009/01/05 x]\r\n![2009/0/05]\r\n"
                      "![2008/12/31]\r\n![1/1/1]\r\n![01/05]\r\n");
    EXPECT_EQ(Shown,
        (QStringList { u"\"2009-01-05\"は不正な日付けです。"_qs,
            u"\"2009/02/29\"は不正な日付けです。"_qs, u"\"20090105\"は不正な日付けです。"_qs,
            u"\"05/01/\"は不正な日付けです。"_qs, u"\"20091/01/05\"は不正な日付けです。"_qs,
            u"\"2009/01/05 x\"は不正な日付けです。"_qs, u"\"2009/0/05\"は不正な日付けです。"_qs,
            u"日付が範囲外です。(2008/12/31)"_qs, u"日付が範囲外です。(2001/01/01)"_qs,
            u"日付が範囲外です。(2026/01/05)"_qs }));
    EXPECT_EQ(store->ErrorData().count("\r\n"), 9);
    EXPECT_TRUE(store->ErrorData().startsWith("!![2009-01-05]\r\n!![2009/02/29]"));
    EXPECT_TRUE(store->Modified());
    EXPECT_EQ(store->Days().size(), 1u);
}

TEST_F(YearFileRead, ShortBracketsAreNoDayHeaders)
{
    auto store = Load("!JNL 1.00 2009\r\n![2009/01/05]\r\n![1/1/]\r\n![2009/01/06\r\n");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "![1/1/]\r\n![2009/01/06\r\n");
    EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(YearFileRead, RejectedBlockKeepsItsLinesUntilTheNextAcceptedHeader)
{
    auto store = LoadGolden("damaged_block.jnl");
    EXPECT_EQ(
        store->ErrorData(), "!![2009/02/30]\r\n!----------------\r\nText\r\n!----------------");
    EXPECT_EQ(store->GetDayText(Day(2009, 3, 1)), "March.\r\n");
    EXPECT_EQ(store->Days()[0]->FText, "Intro");
    EXPECT_TRUE(store->Modified());
    EXPECT_EQ(Shown, QStringList { u"\"2009/02/30\"は不正な日付けです。"_qs });

    // The next due save writes the error block; the read after it takes those lines as
    // preamble, silently.
    store.reset();
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), Golden("damaged_block_rewritten.jnl"));
    EXPECT_EQ(ReadAll(Path(u"2009.bak"_qs)), Golden("damaged_block.jnl"));
    Shown.clear();
    auto reread = NewStore(2009);
    EXPECT_TRUE(Shown.isEmpty());
    EXPECT_TRUE(reread->ErrorData().isEmpty());
    EXPECT_FALSE(reread->Modified());
    EXPECT_EQ(reread->Days()[0]->FText, "Intro\r\n!ErrorData\r\n!![2009/02/30]\r\nText\r\n!End");
}

TEST_F(YearFileRead, LaterBlocksOfADayReplaceItsTextInPlace)
{
    auto store = Load("!JNL 1.00 2009\r\n![2009/01/07]\r\nfirst\r\n![2009/01/05]\r\nfive\r\n"
                      "![2009/01/07]\r\nsecond\r\n![2009/01/07]\r\n![2009/01/08]\r\n!---\r\n");
    ASSERT_EQ(store->Days().size(), 3u);
    EXPECT_EQ(store->Days()[1]->FDate, Day(2009, 1, 7));
    EXPECT_EQ(store->Days()[1]->FText, "second\r\n");
    EXPECT_EQ(store->Days()[2]->FDate, Day(2009, 1, 5));
    EXPECT_EQ(store->IndexOfDate(Day(2009, 1, 8)), -1);
}

TEST_F(YearFileRead, PreambleSettingsAndDayLinesFollowTheirOwnRules)
{
    auto store = LoadGolden("preamble_rules.jnl");
    EXPECT_EQ(store->Days()[0]->FText, "First\r\n\r\nThird\r\n!=x\r\n!ErrorData");
    EXPECT_EQ(store->Settings(), QList<QByteArray> { "WIDTH=640" });
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "!A=1\r\n!x\r\n!y\r\n\r\nlast\r\n\r\n");
    EXPECT_EQ(store->IndexOfDate(Day(2009, 1, 6)), -1);
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 7)), "seven\r\n");
    EXPECT_EQ(store->Days().size(), 3u);
}

TEST_F(YearFileRead, SettingsComeFromTheFileAlone)
{
    WriteAll(Path(u"2008.jnl"_qs), "!JNL 1.00 2008\r\n!WIDTH=1\r\n");
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\nno settings\r\n");
    auto store = NewStore(2008);
    EXPECT_EQ(store->GetSetting("WIDTH"), "1");
    store->SetYear(2009);
    EXPECT_TRUE(store->Settings().isEmpty());
}

TEST_F(YearFileRead, BracketAsSecondByteIsNoMarker)
{
    auto store = LoadGolden("bracket_as_second_byte.jnl");
    EXPECT_EQ(store->Days()[0]->FText, sj("![メモゾゾ"));
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), sj("ゾ]\r\n![abcdeゾ\r\n"));
    EXPECT_EQ(store->ErrorData(), sj("!![2009/01/0ゾ]\r\nrejected"));
    EXPECT_EQ(Shown, QStringList { u"\"2009/01/0ゾ\"は不正な日付けです。"_qs });
}

TEST_F(YearFileRead, LoneCrAndLfBreakLinesLikeCrLf)
{
    auto crlf = LoadGolden("settings_and_two_days.jnl");
    WriteAll(Path(u"2010.jnl"_qs), Golden("lf_and_cr_breaks.jnl").replace("2009", "2010"));
    auto mixed = NewStore(2010);
    EXPECT_EQ(mixed->Settings(), crlf->Settings());
    ASSERT_EQ(mixed->Days().size(), crlf->Days().size());
    for (size_t i = 0; i < crlf->Days().size(); ++i)
        EXPECT_EQ(mixed->Days()[i]->FText, crlf->Days()[i]->FText);
    EXPECT_EQ(mixed->GetDayText(Day(2010, 1, 5)),
        "First line of the day.\r\n\r\nThird line, after an empty one.\r\n"
        "!Fourth line, which began with one exclamation mark.\r\n");
}

TEST_F(YearFileRead, ALoneLfAfterTheFirstLineIsOneByte)
{
    auto store = Load("!JNL 1.00 2009\nPreamble\n![2009/01/05]\nday\n");
    EXPECT_EQ(store->Days()[0]->FText, "Preamble");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "day\r\n");
}

TEST_F(YearFileRead, NulIsAnOrdinaryByte)
{
    const QByteArray text("a\0b", 3);
    auto store
        = Load(QByteArray("!JNL 1.00 2009\r\npre") + '\0' + "amble\r\n![2009/01/05]\r\n" + text);
    EXPECT_EQ(store->Days()[0]->FText, QByteArray("pre\0amble", 9));
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), text + "\r\n");
}

// The format itself shows nothing; the store shows what the read returns, in the file's order.
TEST_F(YearFileRead, MessagesAreReturnedAndTheStoreShowsThem)
{
    const QByteArray file = "!JNL 1.00 2009\r\n![2009-01-05]\r\na\r\n![2008/12/31]\r\nb\r\n";
    const TYearRead read = ReadYearFile(file, 2009, kYearNow);
    EXPECT_TRUE(Shown.isEmpty());
    ASSERT_EQ(read.Messages.size(), 2);
    Load(file);
    EXPECT_EQ(Shown, read.Messages);
}

} // namespace
