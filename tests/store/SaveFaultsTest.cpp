// Saves that fail on real files: the previous year file stays whole, the failure names the
// file, the edits stay in memory (and in a file of the user's own where there is room), and the
// next due save writes them once the cause is gone.
#include "../FullDisk.h"
#include "ChildProcess.h"
#include "DataFolderLock.h"
#include "DiaryIdentity.h"
#include "DiskCopies.h"
#include "Messages.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <sys/stat.h>

namespace {

using SaveFault = StoreInTempDir;

const QByteArray kPrevious = "!JNL 1.00 2009\r\n\r\n!----------------\r\n![2009/01/05](月)\r\n"
                             "!----------------\r\nkept\r\n";

QString cannotCreate(const QString &path) { return Text(msg::kCannotCreate).arg(path); }

// What a failed save adds when the year went to a file of the user's own instead.
QString savedInstead(const QString &rescued)
{
    return u"\r\n"_qs + Text(msg::kSavedInstead) + u"\r\n"_qs + rescued;
}
QString rescuedName() { return u"2009.jnl.rescued-20260615-120000"_qs; }

QString createNotice(const QString &path) { return u'[' + path + Text(msg::kCreateNoticeTail); }

bool setMode(const QString &path, mode_t mode)
{
    return ::chmod(path.toLocal8Bit().constData(), mode) == 0;
}

// Every name in the folder but the dated backups' folder: a temporary file left behind by a
// failed write shows up here.
QStringList entries(const QString &folder)
{
    QStringList names = QDir(folder).entryList(
        QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System, QDir::Name);
    names.removeOne(u"backup"_qs);
    return names;
}

// A cause that makes saving fail, and what takes it away again.
struct TFault {
    const char *Name;
    std::function<bool(const QString &folder, const QString &yearFile)> Make;
    std::function<bool(const QString &folder, const QString &yearFile)> Clear;
    bool PreviousStays; // the previous year file is still there to be kept whole
};

TEST_F(SaveFault, AYearSwitchThatCannotSaveStaysOnItsYearUntilTheCauseIsGone)
{
    const std::vector<TFault> faults {
        { "the folder is read-only",
            [](const QString &folder, const QString &) { return setMode(folder, 0555); },
            [](const QString &folder, const QString &) { return setMode(folder, 0755); }, true },
        { "the year file is read-only",
            [](const QString &, const QString &file) { return setMode(file, 0444); },
            [](const QString &, const QString &file) { return setMode(file, 0644); }, true },
        { "the year file was replaced by a folder",
            [](const QString &, const QString &file) {
                return QFile::remove(file) && QDir().mkdir(file);
            },
            [](const QString &, const QString &file) { return QDir().rmdir(file); }, false },
        { "the year file was replaced by a pipe",
            [](const QString &, const QString &file) {
                return QFile::remove(file) && ::mkfifo(file.toLocal8Bit().constData(), 0644) == 0;
            },
            [](const QString &, const QString &file) { return QFile::remove(file); }, false },
        { "the folder is gone",
            [](const QString &folder, const QString &) { return QDir(folder).removeRecursively(); },
            [](const QString &folder, const QString &) { return QDir().mkdir(folder); }, false },
    };
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        int n = 0;
        for (const TFault &fault : faults) {
            const std::string name = std::string(fault.Name) + ": ";
            const QString folder = Path(QString::number(++n));
            const QString file = folder + u"/2009.jnl"_qs;
            QFile previous(file);
            check.Expect(QDir().mkdir(folder) && previous.open(QIODevice::WriteOnly)
                    && previous.write(kPrevious) == kPrevious.size(),
                name + "writing the previous file");
            previous.close();
            TKivDiary store;
            store.SetBaseDir(folder);
            store.SetExt(u"jnl"_qs);
            store.SetYear(2009);
            store.Open();
            store.SetDayText(Day(2009, 1, 6), "typed");
            check.Expect(fault.Make(folder, file), name + "making the fault");

            for (int attempt = 0; attempt < 2; ++attempt) {
                check.ExpectEq(
                    ThrownHead<EFCreateError>([&] { store.GetDayText(Day(2010, 1, 1)); }),
                    std::optional(cannotCreate(file)), name + "the switch names the file");
                check.Expect(store.Year() == 2009 && store.Modified(), name + "still on 2009");
                check.ExpectEq(store.GetDayText(Day(2009, 1, 6)), QByteArray("typed"),
                    name + "the text stays in memory");
            }
            check.ExpectEq(ThrownHead<EFCreateError>([&] { store.Close(); }),
                std::optional(cannotCreate(file)), name + "Close names the file");
            check.Expect(store.Active(), name + "Close left the store open");
            if (fault.PreviousStays) {
                check.ExpectEq(ReadAll(file), kPrevious, name + "the previous file is whole");
                const QStringList left = entries(folder);
                check.Expect(left == QStringList { u"2009.jnl"_qs }
                        || left == QStringList { u"2009.bak"_qs, u"2009.jnl"_qs },
                    name + "nothing else was left in the folder");
            }

            check.Expect(fault.Clear(folder, file), name + "clearing the fault");
            Shown.clear();
            store.GetDayText(Day(2010, 1, 1));
            check.Expect(store.Year() == 2010, name + "the next switch went through");
            check.Expect(ReadAll(file).contains("\r\ntyped\r\n"), name + "and saved the text");
            if (fault.PreviousStays) {
                check.ExpectEq(ReadAll(folder + u"/2009.bak"_qs), kPrevious, name + "backup");
                check.ExpectEq(Shown, QStringList(), name + "no notice");
            } else {
                check.ExpectEq(Shown, QStringList { createNotice(file) }, name + "the notice");
            }
        }
    });
}

