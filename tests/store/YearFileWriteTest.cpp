#include "Messages.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using YearFileWrite = StoreInTempDir;

// The year of the example file, built in memory with its days added out of order.
void FillExample(TKivDiary &store)
{
    store.SetSetting("WIDTH", "640");
    store.SetSetting("HEIGHT", "480");
    store.SetSetting("DAYNAME", "TRUE");
    store.SetDayText(Day(2009, 1, 6), "Another day.\r\n\r\n  \t");
    store.SetDayText(Day(2009, 1, 5),
        "First line of the day.\r\n\r\nThird line, after an empty one."
        "\r\n!Fourth line, which began with one exclamation mark.");
}

TEST_F(YearFileWrite, WritesTheFormatByteForByteAndSortsTheDays)
{
    auto store = NewStore(2009);
    FillExample(*store);
    store->SaveFile();
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), Golden("settings_and_two_days.jnl"));
    EXPECT_FALSE(store->Modified());
    ASSERT_EQ(store->Days().size(), 3u);
    EXPECT_EQ(store->Days()[1]->FDate, Day(2009, 1, 5));
    EXPECT_EQ(store->Days()[2]->FDate, Day(2009, 1, 6));
}

TEST_F(YearFileWrite, WithoutDayNamesSeparatorsAreShorter)
{
    auto store = NewStore(2009);
    store->SetDayName(false);
    FillExample(*store);
    store->SaveFile();
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), Golden("two_days_without_day_names.jnl"));
}

QByteArray rewritten(const QByteArray &bytes)
{
    return WriteYearFile(ReadYear(bytes).Contents, 2009, true, JapaneseWeekdays());
}

TEST(YearFileBytes, ReadingAndWritingAGoldenFileChangesNothing)
{
    EXPECT_EQ(rewritten(Golden("settings_and_two_days.jnl")), Golden("settings_and_two_days.jnl"));
    // Line breaks of any kind come out as CR LF.
    EXPECT_EQ(rewritten(Golden("lf_and_cr_breaks.jnl")), Golden("settings_and_two_days.jnl"));
    // So does the preamble read from a file.
    const QByteArray preamble = ReadYear(Golden("preamble_rules.jnl")).Contents.Preamble;
    EXPECT_EQ(ReadYear(rewritten(Golden("preamble_rules.jnl"))).Contents.Preamble, preamble);
}

TEST_F(YearFileWrite, AnEmptyYearIsTwoLinesAndItsFirstSaveIsAnnounced)
{
    auto store = NewStore(2009);
    store->SaveFile();
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), "!JNL 1.00 2009\r\n\r\n");
    EXPECT_EQ(Shown, QStringList { u'[' + Path(u"2009.jnl"_qs) + u"]を作成します。"_qs });
    EXPECT_FALSE(QFileInfo::exists(Path(u"2009.bak"_qs)));
}

