// Failures the store must survive without losing the user's diary.
#include "Messages.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using StoreFailure = StoreInTempDir;

QString cannotCreate(const QString &path)
{
    return QString::fromUtf8(msg::kCannotCreate).arg(path);
}
QString cannotOpen(const QString &path) { return QString::fromUtf8(msg::kCannotOpen).arg(path); }

TEST_F(StoreFailure, WriteBeyondTheFileSizeLimitKeepsTheOldFile)
{
    const QByteArray previous = "!JNL 1.00 2009\r\n!----------------\r\n![2009/01/05](月)\r\n"
                                "!----------------\r\nkept\r\n";
    WriteAll(Path(u"2009.jnl"_qs), sj(previous.constData()));
    fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Each check has its own exit status, so the parent can say which one failed.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 4096, 4096 };
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            _exit(10);
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 6), QByteArray(100000, 'x'));
        int status = 11;
        try {
            store->SaveFile();
        } catch (const EFCreateError &e) {
            status = e.Message() == cannotCreate(store->FilePath()) ? 0 : 12;
        } catch (...) {
            status = 13;
        }
        if (status == 0 && ReadAll(Path(u"2009.jnl"_qs)) != sj(previous.constData()))
            status = 14;
        if (status == 0 && ReadAll(Path(u"2009.bak"_qs)) != sj(previous.constData()))
            status = 15;
        if (status == 0 && (!store->Modified() || store->Days().size() != 3))
            status = 16;
        if (status == 0 && QDir(Dir()).entryList(QDir::Files).size() != 2)
            status = 17; // the temporary file must be gone
        store->SetAutoSave(false);
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(StoreFailure, YearFilePathThatIsAFolderCannotBeWritten)
{
    auto store = NewStore(2009);
    store->SetDayText(Day(2009, 1, 5), "text");
    QDir(Dir()).mkdir(u"2009.jnl"_qs);
    EXPECT_THROW_MSG(
        store->SaveFile(), EFCreateError, cannotCreate(Path(u"2009.jnl"_qs)).toStdString());
    EXPECT_TRUE(store->Modified());
    EXPECT_TRUE(QFileInfo(Path(u"2009.jnl"_qs)).isDir());

    // A failed save inside Close leaves the store active; inside a year switch, on its year.
    EXPECT_THROW(store->Close(), EFCreateError);
    EXPECT_TRUE(store->Active());
    EXPECT_THROW(store->SetYear(2010), EFCreateError);
    EXPECT_EQ(store->Year(), 2009);
    EXPECT_EQ(store->FileName(), u"2009.jnl");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "text");
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
    EXPECT_EQ(store->LoadError(), QString::fromUtf8(msg::kBadData));
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
    store.reset();
    const QString path = Path(u"2009.jnl"_qs);
    EXPECT_EQ(Shown,
        QStringList {
            u"日記を保存できませんでした。\r\n"_qs + path + u"\r\n"_qs + cannotCreate(path) });
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