TEST_F(SaveFault, FullDiskKeepsTheYearFileAndTheEditUntilThereIsRoom)
{
    WriteAll(Path(u"2009.jnl"_qs), kPrevious);
    const QByteArray big(64 * 1024, 'b');
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 6), big);
        TFullDisk limit(8192);
        check.Expect(limit.Set(), "setting the limit");
        check.ExpectEq(ThrownHead<EFCreateError>([&] { store->SaveFile(); }),
            std::optional(cannotCreate(store->FilePath())), "the save names the file");
        check.ExpectEq(ReadAll(Path(u"2009.jnl"_qs)), kPrevious, "the year file is whole");
        check.ExpectEq(ReadAll(Path(u"2009.bak"_qs)), kPrevious, "the backup is the old file");
        check.Expect(store->Modified() && store->Days().size() == 3, "the edit stays");
        check.ExpectEq(entries(Dir()), QStringList { u"2009.bak"_qs, u"2009.jnl"_qs },
            "the temporary file is gone");

        check.ExpectEq(ThrownHead<EFCreateError>([&] { store->GetDayText(Day(2010, 1, 1)); }),
            std::optional(cannotCreate(Path(u"2009.jnl"_qs))), "the switch names the file");
        check.ExpectEq(ReadAll(Path(u"2009.jnl"_qs)), kPrevious, "the previous file is whole");
        check.ExpectEq(entries(Dir()), QStringList { u"2009.bak"_qs, u"2009.jnl"_qs },
            "no cut temporary file is left");
        check.Expect(store->Year() == 2009 && store->Modified(), "still on 2009");

        limit.Lift();
        store->GetDayText(Day(2010, 1, 1));
        check.Expect(ReadAll(Path(u"2009.jnl"_qs)).contains(big), "saved once there is room");
        check.ExpectEq(ReadAll(Path(u"2009.bak"_qs)), kPrevious, "the backup is the old file");
    });
}

