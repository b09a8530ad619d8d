#include "Messages.h"
#include "StoreTestSupport.h"

#include <QFileInfo>

namespace {

using Store = StoreInTempDir;

TEST_F(Store, NewStoreIsInactiveOn1900AndRefusesDayTexts)
{
    TKivDiary store;
    EXPECT_EQ(store.Year(), 1900);
    EXPECT_EQ(store.FileName(), u"1900");
    EXPECT_FALSE(store.Active());
    EXPECT_TRUE(store.AutoSave());
    EXPECT_TRUE(store.DayName());
    EXPECT_TRUE(store.Days().empty());
    EXPECT_THROW_MSG(store.GetDayText(Day(1900, 1, 1)), EKivDiaryError, msg::kNotActive);
    EXPECT_THROW_MSG(store.SetDayText(Day(1900, 1, 1), "x"), EKivDiaryError, msg::kNotActive);
    // Inactive comes first, even for a year the store could never switch to.
    EXPECT_THROW_MSG(store.GetDayText(Day(1899, 12, 31)), EKivDiaryError, msg::kNotActive);
}

TEST_F(Store, LayoutSetsPropertiesByNameWithoutReadingAFile)
{
    TKivDiary store;
    ASSERT_TRUE(store.setProperty("BaseDir", u"Data"_qs));
    ASSERT_TRUE(store.setProperty("Ext", u".jnl"_qs));
    ASSERT_TRUE(store.setProperty("Year", 1900));
    ASSERT_TRUE(store.setProperty("FileName", u"1900.jnl"_qs));
    ASSERT_TRUE(store.setProperty("AutoSave", true));
    ASSERT_TRUE(store.setProperty("Active", false));
    ASSERT_TRUE(store.setProperty("DayName", true));
    EXPECT_EQ(store.BaseDir(), u"Data/");
    EXPECT_EQ(store.FileName(), u"1900.jnl");
    EXPECT_FALSE(store.Active());
    EXPECT_TRUE(store.Days().empty());
    EXPECT_TRUE(store.Settings().isEmpty());
}

TEST_F(Store, FileNameFollowsPrefixYearAndExtension)
{
    TKivDiary store;
    store.SetBaseDir(u"Data"_qs);
    EXPECT_EQ(store.BaseDir(), u"Data/");
    store.SetBaseDir(u"Data/"_qs);
    EXPECT_EQ(store.BaseDir(), u"Data/");
    store.SetBaseDir(QString());
    EXPECT_EQ(store.BaseDir(), QString());

    store.SetPrefix(u"d"_qs);
    store.SetYear(2001);
    store.SetExt(u"jnl"_qs);
    EXPECT_EQ(store.Ext(), u".jnl");
    EXPECT_EQ(store.FileName(), u"d2001.jnl");
    store.SetExt(QString());
    EXPECT_EQ(store.FileName(), u"d2001");
    store.SetYear(12345);
    EXPECT_EQ(store.FileName(), u"d12345");

    // FileName is taken as given, and the next change of a part overwrites it.
    store.SetFileName(u"other.txt"_qs);
    EXPECT_EQ(store.FileName(), u"other.txt");
    EXPECT_EQ(store.Year(), 12345);
    store.SetPrefix(QString());
    EXPECT_EQ(store.FileName(), u"12345");
}

TEST_F(Store, PathPropertiesAreRefusedWhileActive)
{
    auto store = NewStore();
    const QString dir = store->BaseDir();
    EXPECT_THROW_MSG(store->SetBaseDir(u"elsewhere"_qs), EKivDiaryError, msg::kBaseDirActive);
    EXPECT_THROW_MSG(store->SetPrefix(u"p"_qs), EKivDiaryError, msg::kPrefixActive);
    EXPECT_THROW_MSG(store->SetExt(u".txt"_qs), EKivDiaryError, msg::kExtActive);
    EXPECT_THROW_MSG(store->SetFileName(u"x"_qs), EKivDiaryError, msg::kFileNameActive);
    EXPECT_EQ(store->BaseDir(), dir);
    EXPECT_EQ(store->Prefix(), QString());
    EXPECT_EQ(store->Ext(), u".jnl");
    EXPECT_EQ(store->FileName(), u"2009.jnl");

    store->SetAutoSave(false);
    store->SetDayName(false);
    store->SetYear(2010);
    EXPECT_EQ(store->FileName(), u"2010.jnl");
    EXPECT_TRUE(store->Active());
}

TEST_F(Store, OpenNeedsAnExistingFolderUnlessBaseDirIsEmpty)
{
    TKivDiary store;
    store.SetBaseDir(Path(u"missing"_qs));
    EXPECT_THROW_MSG(store.Open(), EKivDiaryError, msg::kNoFolder);
    EXPECT_FALSE(store.Active());
    EXPECT_TRUE(store.Days().empty());

    // An empty folder means the current one.
    const QString previous = QDir::currentPath();
    QDir::setCurrent(Dir());
    WriteAll(Path(u"1900"_qs), "!JNL 1.00 1900\r\nfrom the current folder\r\n");
    store.SetBaseDir(QString());
    store.SetActive(true);
    QDir::setCurrent(previous);
    ASSERT_EQ(store.Days().size(), 1u);
    EXPECT_EQ(store.Days()[0]->FText, "from the current folder");
}

TEST_F(Store, ClosingAnInactiveStoreDoesNothing)
{
    auto store = NewStore(2009, false);
    store->MarkModified();
    store->SetActive(false);
    EXPECT_FALSE(store->Active());
    EXPECT_TRUE(store->Modified());
    EXPECT_FALSE(QFileInfo::exists(Path(u"2009.jnl"_qs)));
}

TEST_F(Store, YearSwitchSavesTheYearItLeavesAndAnswersFromTheNewYear)
{
    WriteAll(Path(u"2009.jnl"_qs),
        "!JNL 1.00 2009\r\n!----------------\r\n![2009/03/01]\r\n"
        "!----------------\r\nMarch\r\n");
    auto store = NewStore(2008);
    store->SetDayText(Day(2008, 12, 31), "New year's eve");
    EXPECT_EQ(store->GetDayText(Day(2009, 3, 1) + 0.75), "March\r\n");
    EXPECT_EQ(store->Year(), 2009);
    EXPECT_EQ(store->FileName(), u"2009.jnl");
    EXPECT_FALSE(store->Modified());
    EXPECT_TRUE(ReadAll(Path(u"2008.jnl"_qs)).contains("New year's eve\r\n"));
    EXPECT_EQ(Shown, QStringList { u'[' + Path(u"2008.jnl"_qs) + u"]を作成します。"_qs });

    // Back again: the saved day is there.
    EXPECT_EQ(store->GetDayText(Day(2008, 12, 31)), "New year's eve\r\n");
}

TEST_F(Store, YearSwitchWithoutAutoSaveDropsTheChanges)
{
    auto store = NewStore(2008);
    store->SetAutoSave(false);
    store->SetDayText(Day(2008, 5, 5), "lost");
    store->SetYear(2009);
    EXPECT_FALSE(store->Modified());
    EXPECT_FALSE(QFileInfo::exists(Path(u"2008.jnl"_qs)));
    EXPECT_EQ(store->GetDayText(Day(2008, 5, 5)), QByteArray());
}

TEST_F(Store, SettingTheSameYearNeitherSavesNorReloads)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "kept");
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\n!A=changed on disk\r\n");
    store->SetYear(2009);
    EXPECT_TRUE(store->Modified());
    EXPECT_EQ(store->Days().size(), 2u);
    EXPECT_TRUE(store->Settings().isEmpty());
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), "!JNL 1.00 2009\r\n!A=changed on disk\r\n");
}