TEST_F(YearFileWrite, SaveBacksUpThePreviousFileOverAnOlderBackup)
{
    const QByteArray previous = "!JNL 1.00 2009\r\nprevious\r\n";
    WriteAll(Path(u"2009.jnl"_qs), previous);
    WriteAll(Path(u"2009.bak"_qs), "older backup, longer than the previous file itself");
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 1), "new");
    store->SaveFile();
    EXPECT_EQ(ReadAll(Path(u"2009.bak"_qs)), previous);
    EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(YearFileWrite, TheBackupIsNoMoreOpenThanTheYearFile)
{
    const QString jnl = Path(u"2009.jnl"_qs);
    const QString bak = Path(u"2009.bak"_qs);
    struct Case {
        mode_t Year;
        std::optional<mode_t> OlderBackup;
    } const cases[] = { { 0600, std::nullopt }, { 0600, 0644 }, { 0640, 0666 }, { 0664, 0600 } };
    for (const Case &c : cases) {
        QFile::remove(bak);
        WriteAll(jnl, "!JNL 1.00 2009\r\n");
        ASSERT_EQ(::chmod(jnl.toLocal8Bit().constData(), c.Year), 0);
        if (c.OlderBackup) {
            WriteAll(bak, "older");
            ASSERT_EQ(::chmod(bak.toLocal8Bit().constData(), *c.OlderBackup), 0);
        }
        NewStore(2009)->SaveFile();
        struct stat info { };
        ASSERT_EQ(::stat(bak.toLocal8Bit().constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, c.Year) << std::oct << c.Year;
    }
}

// A save killed before its rename leaves a temporary beside the year file or its backup; the
// next save of the year takes it away, and nothing else.
TEST_F(YearFileWrite, TheNextSaveRemovesOnlyTheWritersOwnLeftovers)
{
    const QStringList others { u".2009.jnl-a1-2c3"_qs, u".2009.jnl-keep"_qs,
        u".2010.jnl-a1B2c3"_qs };
    for (const QString &name : others + QStringList { u".2009.jnl-a1B2c3"_qs })
        WriteAll(Path(name), "x");
    NewStore(2009)->SaveFile();
    EXPECT_EQ(QDir(Dir()).entryList(QDir::Files | QDir::Hidden),
        (QStringList { others + QStringList { u".kivlog-diary"_qs, u"2009.jnl"_qs } }));
}

// A year file kept in a synced folder and linked into the data folder is written where the link
// leads, and the link stays.
TEST_F(YearFileWrite, AYearFileThatIsALinkIsWrittenWhereItLeads)
{
    ASSERT_TRUE(QDir(Dir()).mkdir(u"synced"_qs));
    WriteAll(Path(u"synced/2009.jnl"_qs), "!JNL 1.00 2009\r\n");
    ASSERT_EQ(::symlink("synced/2009.jnl", QFile::encodeName(Path(u"2009.jnl"_qs)).constData()), 0);
    auto store = NewStore(2009);
    for (const char *text : { "one", "two" }) {
        store->SetDayText(Day(2009, 1, 5), text);
        store->SaveFile();
        EXPECT_TRUE(ReadAll(Path(u"synced/2009.jnl"_qs)).contains(text));
    }
    EXPECT_TRUE(QFileInfo(Path(u"2009.jnl"_qs)).isSymLink());
    EXPECT_TRUE(Shown.isEmpty()) << Shown.join(u'|').toStdString();
}

TEST_F(YearFileWrite, BackupPathReplacesOnlyTheNamesExtension)
{
    QDir(Dir()).mkpath(u"v1.0"_qs);
    TKivDiary store;
    store.SetBaseDir(Path(u"v1.0"_qs));
    store.SetPrefix(u"d"_qs);
    store.SetYear(2009);
    WriteAll(store.FilePath(), "!JNL 1.00 2009\r\n");
    store.Open();
    store.SaveFile();
    EXPECT_EQ(ReadAll(Path(u"v1.0/d2009.bak"_qs)), "!JNL 1.00 2009\r\n");
}

TEST(YearFileBytes, DayTextsThroughAWriteAndARead)
{
    struct Case {
        const char *stored;
        const char *line; // as it stands in the file
        const char *loaded;
    };
    const Case cases[] = {
        { "abc", "abc\r\n", "abc\r\n" },
        { "abc\r\n\r\n  ", "abc\r\n", "abc\r\n" },
        { " ", "\r\n", "\r\n" },
        { "\t\r\n\x01", "\r\n", "\r\n" },
        { "!x", "!!x\r\n", "!x\r\n" },
        { "!!x", "!!!x\r\n", "!!x\r\n" },
        { "a\r\n!-b", "a\r\n!!-b\r\n", "a\r\n!-b\r\n" },
        { "a\r\n![2009/01/06]\r\n!", "a\r\n!![2009/01/06]\r\n!!\r\n",
            "a\r\n![2009/01/06]\r\n!\r\n" },
        { "a\r\n!!\r\n!!!", "a\r\n!!!\r\n!!!!\r\n", "a\r\n!!\r\n!!!\r\n" },
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.stored);
        TYearContents year;
        year.Days.emplace_back(c.stored, Day(2009, 1, 5));
        const QByteArray file = WriteYearFile(year, 2009, false, {});
        const QByteArray head
            = "!JNL 1.00 2009\r\n\r\n!------------\r\n![2009/01/05]\r\n!------------\r\n";
        EXPECT_EQ(file, head + c.line);
        EXPECT_EQ(ReadYear(file).Contents.Days,
            (std::vector<TDayText> { { c.loaded, Day(2009, 1, 5) } }));
    }
}

TEST(EscapeText, UnescapeUndoesEscapeAndProtectsEveryLine)
{
    for (const char *text :
        { "", "!", "!!", "x!", "\r\n!", "\r\n!!\r\n!", "!\r\n\r\n!-\r\n![", "\r!" }) {
        SCOPED_TRACE(text);
        const QByteArray escaped = TKivDiary::EscapeText(text);
        EXPECT_EQ(TKivDiary::UnescapeText(escaped), text);
        for (const QByteArray &line : escaped.split('\n'))
            EXPECT_FALSE(line.startsWith("![") || line.startsWith("!-")) << line.constData();
    }
    EXPECT_EQ(TKivDiary::UnescapeText("!!!a\r\n!!!b\r\n!c"), "!!a\r\n!!b\r\n!c");
}

TEST_F(YearFileWrite, OddSettingNamesDoNotComeBackAsSettings)
{
    auto store = NewStore(2009);
    store->SetSetting("", "empty name");
    store->SetSetting("-dash", "skipped");
    store->SetSetting("OK", "");
    store.reset(); // nothing modified: settings alone are not saved
    EXPECT_FALSE(QFileInfo::exists(Path(u"2009.jnl"_qs)));

    TYearContents odd;
    odd.Settings = { "=empty name", "-dash=skipped", "OK=" };
    const QByteArray file = WriteYearFile(odd, 2009, true, {});
    EXPECT_EQ(file, "!JNL 1.00 2009\r\n\r\n!=empty name\r\n!-dash=skipped\r\n!OK=\r\n\r\n");
    const TYearContents reread = ReadYear(file).Contents;
    EXPECT_EQ(reread.Settings, QList<QByteArray> { "OK=" });
    EXPECT_EQ(reread.Preamble, "!=empty name\r\n");
}

} // namespace
