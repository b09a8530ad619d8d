// Failures the store must survive without losing the user's diary.
#include "../FullDisk.h"
#include "ChildProcess.h"
#include "DiskCopies.h"
#include "Messages.h"
#include "StoreTestSupport.h"

#include <QFileInfo>

namespace {

using StoreFailure = StoreInTempDir;

QString cannotCreate(const QString &path) { return Text(msg::kCannotCreate).arg(path); }
// What a failed save adds when the year went to a file of the user's own instead.
QString savedInstead(const QString &rescued)
{
    return u"\r\n"_qs + Text(msg::kSavedInstead) + u"\r\n"_qs + rescued;
}
QString rescuedName() { return u"2009.jnl.rescued-20260615-120000"_qs; }
QString cannotOpen(const QString &path) { return Text(msg::kCannotOpen).arg(path); }

TEST_F(StoreFailure, WriteBeyondTheFileSizeLimitKeepsTheOldFile)
{
    const QByteArray previous = sj("!JNL 1.00 2009\r\n!----------------\r\n![2009/01/05](月)\r\n"
                                   "!----------------\r\nkept\r\n");
    WriteAll(Path(u"2009.jnl"_qs), previous);
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 6), QByteArray(100000, 'x'));
        TFullDisk full(4096);
        check.ExpectEq(ThrownHead<EFCreateError>([&] { store->SaveFile(); }),
            std::optional(cannotCreate(store->FilePath())), "the save names the file");
        check.ExpectEq(ReadAll(Path(u"2009.jnl"_qs)), previous, "the year file is whole");
        check.ExpectEq(ReadAll(Path(u"2009.bak"_qs)), previous, "the backup is the old file");
        check.Expect(store->Modified() && store->Days().size() == 3, "the edit stays");
        check.ExpectEq(QDir(Dir()).entryList(QDir::Files | QDir::Hidden).size(), qsizetype(2),
            "the temporary file is gone");
        store->SetAutoSave(false);
    });
}

TEST_F(StoreFailure, YearFilePathThatIsAFolderCannotBeWritten)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "text");
    QDir(Dir()).mkdir(u"2009.jnl"_qs);
    const QString rescued = RescueFolder() + rescuedName();
    EXPECT_THROW_MSG(store->SaveFile(), EFCreateError,
        (cannotCreate(Path(u"2009.jnl"_qs)) + savedInstead(rescued)).toStdString());
    EXPECT_TRUE(store->Modified());
    EXPECT_TRUE(QFileInfo(Path(u"2009.jnl"_qs)).isDir());
    // The whole year as its file would hold it.
    EXPECT_EQ(ReadAll(rescued), WriteYearFile(store->Contents(), 2009, true, JapaneseWeekdays()));

    // A failed save inside Close leaves the store active; inside a year switch, on its year.
    EXPECT_THROW(store->Close(), EFCreateError);
    EXPECT_TRUE(store->Active());
    EXPECT_THROW(store->SetYear(2010), EFCreateError);
    EXPECT_EQ(store->Year(), 2009);
    EXPECT_EQ(store->FileName(), u"2009.jnl");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "text");
    // Tried again, a save names the same file; a new edit goes to a file of its own.
    EXPECT_EQ(QDir(RescueFolder()).entryList(QDir::Files), QStringList { rescuedName() });
    store->SetDayText(Day(2009, 1, 6), "more");
    EXPECT_THROW_MSG(store->SaveFile(), EFCreateError,
        (cannotCreate(Path(u"2009.jnl"_qs)) + savedInstead(rescued + u"-2"_qs)).toStdString());
    EXPECT_TRUE(ReadAll(rescued + u"-2"_qs).contains("\r\nmore\r\n"));
    store->SetAutoSave(false);
}

TEST_F(StoreFailure, WithNowhereToKeepTheYearTheSaveNamesTheDaysAtRisk)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "text");
    QDir(Dir()).mkdir(u"2009.jnl"_qs);
    // Where the user's own data folder would be made, a file stands.
    const QString home = UserDataFolder().chopped(1);
    WriteAll(home, "in the way");
    EXPECT_THROW_MSG(store->SaveFile(), EFCreateError,
        (cannotCreate(Path(u"2009.jnl"_qs)) + u"\r\n"_qs + Text(msg::kKeptInProcessOnly)
            + u"\r\n2009/01/05"_qs)
            .toStdString());
    store->SetAutoSave(false);
}