TEST_F(Store, YearsBelow1900AreRefusedWithoutChange)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "x");
    EXPECT_THROW_MSG(store->SetYear(1899), EAbnormalYear, msg::kAbnormalYear);
    EXPECT_THROW_MSG(store->GetDayText(Day(1899, 12, 31)), EAbnormalYear, msg::kAbnormalYear);
    EXPECT_THROW_MSG(store->SetDayText(Day(1899, 12, 31), "y"), EAbnormalYear, msg::kAbnormalYear);
    // Not a kind of EKivDiaryError: a handler for store errors must not swallow it.
    bool caughtAsStoreError = false;
    try {
        store->SetYear(1);
    } catch (const EKivDiaryError &) {
        caughtAsStoreError = true;
    } catch (const EAbnormalYear &) {
    }
    EXPECT_FALSE(caughtAsStoreError);
    EXPECT_EQ(store->Year(), 2009);
    EXPECT_EQ(store->FileName(), u"2009.jnl");
    EXPECT_TRUE(store->Modified());
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "x");
}

TEST_F(Store, InactiveYearSwitchKeepsSettingsAndErrorData)
{
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\n!W=1\r\n![2009/13/01]\r\nbad\r\n");
    auto store = NewStore(2009);
    store->SetAutoSave(false);
    store->Close();
    store->SetYear(2010);
    EXPECT_EQ(store->FileName(), u"2010.jnl");
    EXPECT_TRUE(store->Days().empty());
    EXPECT_FALSE(store->Modified());
    EXPECT_EQ(store->Settings(), QList<QByteArray> { "W=1" });
    EXPECT_EQ(store->ErrorData(), "!![2009/13/01]\r\nbad");
}

