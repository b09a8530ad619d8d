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

// Why the bytes are no file of the year, or "" when they are one.
QString readError(const QByteArray &bytes, int year = 2009)
{
    try {
        ReadYear(bytes, year);
    } catch (const EKivDiaryError &e) {
        return e.Message();
    }
    return QString();
}

std::vector<TDayText> oneDay(const QByteArray &text, double date)
{
    return { TDayText(text, date) };
}

QString badVersion(const char *number)
{
    return Text(msg::kBadVersionHead) + QString::fromUtf8(number) + Text(msg::kBadVersionTail);
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

TEST(YearFileBytes, FirstLinesThatRead)
{
    for (const char *line : { "!JNL 1.00 2009", "!JNL1.00 2009", "!JNL 1 2009",
             "!JNL 1.000    2009", "!JNL +1e0 2009", "!JNL 1.00 67545", "!JNL\t1. 2009",
             "!JNL 1.00 $7D9", "!JNL 1.00 0x7d9", "!JNL .1e1 2009", "!JNL 10E-1 \t 2009" }) {
        SCOPED_TRACE(line);
        EXPECT_EQ(readError(QByteArray(line) + "\r\n"), QString());
        EXPECT_EQ(readError(QByteArray(line)), QString()) << "without a line break";
    }
}

TEST(YearFileBytes, FirstLinesThatAreRefused)
{
    const QString bad = Text(msg::kBadData);
    for (const char *line : { "!JNL 1.00 2009 ", "!JNL 1.00", "!JNL 1,00 2009", "!jnl 1.00 2009",
             " !JNL 1.00 2009", "\xEF\xBB\xBF!JNL 1.00 2009", "!JNL 1.00 2009x", "!JNL 1.00 +",
             "!JNL e1 2009", "!JNL 1e 2009", "!JNL 1.0.0 2009", "!JNL 1.00 2147483648", "",
             "\r\n!JNL 1.00 2009", "!JNL 1.00 x7D9", "!JNL 1.00 -X7D9", "!JNL 1.00 0X7D9" }) {
        SCOPED_TRACE(line);
        EXPECT_EQ(readError(QByteArray(line) + "\r\n"), bad);
    }
}

TEST_F(YearFileRead, VersionIsTestedBeforeYear)
{
    EXPECT_EQ(LoadError("!JNL 2.50 2009\r\n"), badVersion("2.5"));
    EXPECT_EQ(LoadError("!JNL 2 2008\r\n"), badVersion("2"));
    EXPECT_EQ(LoadError("!JNL 0.99999999999999999 2008\r\n"), Text(msg::kYearMismatch));
    EXPECT_EQ(LoadError("!JNL 1.2345678901234567 2009\r\n"), badVersion("1.23456789012346"));
    EXPECT_EQ(LoadError("!JNL 1e20 2009\r\n"), badVersion("1E20"));
    EXPECT_EQ(LoadError("!JNL -.5 2009\r\n"), badVersion("-0.5"));
    EXPECT_EQ(LoadError("!JNL 1.00 2008\r\n"), Text(msg::kYearMismatch));
    EXPECT_EQ(LoadError("!JNL 1.00 2009\r\n", 67545), Text(msg::kYearMismatch));
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

TEST(YearFileBytes, HeaderAloneGivesAnEmptyYear)
{
    for (const char *contents : { "!JNL 1.00 2009", "!JNL 1.00 2009\r\n", "!JNL 1.00 2009\n" }) {
        const TYearRead year = ReadYear(contents);
        EXPECT_EQ(year.Contents, TYearContents());
        EXPECT_TRUE(year.Messages.isEmpty());
    }
}

TEST(YearFileBytes, DayHeaderSpellingsOfTheFifthOfJanuary)
{
    for (const char *header : { "![2009/01/05](月)", "![2009/1/5]", "![ 2009 / 01 / 05 ]",
             "![2009/01/05/]", "![2009/01/05 / ]", "![02009/01/05]", "![2009/01/05]anything",
             "![09/01/05]", "![9/1/5]", "![0002009/001/0005]" }) {
        SCOPED_TRACE(header);
        const TYearRead year = ReadYear("!JNL 1.00 2009\r\n" + sj(header) + "\r\ntext\r\n");
        EXPECT_EQ(year.Contents.Days, oneDay("text\r\n", Day(2009, 1, 5)));
        EXPECT_TRUE(year.Messages.isEmpty()) << year.Messages.join(u'|').toStdString();
    }
}

TEST(YearFileBytes, TwoDigitYearsFallInTheHundredYearsFrom50YearsAgo)
{
    EXPECT_EQ(
        ReadYear("!JNL 1.00 2009\r\n![76/01/01]\r\n![75/01/01]\r\n![00/01/01]\r\n", 2009, 2026)
            .Messages,
        (QStringList { u"日付が範囲外です。(1976/01/01)"_qs, u"日付が範囲外です。(2075/01/01)"_qs,
            u"日付が範囲外です。(2000/01/01)"_qs }));

    // Month and day alone mean the current year.
    const TYearRead current = ReadYear("!JNL 1.00 2009\r\n![01/05]\r\nfive\r\n", 2009, 2009);
    EXPECT_EQ(current.Contents.Days, oneDay("five\r\n", Day(2009, 1, 5)));
    EXPECT_TRUE(current.Messages.isEmpty());
}

TEST(YearFileBytes, UnreadableOrForeignDatesOpenRejectedBlocks)
{
    const TYearRead year = ReadYear("!JNL 1.00 2009\r\n"
                                    "![2009-01-05]\r\n![2009/02/29]\r\n![20090105]\r\n![05/01/]\r\n"
                                    "![20091/01/05]\r\n![2009/01/05 x]\r\n![2009/0/05]\r\n"
                                    "![2008/12/31]\r\n![1/1/1]\r\n![01/05]\r\n");
    EXPECT_EQ(year.Messages,
        (QStringList { u"\"2009-01-05\"は不正な日付けです。"_qs,
            u"\"2009/02/29\"は不正な日付けです。"_qs, u"\"20090105\"は不正な日付けです。"_qs,
            u"\"05/01/\"は不正な日付けです。"_qs, u"\"20091/01/05\"は不正な日付けです。"_qs,
            u"\"2009/01/05 x\"は不正な日付けです。"_qs, u"\"2009/0/05\"は不正な日付けです。"_qs,
            u"日付が範囲外です。(2008/12/31)"_qs, u"日付が範囲外です。(2001/01/01)"_qs,
            u"日付が範囲外です。(2026/01/05)"_qs }));
    EXPECT_EQ(year.Contents.ErrorData.count("\r\n"), 9);
    EXPECT_TRUE(year.Contents.ErrorData.startsWith("!![2009-01-05]\r\n!![2009/02/29]"));
    EXPECT_TRUE(year.Contents.Days.empty());
}

TEST(YearFileBytes, ShortBracketsAreNoDayHeaders)
{
    const TYearRead year
        = ReadYear("!JNL 1.00 2009\r\n![2009/01/05]\r\n![1/1/]\r\n![2009/01/06\r\n");
    EXPECT_EQ(year.Contents.Days, oneDay("![1/1/]\r\n![2009/01/06\r\n", Day(2009, 1, 5)));
    EXPECT_TRUE(year.Messages.isEmpty());
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

TEST(YearFileBytes, LaterBlocksOfADayReplaceItsTextInPlace)
{
    const TYearRead year
        = ReadYear("!JNL 1.00 2009\r\n![2009/01/07]\r\nfirst\r\n![2009/01/05]\r\nfive\r\n"
                   "![2009/01/07]\r\nsecond\r\n![2009/01/07]\r\n![2009/01/08]\r\n!---\r\n");
    EXPECT_EQ(year.Contents.Days,
        (std::vector<TDayText> {
            { "second\r\n", Day(2009, 1, 7) }, { "five\r\n", Day(2009, 1, 5) } }));
}

TEST(YearFileBytes, PreambleSettingsAndDayLinesFollowTheirOwnRules)
{
    const TYearContents year = ReadYear(Golden("preamble_rules.jnl")).Contents;
    EXPECT_EQ(year.Preamble, "First\r\n\r\nThird\r\n!=x\r\n!ErrorData");
    EXPECT_EQ(year.Settings, QList<QByteArray> { "WIDTH=640" });
    EXPECT_EQ(year.Days,
        (std::vector<TDayText> { { "!A=1\r\n!x\r\n!y\r\n\r\nlast\r\n\r\n", Day(2009, 1, 5) },
            { "seven\r\n", Day(2009, 1, 7) } }));
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

TEST(YearFileBytes, BracketAsSecondByteIsNoMarker)
{
    const TYearRead year = ReadYear(Golden("bracket_as_second_byte.jnl"));
    EXPECT_EQ(year.Contents.Preamble, sj("![メモゾゾ"));
    EXPECT_EQ(year.Contents.Days, oneDay(sj("ゾ]\r\n![abcdeゾ\r\n"), Day(2009, 1, 5)));
    EXPECT_EQ(year.Contents.ErrorData, sj("!![2009/01/0ゾ]\r\nrejected"));
    EXPECT_EQ(year.Messages, QStringList { u"\"2009/01/0ゾ\"は不正な日付けです。"_qs });
}

TEST(YearFileBytes, LoneCrAndLfBreakLinesLikeCrLf)
{
    const TYearContents crlf = ReadYear(Golden("settings_and_two_days.jnl")).Contents;
    EXPECT_EQ(ReadYear(Golden("lf_and_cr_breaks.jnl")).Contents, crlf);
    EXPECT_EQ(crlf.Days.at(0),
        TDayText("First line of the day.\r\n\r\nThird line, after an empty one.\r\n"
                 "!Fourth line, which began with one exclamation mark.\r\n",
            Day(2009, 1, 5)));

    const TYearContents lf = ReadYear("!JNL 1.00 2009\nPreamble\n![2009/01/05]\nday\n").Contents;
    EXPECT_EQ(lf.Preamble, "Preamble") << "a lone LF after the first line is one byte";
    EXPECT_EQ(lf.Days, oneDay("day\r\n", Day(2009, 1, 5)));
}

TEST(YearFileBytes, NulIsAnOrdinaryByte)
{
    const QByteArray text("a\0b", 3);
    const TYearContents year
        = ReadYear(QByteArray("!JNL 1.00 2009\r\npre") + '\0' + "amble\r\n![2009/01/05]\r\n" + text)
              .Contents;
    EXPECT_EQ(year.Preamble, QByteArray("pre\0amble", 9));
    EXPECT_EQ(year.Days, oneDay(text + "\r\n", Day(2009, 1, 5)));
}

// The format itself shows nothing; the store shows what the read returns, in the file's order,
// and a load that set blocks aside leaves the year to be saved.
TEST_F(YearFileRead, MessagesAreReturnedAndTheStoreShowsThem)
{
    const QByteArray file = "!JNL 1.00 2009\r\n![2009-01-05]\r\na\r\n![2008/12/31]\r\nb\r\n";
    const TYearRead year = ReadYear(file);
    EXPECT_TRUE(Shown.isEmpty());
    ASSERT_EQ(year.Messages.size(), 2);
    EXPECT_TRUE(Load(file)->Modified());
    EXPECT_EQ(Shown, year.Messages);
    Shown.clear();
    EXPECT_FALSE(Load("!JNL 1.00 2009\r\n![2009/01/05]\r\na\r\n")->Modified());
    EXPECT_TRUE(Shown.isEmpty());
}

} // namespace