TEST_F(StoreFailure, AYearThatFailedToLoadIsNeverWritten)
{
    const QByteArray damaged = "!JNL 1.00 2010x\r\n![2010/01/01]\r\nprecious\r\n";
    WriteAll(Path(u"2010.jnl"_qs), damaged);
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 12, 31), "saved on the way out");
    EXPECT_THROW_MSG(store->GetDayText(Day(2010, 1, 1)), EKivDiaryError, msg::kBadData);
    EXPECT_EQ(store->Year(), 2010);
    EXPECT_EQ(store->LoadError(), Text(msg::kBadData));
    EXPECT_TRUE(ReadAll(Path(u"2009.jnl"_qs)).contains("saved on the way out"));

    EXPECT_THROW_MSG(store->GetDayText(Day(2010, 1, 1)), EKivDiaryError, msg::kBadData);
    EXPECT_THROW_MSG(store->SetDayText(Day(2010, 1, 2), "lost"), EKivDiaryError, msg::kBadData);
    EXPECT_TRUE(store->Days().empty());

    store->MarkModified();
    store->SaveFile();
    EXPECT_FALSE(store->Modified());
    store->MarkModified();
    store->Close();
    EXPECT_FALSE(store->Modified());
    EXPECT_EQ(ReadAll(Path(u"2010.jnl"_qs)), damaged);
    EXPECT_FALSE(QFileInfo::exists(Path(u"2010.bak"_qs)));

    // Repaired by hand, the year opens again.
    WriteAll(Path(u"2010.jnl"_qs), "!JNL 1.00 2010\r\n![2010/01/01]\r\nprecious\r\n");
    store->Open();
    EXPECT_EQ(store->LoadError(), QString());
    EXPECT_EQ(store->GetDayText(Day(2010, 1, 1)), "precious\r\n");
}

TEST_F(StoreFailure, AnUnreadableYearFileBlocksItsYearWithTheFileMessage)
{
    QDir(Dir()).mkdir(u"2010.jnl"_qs);
    auto store = NewStore(2010, false);
    const std::string message = cannotOpen(Path(u"2010.jnl"_qs)).toStdString();
    EXPECT_THROW_MSG(store->Open(), EFOpenError, message);
    EXPECT_TRUE(store->Active());
    EXPECT_THROW_MSG(store->GetDayText(Day(2010, 3, 3)), EKivDiaryError, message);

    // Leaving the year ends it; the other year works as usual.
    store->SetDayText(Day(2011, 3, 3), "fine");
    EXPECT_EQ(store->LoadError(), QString());
    EXPECT_EQ(store->GetDayText(Day(2011, 3, 3)), "fine");
}

TEST_F(StoreFailure, AnEmptyYearFileIsDamagedData)
{
    WriteAll(Path(u"2009.jnl"_qs), QByteArray());
    auto store = NewStore(2009, false);
    EXPECT_THROW_MSG(store->Open(), EKivDiaryError, msg::kBadData);
    EXPECT_TRUE(store->Days().empty());
    store->Close();
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), QByteArray());
}

TEST_F(StoreFailure, FinalSaveFailureIsShownNotThrown)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "text");
    QDir(Dir()).mkdir(u"2009.jnl"_qs);
    Shown.clear();
    EXPECT_FALSE(store->FinalSave());
    store.reset(); // made no second save
    const QString path = Path(u"2009.jnl"_qs);
    EXPECT_EQ(Shown,
        QStringList { u"日記を保存できませんでした。\r\n"_qs + path + u"\r\n"_qs
            + cannotCreate(path) + savedInstead(RescueFolder() + rescuedName()) });
    EXPECT_TRUE(ReadAll(RescueFolder() + rescuedName()).endsWith("\r\ntext\r\n"));
}

TEST_F(StoreFailure, OpeningAnOpenStoreHoldsOnePreamble)
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

TEST_F(StoreFailure, TextsAreStoredWithCrLfBreaksOnly)
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

TEST_F(StoreFailure, ALoadCutShortByAForeignExceptionBlocksItsYear)
{
    // The message about the bad date is where the load is cut short, after the first day.
    const QByteArray file = "!JNL 1.00 2009\r\n![2009/01/05]\r\nfirst\r\n![2009/02/30]\r\n"
                            "![2009/01/06]\r\nlast\r\n";
    WriteAll(Path(u"2009.jnl"_qs), file);
    {
        TScopedDiaryServices failing({ [](const QString &) { throw std::bad_alloc(); }, {}, {} });
        auto store = NewStore(2009, false);
        EXPECT_THROW(store->Open(), std::bad_alloc);
        EXPECT_THROW(store->SetDayText(Day(2009, 1, 7), "typed"), EKivDiaryError);
        store->MarkModified();
        store->SaveFile();
    }
    EXPECT_EQ(ReadAll(Path(u"2009.jnl"_qs)), file);
}

TEST_F(StoreFailure, RejectedLinesStayWithTheYearTheyCameFrom)
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