TEST_F(Store, SetDayTextStoresReplacesAndDeletes)
{
    auto store = NewStore(2009);
    ASSERT_FALSE(store->Modified());

    store->SetDayText(Day(2009, 1, 5), QByteArray());
    EXPECT_FALSE(store->Modified());
    EXPECT_EQ(store->Days().size(), 1u);

    // Two times of one day address one entry, dated by the whole day.
    store->SetDayText(Day(2009, 1, 6) + 0.9, "six");
    store->SetDayText(Day(2009, 1, 5) + 0.25, "five");
    ASSERT_EQ(store->Days().size(), 3u);
    EXPECT_EQ(store->Days()[1]->FDate, Day(2009, 1, 6));
    EXPECT_EQ(store->Days()[2]->FDate, Day(2009, 1, 5));
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5) + 0.99), "five");
    EXPECT_EQ(store->IndexOfDate(Day(2009, 1, 5) + 0.5), 2);

    store->SaveFile();
    ASSERT_FALSE(store->Modified());
    store->SetDayText(Day(2009, 1, 5), "five");
    EXPECT_FALSE(store->Modified());
    store->SetDayText(Day(2009, 1, 5), " ");
    EXPECT_TRUE(store->Modified());
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), " ");

    store->SaveFile();
    store->SetDayText(Day(2009, 1, 5), QByteArray());
    EXPECT_TRUE(store->Modified());
    EXPECT_EQ(store->IndexOfDate(Day(2009, 1, 5)), -1);
    EXPECT_EQ(store->Days().size(), 2u);
}

TEST_F(Store, EmptyTextForAnotherYearStillSwitches)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2010, 1, 1), QByteArray());
    EXPECT_EQ(store->Year(), 2010);
    EXPECT_EQ(store->Days().size(), 1u);
}

TEST_F(Store, IndexOfDateNeverLooksAtThePreamble)
{
    auto store = NewStore(2009);
    // The preamble's day number 0 is no day.
    EXPECT_EQ(store->IndexOfDate(0), -1);
    EXPECT_EQ(store->IndexOfDate(Day(2009, 1, 1)), -1);
    store->SetDayText(Day(2009, 2, 1), "a");
    store->SetDayText(Day(2009, 1, 1), "b");
    EXPECT_EQ(store->IndexOfDate(Day(2009, 1, 1)), 2);
}

TEST(Settings, NamesMatchWithoutRegardToCaseAndTheFirstLineWins)
{
    TKivDiary store;
    EXPECT_EQ(store.GetSetting("WIDTH"), QByteArray());
    store.SetSetting("WIDTH", "640");
    store.SetSetting("HEIGHT", "480");
    EXPECT_EQ(store.GetSetting("width"), "640");
    store.SetSetting("Width", "800");
    EXPECT_EQ(store.Settings(), (QList<QByteArray> { "Width=800", "HEIGHT=480" }));
    store.SetSetting("FONTNAME", QByteArray());
    EXPECT_EQ(store.Settings().last(), "FONTNAME=");
    EXPECT_FALSE(store.Modified());
}