TEST_F(SaveFault, BackupThatCannotBeWrittenDoesNotStopTheSave)
{
    // The backup is a courtesy: when it fails the save goes on, and what stood at the backup's
    // place is left as it was rather than cut short.
    const QByteArray older = "!JNL 1.00 2009\r\n\r\nolder backup\r\n";
    const QByteArray large = kPrevious + QByteArray(16 * 1024, 'L') + "\r\n";
    const QString bak = Path(u"2009.bak"_qs);
    const QString jnl = Path(u"2009.jnl"_qs);
    const auto saveTyped = [&](TChildChecks &check, const std::string &name) {
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 5), QByteArray());
        store->SetDayText(Day(2009, 1, 6), "typed");
        store->SaveFile();
        check.Expect(!store->Modified(), name + "saved");
        check.Expect(
            ReadAll(jnl).endsWith(sj("![2009/01/06](火)\r\n!----------------\r\ntyped\r\n"))
                && !ReadAll(jnl).contains("kept"),
            name + "the year file holds the new text");
        check.ExpectEq(entries(Dir()), QStringList { u"2009.bak"_qs, u"2009.jnl"_qs },
            name + "no temporary file is left");
    };

    WriteAll(jnl, kPrevious);
    ASSERT_TRUE(QDir().mkdir(bak));
    EXPECT_IN_CHILD(TChildUser::Same, Dir(),
        [&](TChildChecks &check) { saveTyped(check, "a folder at the backup's place: "); });
    EXPECT_TRUE(QFileInfo(bak).isDir());
    ASSERT_TRUE(QDir().rmdir(bak));

    WriteAll(jnl, kPrevious);
    WriteAll(bak, older);
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        check.Expect(setMode(bak, 0444), "chmod");
        saveTyped(check, "a read-only backup: ");
        check.Expect(setMode(bak, 0644), "chmod back");
    });
    EXPECT_EQ(ReadAll(bak), older);

    WriteAll(jnl, large);
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        TFullDisk limit(8192); // the old file no longer fits, the new one does
        check.Expect(limit.Set(), "setting the limit");
        saveTyped(check, "a backup beyond the free space: ");
    });
    EXPECT_EQ(ReadAll(bak), older);
}

TEST_F(SaveFault, ASmallTextOnAFullDiskLeavesNoCutFile)
{
    // Both texts stay well under the 16 KiB a buffered file would hold back until it is too late
    // to report the short write.
    const QString jnl = Path(u"2009.jnl"_qs);
    const QString bak = Path(u"2009.bak"_qs);
    const QByteArray previous = kPrevious + QByteArray(2048, 'p') + "\r\n";
    WriteAll(jnl, previous);
    WriteAll(bak, "older backup");
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 6), QByteArray(4096, 'n'));
        TFullDisk limit(1024);
        check.ExpectEq(ThrownHead<EFCreateError>([&] { store->SaveFile(); }),
            std::optional(cannotCreate(jnl)), "the save fails");
        check.ExpectEq(ReadAll(jnl), previous, "the year file is whole");
        check.ExpectEq(ReadAll(bak), QByteArray("older backup"), "the older backup is whole");
        store->SetAutoSave(false);
    });
}

TEST_F(SaveFault, ABackupWrittenInPlaceIsPutBackWhenTheDiskIsFull)
{
    // The year file no longer fits in the room left, so neither its backup nor itself is
    // written; the older backup stays as it was.
    const QString jnl = Path(u"2009.jnl"_qs);
    const QString bak = Path(u"2009.bak"_qs);
    const QByteArray large = kPrevious + QByteArray(16 * 1024, 'L') + "\r\n";
    WriteAll(jnl, large);
    WriteAll(bak, "older backup");
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        check.Expect(setMode(Dir(), 0555), "chmod");
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 6), "typed");
        TFullDisk limit(8192);
        check.ExpectEq(ThrownHead<EFCreateError>([&] { store->SaveFile(); }),
            std::optional(cannotCreate(jnl)), "the save fails");
        check.ExpectEq(ReadAll(bak), QByteArray("older backup"), "the older backup is whole");
        check.ExpectEq(ReadAll(jnl), large, "the year file is whole");
        check.Expect(setMode(Dir(), 0755), "chmod back");
        store->SetAutoSave(false);
    });
}

TEST_F(SaveFault, AFolderThatTakesNoNewFilesStillGetsItsYearFileWrittenInPlace)
{
    // Once the backup holds the previous text, the year file itself is written over; a write
    // that fails there puts the previous text back.
    const QString jnl = Path(u"2009.jnl"_qs);
    const QString bak = Path(u"2009.bak"_qs);
    WriteAll(jnl, kPrevious);
    WriteAll(bak, "older backup");
    const QByteArray big(64 * 1024, 'b');
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        check.Expect(setMode(jnl, 0600) && setMode(bak, 0644) && setMode(Dir(), 0555), "chmod");
        auto store = NewStore(2009);
        store->SetDayText(Day(2009, 1, 6), big);
        TFullDisk limit(8192);
        check.ExpectEq(ThrownHead<EFCreateError>([&] { store->SaveFile(); }),
            std::optional(cannotCreate(jnl)), "a full disk names the file");
        check.ExpectEq(ReadAll(jnl), kPrevious, "and leaves the previous text");
        limit.Lift();
        store->SaveFile();
        check.Expect(ReadAll(jnl).endsWith(big + "\r\n") && !store->Modified(), "saved in place");
        check.ExpectEq(ReadAll(bak), kPrevious, "the backup is the previous file");
        check.Expect(QFileInfo(bak).permissions() == QFileInfo(jnl).permissions(), "its mode");
        check.ExpectEq(entries(Dir()), QStringList { u"2009.bak"_qs, u"2009.jnl"_qs }, "no more");
        check.Expect(setMode(Dir(), 0755), "chmod back");
    });
}

// A restore moves the folder away and puts a copy at its path: the store writes by path, so the
// lock goes to the folder there at the save, and a diary that holds that one keeps the save out.
TEST_F(SaveFault, TheFolderLockFollowsThePathItsSaveWritesTo)
{
    const QString data = Path(u"Data/"_qs);
    ASSERT_TRUE(QDir().mkpath(data));
    TKivDiary store;
    store.SetBaseDir(data);
    store.SetExt(u".jnl"_qs);
    store.SetYear(2009);
    store.Open();
    TDataFolderLock mine;
    ASSERT_EQ(mine.Acquire(data), TDataFolderLock::TState::Held);
    TKivDiary::FolderGuard = [&mine](const QString &folder) {
        return mine.Follow(folder) != TDataFolderLock::TState::InUse;
    };
    const auto unguarded = qScopeGuard([] { TKivDiary::FolderGuard = nullptr; });
    store.SetDayText(Day(2009, 1, 5), "typed");
    ASSERT_TRUE(QDir().rename(data, Path(u"Data.old"_qs)) && QDir().mkpath(data));
    {
        TDataFolderLock other;
        ASSERT_EQ(other.Acquire(data), TDataFolderLock::TState::Held);
        EXPECT_THROW_MSG(store.SaveFile(), EKivDiaryError,
            (Text(msg::kFolderHeldElsewhere) + u"\r\n"_qs + data).toStdString());
        EXPECT_TRUE(QDir(data).isEmpty());
    }
    store.SaveFile();
    TDataFolderLock later;
    EXPECT_EQ(later.Acquire(data), TDataFolderLock::TState::InUse);
}

// Another diary's folder moved to the path gets nothing of this one: nothing is written and the
// text stays unsaved.
TEST_F(SaveFault, AnotherDiarysFolderAtThePathIsNeverWritten)
{
    const QString data = Path(u"Data/"_qs);
    const QString other = Path(u"B/"_qs);
    const QByteArray theirs = "!JNL 1.00 2009\r\n![2009/01/06]\r\nB's\r\n";
    ASSERT_TRUE(QDir().mkpath(data) && QDir().mkpath(other));
    WriteAll(other + u"2009.jnl"_qs, theirs);
    ASSERT_FALSE(ClaimDiaryIdentity(other, QString(), u".jnl"_qs).isEmpty());
    TKivDiary store;
    store.SetBaseDir(data);
    store.SetExt(u".jnl"_qs);
    store.SetYear(2009);
    store.Open();
    store.SetDayText(Day(2009, 1, 5), "A's");
    ASSERT_TRUE(QDir().rename(data, Path(u"A"_qs)) && QDir().rename(other, data));
    EXPECT_THROW_MSG(store.SaveFile(), EKivDiaryError,
        (Text(msg::kOtherDiaryAtPath) + u"\r\n"_qs + data).toStdString());
    EXPECT_EQ(ReadAll(data + u"2009.jnl"_qs), theirs);
    EXPECT_TRUE(store.Unsaved());
    store.SetAutoSave(false);
}

TEST_F(SaveFault, YearFilePathThatIsAFolderCannotBeWritten)
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

TEST_F(SaveFault, WithNowhereToKeepTheYearTheSaveNamesTheDaysAtRisk)
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

TEST_F(SaveFault, FinalSaveFailureIsShownNotThrown)
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

} // namespace