TEST_F(Store, SettingsFromAFileKeepDuplicatesAndSkipLinesWithoutName)
{
    // The first WIDTH line is read and replaced; the second stays as it was.
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\n!A=1\r\n!WIDTH=1\r\n!width=2\r\n");
    auto store = NewStore(2009);
    EXPECT_EQ(store->GetSetting("Width"), "1");
    store->SetSetting("wIdth", "3");
    EXPECT_EQ(store->Settings(), (QList<QByteArray> { "A=1", "wIdth=3", "width=2" }));
    EXPECT_FALSE(store->Modified());
}

TEST(Settings, DoubleByteNamesMatchWithoutRegardToCase)
{
    TKivDiary store;
    store.SetSetting(sj("ＦＯＮＴ名"), sj("ＩＰＡゴシック"));
    EXPECT_EQ(store.GetSetting(sj("ｆｏｎｔ名")), sj("ＩＰＡゴシック"));
    EXPECT_EQ(store.GetSetting(sj("ＦＯＮＴ")), QByteArray());
}

TEST_F(Store, CloseSavesWhenDueAndKeepsTheYearInMemory)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 7, 7), "tanabata");
    store->SetActive(false);
    EXPECT_FALSE(store->Active());
    EXPECT_FALSE(store->Modified());
    EXPECT_EQ(store->Days().size(), 2u);
    EXPECT_TRUE(ReadAll(Path(u"2009.jnl"_qs)).contains("tanabata"));
}

TEST_F(Store, DestructionSavesWhenDue)
{
    {
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 7, 7), "tanabata");
    }
    EXPECT_TRUE(ReadAll(Path(u"2009.jnl"_qs)).contains("tanabata"));
    {
        auto store = NewStore(2010);
        store->SetAutoSave(false);
        store->SetDayText(Day(2010, 7, 7), "not written");
    }
    EXPECT_FALSE(QFileInfo::exists(Path(u"2010.jnl"_qs)));
}

TEST_F(Store, OpeningAnOpenStoreHoldsOnePreamble)
{
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\npre\r\n![2009/01/05]\r\nfive\r\n");
    auto store = NewStore(2009);
    store->SetActive(true);
    store->Close();
    store->Open();
    ASSERT_EQ(store->Days().size(), 2u);
    EXPECT_EQ(store->Days()[0]->FText, "pre");
    EXPECT_EQ(store->Days()[1]->FDate, Day(2009, 1, 5));

    // Unsaved changes are saved before the year is read again, as at a year switch.
    store->SetDayText(Day(2009, 1, 6), "six");
    store->Open();
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 6)), "six\r\n");
    EXPECT_EQ(store->Days().size(), 3u);
}

TEST_F(Store, TextsAreStoredWithCrLfBreaksOnly)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "a\n!-b\r![2009/01/06]\r\r\nc");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "a\r\n!-b\r\n![2009/01/06]\r\n\r\nc");
    store->SaveFile();
    store->SetDayText(Day(2009, 1, 5), "a\r\n!-b\n![2009/01/06]\n\nc");
    EXPECT_FALSE(store->Modified()) << "the same text with other line breaks is no change";
    store.reset();
    auto reread = NewStore(2009);
    EXPECT_EQ(reread->GetDayText(Day(2009, 1, 5)), "a\r\n!-b\r\n![2009/01/06]\r\n\r\nc\r\n");
    EXPECT_EQ(reread->Days().size(), 2u);
}

TEST_F(Store, RejectedLinesStayWithTheYearTheyCameFrom)
{
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\n![2009/02/30]\r\nrejected\r\n");
    WriteAll(Path(u"2010.jnl"_qs), "!JNL 1.00 2010\r\n");
    auto store = NewStore(2009);
    store->SetDayText(Day(2010, 1, 1), "new year");
    store->Close();
    EXPECT_TRUE(ReadAll(Path(u"2009.jnl"_qs)).contains("rejected"));
    EXPECT_FALSE(ReadAll(Path(u"2010.jnl"_qs)).contains("rejected"));
}

} // namespace
