// The year file changed by another program while the store holds it, and the copies the store
// keeps: conflict files, dated backups.
#include "../FullDisk.h"
#include "ChildProcess.h"
#include "DiarySearch.h"
#include "DiskCopies.h"
#include "Messages.h"
#include "StoreTestSupport.h"
#include "YearFileName.h"
#include "YearMerge.h"

#include <QFileInfo>
#include <sys/stat.h>

namespace {

using DiskChange = StoreInTempDir;

const QByteArray kLoaded = "!JNL 1.00 2009\r\n\r\n!----------------\r\n![2009/01/05](月)\r\n"
                           "!----------------\r\nloaded\r\n";
const QByteArray kOther = "!JNL 1.00 2009\r\n\r\n![2009/01/06]\r\nother\r\n";

QString msgText(const char *utf8) { return QString::fromUtf8(utf8); }

int modeOf(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 0777) : -1;
}

void replaceByRename(const QString &path, const QByteArray &bytes)
{
    WriteAll(path + u".tmp"_qs, bytes);
    ASSERT_EQ(::rename(QFile::encodeName(path + u".tmp"_qs).constData(),
                  QFile::encodeName(path).constData()),
        0);
}

TEST_F(DiskChange, SaveNeverWritesOverAVersionItDidNotRead)
{
    enum Kept { None, Merged, Ours };
    const struct {
        const char *Name;
        std::function<void(const QString &)> Change;
        Kept Conflict;
        bool YearFileIsOurs;
    } cases[] = {
        { "rewritten in place", [](const QString &p) { WriteAll(p, kOther); }, Merged, true },
        { "replaced by rename", [](const QString &p) { replaceByRename(p, kOther); }, Merged,
            true },
        { "same bytes again", [](const QString &p) { replaceByRename(p, kLoaded); }, None, true },
        { "removed", [](const QString &p) { QFile::remove(p); }, None, true },
        { "damaged", [](const QString &p) { WriteAll(p, "garbage\r\n"); }, Ours, false },
        { "another year", [](const QString &p) { WriteAll(p, "!JNL 1.00 2010\r\n"); }, Ours,
            false },
        { "same size, time put back",
            [](const QString &p) {
                RewriteKeepingTime(p, QByteArray(kLoaded).replace("loaded", "other!"));
            },
            Merged, true },
        { "damaged, same size, time put back",
            [](const QString &p) {
                RewriteKeepingTime(p, QByteArray(kLoaded).replace("!JNL", "?JNL"));
            },
            Ours, false },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        StartAfresh();
        Shown.clear();
        const QString path = Path(u"2009.jnl"_qs);
        WriteAll(path, kLoaded);
        ::chmod(QFile::encodeName(path).constData(), 0600);
        WriteAll(Path(u"2009.bak"_qs), "older");
        auto store = NewStore();
        store->SetDayText(Day(2009, 1, 7), "ours\r\n");
        c.Change(path);
        const QByteArray changed = ReadAll(path);
        store->SaveFile();
        // The .bak holds only a version the diary could read.
        EXPECT_EQ(
            ReadAll(Path(u"2009.bak"_qs)) == "older", c.Conflict == Ours || changed == "<missing>");

        const QStringList conflicts = ConflictFilesOf(path);
        ASSERT_EQ(conflicts.size(), c.Conflict == Ours ? 1 : 0);
        EXPECT_EQ(ReadAll(path).contains("ours"), c.YearFileIsOurs);
        EXPECT_FALSE(store->Modified());
        if (c.Conflict == Merged) {
            // Their days came in beside ours; the version replaced is in the .bak.
            for (const TDayText &day : ReadYearFile(changed, 2009, kYearNow).Contents.Days)
                EXPECT_EQ(store->GetDayText(day.FDate), day.FText);
            EXPECT_EQ(ReadAll(Path(u"2009.bak"_qs)), changed);
            ASSERT_EQ(Shown.size(), 1);
            EXPECT_TRUE(Shown[0].startsWith(msgText(msg::kMergedChangedDays)));
            continue;
        }
        if (c.Conflict == None) {
            EXPECT_TRUE(Shown.filter(u".conflict-"_qs).isEmpty());
            continue;
        }
        EXPECT_EQ(conflicts[0], path + u".conflict-20260615-120000"_qs);
        EXPECT_EQ(modeOf(conflicts[0]), 0600);
        EXPECT_EQ(ReadAll(conflicts[0]).contains("ours"), c.Conflict == Ours);
        EXPECT_EQ(ReadAll(path), changed);
        // One message, naming the file that holds the version not in the year file.
        ASSERT_EQ(Shown.size(), 1);
        EXPECT_TRUE(Shown[0].endsWith(conflicts[0]));
        // The folder's year files are the year file alone.
        EXPECT_EQ(diarysearch::ListYearFiles(Dir(), QString(), u".jnl"_qs).size(), 1);
    }
}

TEST(YearFileNames, AreSpelledAndReadBackOneWay)
{
    struct TCase {
        const char *Prefix, *Ext, *Name;
        int Year; // -1: no year file of that prefix and extension
    };
    const TCase cases[] = {
        { "d", ".jnl", "d2009.jnl", 2009 },
        { "", ".jnl", "0001.jnl", 1 },
        { "d", "", "d2009", 2009 },
        { "d", ".jnl", "d209.jnl", -1 },
        { "d", ".jnl", "d20090.jnl", -1 },
        { "d", ".jnl", "e2009.jnl", -1 },
        { "d", ".jnl", "d2009.bak", -1 },
        { "", ".jnl", "２００９.jnl", -1 },
    };
    for (const TCase &c : cases) {
        const TYearFileName names { QString::fromUtf8(c.Prefix), QString::fromUtf8(c.Ext) };
        EXPECT_EQ(names.YearOf(QString::fromUtf8(c.Name)).value_or(-1), c.Year) << c.Name;
        if (c.Year >= 0) {
            EXPECT_EQ(names.Of(c.Year), QString::fromUtf8(c.Name));
        }
    }
    // Without the folder's prefix: the four digits before the last ".".
    const auto split = [](const char *name) {
        const auto s = TYearFileName::Split(QString::fromUtf8(name));
        return s ? s->Name.Prefix + u'|' + TYearFileName::Digits(s->Year) + u'|' + s->Name.Ext
                 : QString();
    };
    EXPECT_EQ(split("d.2009.jnl"), u"d.|2009|.jnl"_qs);
    EXPECT_EQ(split("10000.jnl"), u"1|0000|.jnl"_qs);
    EXPECT_EQ(split("2009"), u"|2009|"_qs);
    EXPECT_EQ(split("2009.tar.gz"), QString());
    EXPECT_EQ(split(".jnl"), QString());
}

TEST_F(DiskChange, CheckSeesChangesAndReloadKeepsWhatDoesNotRead)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    auto store = NewStore();
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::None);
    replaceByRename(path, kLoaded); // a sync tool bringing back the same bytes
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::None);

    replaceByRename(path, kOther);
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::Changed);
    EXPECT_TRUE(store->ReloadFile());
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 6)), "other\r\n");
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 5)), "");
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::None);

    WriteAll(path, "garbage");
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::Changed);
    EXPECT_FALSE(store->ReloadFile());
    EXPECT_FALSE(store->ReloadFile());
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 6)), "other\r\n");
    ASSERT_EQ(Shown.size(), 1); // said once for that version
    EXPECT_TRUE(Shown[0].startsWith(msgText(msg::kChangedUnreadable)));
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::None);

    QFile::remove(path);
    EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::Removed);
}

TEST_F(DiskChange, AVersionWrittenWhileASaveIsSayingSomethingIsNeverOverwritten)
{
    // Another program renames its version in while a box of the save waits for the user.
    const struct {
        const char *Name;
        std::function<void(const QString &dir)> Before;
    } cases[] = {
        { "the year file is made again",
            [](const QString &d) { QFile::remove(d + u"2009.jnl"_qs); } },
        { "the dated backup fails",
            [](const QString &d) { WriteAll(d + u"backup"_qs, "a file"); } },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        StartAfresh();
        const QString path = Path(u"2009.jnl"_qs);
        WriteAll(path, kLoaded);
        auto store = NewStore();
        store->SetDayText(Day(2009, 1, 7), "ours");
        c.Before(Dir());
        bool boxShown = false;
        TScopedDiaryServices boxes({ [&](const QString &) {
                                        if (!std::exchange(boxShown, true))
                                            replaceByRename(path, kOther);
                                    },
            {}, {} });
        store->SaveFile();
        ASSERT_TRUE(boxShown);
        // Theirs came after the diary's write: it stands, and the diary sees it.
        EXPECT_EQ(ReadAll(path), kOther);
        EXPECT_EQ(store->CheckFile(), TKivDiary::TDiskChange::Changed);
    }
}

TEST_F(DiskChange, TwoConflictsInOneSecondKeepTwoFiles)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    auto store = NewStore();
    for (const char *theirs : { "first", "second" }) {
        replaceByRename(path, QByteArray("garbage ") + theirs + "\r\n");
        store->SetDayText(Day(2009, 1, 7), theirs);
        store->SaveFile();
    }
    const QStringList conflicts = ConflictFilesOf(path);
    ASSERT_EQ(conflicts.size(), 2);
    EXPECT_TRUE(ReadAll(conflicts[0]).endsWith("first\r\n"));
    EXPECT_TRUE(ReadAll(conflicts[1]).endsWith("second\r\n"));
}

TEST_F(DiskChange, ASaveMergesTheVersionWrittenElsewhereByDay)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    auto store = NewStore();
    int merged = 0;
    QObject::connect(store.get(), &TKivDiary::Merged, [&] { ++merged; });
    store->SetDayText(Day(2009, 1, 8), "A on 01/08");
    store->SetDayText(Day(2009, 1, 5), "A on 01/05");
    const QByteArray theirs = "!JNL 1.00 2009\r\n\r\n![2009/01/05]\r\nB on 01/05\r\n"
                              "![2009/01/07]\r\nB on 01/07\r\n";
    replaceByRename(path, theirs);
    EXPECT_EQ(store->SaveWhenDue(), TKivDiary::TSaveOutcome::Merged);
    EXPECT_EQ(merged, 1);
    EXPECT_EQ(ReadAll(Path(u"2009.bak"_qs)), theirs);
    const TYearContents file = ReadYearFile(ReadAll(path), 2009, kYearNow).Contents;
    EXPECT_EQ(store->GetDayText(Day(2009, 1, 7)), "B on 01/07\r\n");
    ASSERT_EQ(file.Days.size(), 3u);
    EXPECT_EQ(file.Days[0].FText, "A on 01/05\r\n" + BothTextsSeparator() + "\r\nB on 01/05\r\n");
    EXPECT_EQ(file.Days[1].FText, "B on 01/07\r\n");
    EXPECT_EQ(file.Days[2].FText, "A on 01/08\r\n");
    ASSERT_EQ(Shown.size(), 1); // one merge, one notice
    EXPECT_TRUE(Shown[0].startsWith(msgText(msg::kMergedBothTexts)));
    EXPECT_TRUE(Shown[0].endsWith(path + u"\r\n2009/01/05\r\n"_qs
        + msgText(msg::kMergedChangedDays).section(u"\r\n"_qs, 1) + u"\r\n2009/01/07"_qs));
    EXPECT_TRUE(ConflictFilesOf(path).isEmpty());

    // The merged year is the new base: the next save is a plain one, the day not joined again.
    store->SetDayText(Day(2009, 1, 9), "later");
    EXPECT_EQ(store->SaveWhenDue(), TKivDiary::TSaveOutcome::Saved);
    EXPECT_EQ(ReadAll(path).count(BothTextsSeparator()), 1);
    EXPECT_EQ(merged, 1);
}

// What the store last read or wrote is what the next merge starts from: a later edit elsewhere
// is taken as it is, also one that puts an older text back.
TEST_F(DiskChange, TheNextMergeStartsFromTheLastReadOrWrite)
{
    const QByteArray v1 = "!JNL 1.00 2009\r\n\r\n![2009/01/05]\r\nv1\r\n";
    const QByteArray v2 = "!JNL 1.00 2009\r\n\r\n![2009/01/05]\r\nv2\r\n";
    const QByteArray gone = "!JNL 1.00 2009\r\n\r\n![2009/01/06]\r\nthere\r\n";
    const struct {
        const char *Name;
        bool Reload;
        QByteArray Then, Day5;
    } cases[] = {
        { "a reload, then an edit elsewhere", true, v2, "v2" },
        { "a reload, then the day cleared elsewhere", true, gone, "<none>" },
        { "saves, then the older one put back with another day", false,
            v1 + "![2009/01/06]\r\nthere\r\n", "v1" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        const QString path = Path(u"2009.jnl"_qs);
        WriteAll(path, kLoaded);
        auto store = NewStore();
        if (c.Reload) {
            replaceByRename(path, v1);
            ASSERT_TRUE(store->ReloadFile());
        } else {
            for (const char *text : { "v1", "v2" }) {
                store->SetDayText(Day(2009, 1, 5), text);
                store->SaveFile();
            }
        }
        store->SetDayText(Day(2009, 1, 7), "unsaved");
        replaceByRename(path, c.Then);
        store->SaveFile();
        const QByteArray day5 = store->GetDayText(Day(2009, 1, 5));
        EXPECT_EQ(day5.isEmpty() ? QByteArray("<none>") : WrittenDayText(day5), c.Day5);
    }
}

TEST_F(DiskChange, AnEditInAYearLoadedWithRejectedLinesIsUnsaved)
{
    WriteAll(Path(u"2009.jnl"_qs), "!JNL 1.00 2009\r\n![2009/02/30]\r\nrejected\r\n");
    auto store = NewStore();
    EXPECT_TRUE(store->Modified());
    EXPECT_FALSE(store->Unsaved());
    store->SetDayText(Day(2009, 1, 5), "typed");
    EXPECT_TRUE(store->Unsaved());
}

TEST_F(DiskChange, AVersionThatNoLongerReadsIsAnsweredByKeepingTheShownOneInAFile)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    auto store = NewStore();
    int saved = 0;
    QObject::connect(store.get(), &TKivDiary::Saved, [&] { ++saved; });
    WriteAll(path, "garbage");
    EXPECT_FALSE(store->ReloadFile());
    QStringList conflicts = ConflictFilesOf(path);
    ASSERT_EQ(conflicts.size(), 1);
    EXPECT_TRUE(ReadAll(conflicts[0]).contains("\r\nloaded\r\n"));
    ASSERT_EQ(Shown.size(), 1);
    EXPECT_TRUE(Shown[0].endsWith(conflicts[0]));
    EXPECT_EQ(saved, 1);

    // A save over the same damaged file with nothing new ends like any save, and says nothing.
    store->MarkModified();
    store->SaveFile();
    EXPECT_FALSE(store->Modified());
    EXPECT_EQ(saved, 2);
    EXPECT_EQ(ConflictFilesOf(path).size(), 1);
    EXPECT_EQ(Shown.size(), 1);
    EXPECT_EQ(ReadAll(path), "garbage");
}

TEST_F(DiskChange, ASaveNeverWidensTheYearsPermissionsAndKeepsItsGroup)
{
    // Loaded as 0640 of group nogroup, another program's version arrives 0644 of group root; or,
    // in a year the store found no file for, that version arrives 0640 of group nogroup.
    const QString path = Path(u"2009.jnl"_qs);
    const gid_t group = childprocess::kNobody;
    for (const bool seen : { true, false }) {
        StartAfresh();
        if (seen) {
            WriteAll(path, kLoaded);
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, group), 0);
            ::chmod(QFile::encodeName(path).constData(), 0640);
        }
        auto store = NewStore();
        store->SetDayText(Day(2009, 1, 7), "ours");
        replaceByRename(path, kOther);
        ::chmod(QFile::encodeName(path).constData(), seen ? 0644 : 0640);
        if (!seen) {
            ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, group), 0);
        }
        store->SaveFile();
        const QStringList written { path, Path(u"2009.bak"_qs),
            DatedBackupPath(Dir(), QString(), 2009, u".jnl"_qs, Now.date()) };
        for (const QString &file : written) {
            struct stat st { };
            ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &st), 0) << file.toStdString();
            EXPECT_EQ(st.st_mode & 0777, 0640u) << file.toStdString() << " seen " << seen;
            EXPECT_EQ(st.st_gid, group) << file.toStdString() << " seen " << seen;
        }
    }
}

// The other version came in wider, and the merged year could not be written: the next save
// still writes the year as private as it was.
TEST_F(DiskChange, AMergeWhoseWriteFailedKeepsTheYearsModeAndWhatItTookIn)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    ::chmod(QFile::encodeName(path).constData(), 0600);
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        auto store = NewStore();
        store->SetDayText(Day(2009, 1, 7), QByteArray(100000, 'x'));
        replaceByRename(path, kOther);
        ::chmod(QFile::encodeName(path).constData(), 0644);
        {
            TFullDisk full(4096);
            check.Expect(ThrownMessage<EFCreateError>([&] { store->SaveFile(); }).has_value(),
                "the merged year does not fit");
        }
        // The next save starts from the version the failed one took in: the other side's
        // later edit of that day replaces it rather than standing beside it.
        replaceByRename(path, "!JNL 1.00 2009\r\n\r\n![2009/01/06]\r\nother, edited\r\n");
        store->SaveFile();
        check.ExpectEq(modeOf(path), 0600, "the year file stays private");
        check.Expect(
            ReadAll(path).contains("other, edited\r\n") && !ReadAll(path).contains("other\r\n"),
            "the day took the other side's edit");
    });
}

TEST_F(DiskChange, AReplacementTheDiaryCannotReadIsNotTakenForItsOwn)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        auto store = NewStore();
        store->SetDayText(Day(2009, 1, 7), "ours");
        WriteAll(path + u".tmp"_qs, kOther);
        check.Expect(::chmod(QFile::encodeName(path + u".tmp"_qs).constData(), 0200) == 0
                && ::rename(QFile::encodeName(path + u".tmp"_qs).constData(),
                       QFile::encodeName(path).constData())
                    == 0,
            "replaced by an unreadable file");
        store->SaveFile();
        check.Expect(ConflictFilesOf(path).size() == 1
                && ReadAll(ConflictFilesOf(path).value(0)).contains("ours"),
            "the diary's version is kept beside it");
        check.Expect(::chmod(QFile::encodeName(path).constData(), 0600) == 0, "chmod back");
    });
    EXPECT_EQ(ReadAll(path), kOther);
}

TEST(FileIdentity, EveryPartOfTheStatTellsVersionsApart)
{
    const TFileIdentity loaded { true, 100, 5, 7, 1, 2, 0600, 0, 0 };
    std::vector<std::function<void(TFileIdentity &)>> changes {
        [](TFileIdentity &id) { id.Size = 101; },
        [](TFileIdentity &id) { id.MTimeNs = 6; },
        [](TFileIdentity &id) { id.CTimeNs = 8; },
        [](TFileIdentity &id) { id.Device = 3; },
        [](TFileIdentity &id) { id.Inode = 4; },
        [](TFileIdentity &id) { id.Exists = false; },
    };
    for (size_t i = 0; i < changes.size(); ++i) {
        TFileIdentity other = loaded;
        changes[i](other);
        EXPECT_FALSE(other.SameStat(loaded)) << "change " << i;
    }
    EXPECT_TRUE(TFileIdentity(loaded).SameStat(loaded));
}

TEST_F(DiskChange, DatedBackupOncePerDayKeepsThisMachinesNewestThirty)
{
    const QString path = Path(u"d2009.jnl"_qs);
    WriteAll(path, kLoaded);
    ::chmod(QFile::encodeName(path).constData(), 0640);
    QDir(Dir()).mkdir(u"backup"_qs);
    // 30 older backups of this year, named before backups carried the machine, and files the
    // pruning must not touch: another machine's backups among them.
    for (int day = 1; day <= 30; ++day)
        WriteAll(Path(u"backup/d2009-202605%1.jnl"_qs.arg(day, 2, 10, QLatin1Char('0'))), "old");
    const QStringList foreign { u"backup/d2009-20200101-desk-ab12.jnl"_qs,
        u"backup/d2009-20260616-desk-ab12.jnl"_qs, u"backup/d2010-20200101.jnl"_qs,
        u"backup/notes.txt"_qs, u"backup/d2009-2026011.jnl"_qs, u"backup/xd2009-20200101.jnl"_qs,
        // Like a backup's names, but no day.
        u"backup/d2009-00000000.jnl"_qs, u"backup/d2009-20000230.jnl"_qs };
    for (const QString &name : foreign)
        WriteAll(Path(name), "keep");

    auto store = NewStore(2009, false);
    store->SetPrefix(u"d"_qs);
    store->Open();
    const auto save = [&](const char *text) {
        store->SetDayText(Day(2009, 1, 5), text);
        store->SaveFile();
    };
    save("first"); // 15 June
    save("second");
    Now = Now.addDays(1);
    save("third");

    const QString mine = u"-"_qs + MachineBackupTag() + u".jnl"_qs;
    const QStringList backups = DatedBackupsOf(Dir(), u"d"_qs, 2009, u".jnl"_qs);
    ASSERT_EQ(backups.size(), 32);
    EXPECT_EQ(backups.mid(0, 2),
        (QStringList { Path(foreign[0]), Path(u"backup/d2009-20260503.jnl"_qs) }));
    EXPECT_EQ(ReadAll(Path(u"backup/d2009-20260615"_qs + mine)), kLoaded);
    EXPECT_TRUE(ReadAll(Path(u"backup/d2009-20260616"_qs + mine)).contains("second"));
    EXPECT_EQ(modeOf(Path(u"backup/d2009-20260616"_qs + mine)), 0640);
    for (const QString &name : foreign)
        EXPECT_EQ(ReadAll(Path(name)), "keep") << name.toStdString();
    EXPECT_TRUE(Shown.isEmpty());
}

TEST_F(DiskChange, BackupThatCannotBeMadeIsSaidOnceAndTheSaveGoesOn)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, kLoaded);
    WriteAll(Path(u"backup"_qs), "a file where the folder would go");
    auto store = NewStore();
    for (const char *text : { "one", "two" }) {
        store->SetDayText(Day(2009, 1, 5), text);
        store->SaveFile();
        EXPECT_TRUE(ReadAll(path).contains(text));
    }
    EXPECT_EQ(Shown,
        QStringList { msgText(msg::kBackupFailed) + u"\r\n"_qs
            + DatedBackupPath(Dir(), QString(), 2009, u".jnl"_qs, Now.date()) });
}

TEST_F(DiskChange, BackupFolderIsNoMoreOpenThanTheDataFolder)
{
    QTemporaryDir dir;
    const QString base = dir.path() + u'/';
    ::chmod(QFile::encodeName(base).constData(), 0700);
    WriteAll(base + u"2009.jnl"_qs, kLoaded);
    ASSERT_TRUE(
        MakeDatedBackup(base, QString(), 2009, u".jnl"_qs, QDate(2026, 6, 15), kLoaded, {}));
    EXPECT_EQ(modeOf(base + u"backup"_qs) & 077, 0);
}

TEST_F(DiskChange, TwoMachinesBackingUpOneDayWriteTwoBackups)
{
    const QString base = Dir();
    for (const char *machine : { "one", "two" }) {
        QTemporaryDir own;
        qputenv("XDG_STATE_HOME", QFile::encodeName(own.path()));
        EXPECT_TRUE(MakeDatedBackup(
            base, QString(), 2009, u".jnl"_qs, QDate(2026, 6, 15), QByteArray(machine), {}));
    }
    const QStringList backups = DatedBackupsOf(base, QString(), 2009, u".jnl"_qs);
    ASSERT_EQ(backups.size(), 2);
    EXPECT_NE(ReadAll(backups[0]), ReadAll(backups[1]));
}

TEST(DiskCopies, SyncEngineCopiesOfBackupsMoveIntoBackupUnderTellingNames)
{
    const struct {
        const char *Name;
        const char *MovedTo; // nothing: left where it is
    } cases[] = {
        { "d2026.sync-conflict-20261209-060034-FEYNXDC.bak",
            "backup/d2026.bak-FEYNXDC-20261209-060034" },
        { "d2026 (conflicted copy 2026-12-09 060034).bak",
            "backup/d2026.bak-copy-20261209-060034" },
        { "d2026 (Taro's conflicted copy 2026-12-09).bak", "backup/d2026.bak-Taro-20261209" },
        { "backup/d2026-20261209.sync-conflict-20261209-060034-FEYNXDC.jnl",
            "backup/d2026-20261209-FEYNXDC-2.jnl" },
        { "backup/d2026-20261209 (conflicted copy 2026-12-09 060034).jnl",
            "backup/d2026-20261209-copy.jnl" },
        { "backup/d2026-20261209-desk-ab12.sync-conflict-20261209-060034-FEYNXDC.jnl",
            "backup/d2026-20261209-desk-ab12-FEYNXDC.jnl" },
        // Taken in elsewhere: copies of year files, here and in backup/.
        { "d2026.sync-conflict-20261209-060034-FEYNXDC.jnl", nullptr },
        { "backup/d2026.sync-conflict-20261209-060034-FEYNXDC.jnl", nullptr },
        // No backup of this folder's, and what stands at a name a copy would take.
        { "2026.sync-conflict-20261209-060034-FEYNXDC.bak", nullptr },
        { "backup/d2026-20261309.sync-conflict-20261209-060034-FEYNXDC.jnl", nullptr },
        { "backup/d2026-20261209-FEYNXDC.jnl", nullptr },
    };
    QTemporaryDir dir;
    const QString base = dir.path() + u'/';
    QDir(base).mkdir(u"backup"_qs);
    for (const auto &c : cases)
        WriteAll(base + QString::fromUtf8(c.Name), c.Name);

    QStringList moved = TidyBackupCopies(base, u"d"_qs, u".jnl"_qs);
    QStringList expected;
    for (const auto &c : cases) {
        const QString at = base + QString::fromUtf8(c.MovedTo ? c.MovedTo : c.Name);
        EXPECT_EQ(ReadAll(at), c.Name) << c.Name;
        EXPECT_EQ(QFileInfo::exists(base + QString::fromUtf8(c.Name)), !c.MovedTo) << c.Name;
        if (c.MovedTo)
            expected << at;
    }
    moved.sort();
    expected.sort();
    EXPECT_EQ(moved, expected);
}

TEST(DiskCopies, SyncEngineConflictCopiesAreKnownByName)
{
    const struct {
        const char *Name;
        const char *Ext;
        bool Copy;
    } cases[] = {
        { "d2026.sync-conflict-20261209-060034-FEYNXDC.jnl", ".jnl", true },
        { "d2026 (conflicted copy 2026-12-09 060034).jnl", ".jnl", true },
        { "d2026 (conflicted copy).jnl", ".jnl", true },
        { "d2026 (Taro's conflicted copy 2026-12-09).jnl", ".jnl", true },
        { "d2026.sync-conflict-20261209-060034-FEYNXDC", "", true },
        { "d2026.jnl", ".jnl", false },
        { "d2026.sync-conflict-2026129-060034-FEYNXDC.jnl", ".jnl", false },
        { "d2026.sync-conflict-20261209-060034-.jnl", ".jnl", false },
        { "d2026.sync-conflict-20261209-060034-FEYNXDC.txt", ".jnl", false },
        { "d2025 (conflicted copy 2026-12-09 060034).jnl", ".jnl", false },
        { "d2026 (copy).jnl", ".jnl", false },
        { "d2026 (myconflicted copy).jnl", ".jnl", false },
        { "d2026 conflicted copy.jnl", ".jnl", false },
        { "d2026.jnl.conflict-20261208-221530", ".jnl", false },
    };
    for (const auto &c : cases) {
        const QString ext = QString::fromUtf8(c.Ext);
        EXPECT_EQ(IsSyncConflictCopyName(QString::fromUtf8(c.Name), u"d2026"_qs + ext, ext), c.Copy)
            << c.Name;
    }
}

TEST_F(DiskChange, ReloadThatFailsInAnyWayKeepsTheWholeYear)
{
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, "!JNL 1.00 2009\r\n\r\n!W=1\r\npre\r\n![2009/01/05]\r\nkept\r\n");
    auto store = NewStore();
    store->SetDayText(Day(2009, 1, 6), "unsaved\r\n");
    const TYearContents before = store->Contents();
    // A two-digit year in a day header asks the clock, which fails here with no exception of
    // the diary's own.
    replaceByRename(path, "!JNL 1.00 2009\r\n\r\n!W=2\r\n![2009/01/07]\r\nnew\r\n![09/01/08]\r\n");
    TDiaryServices failing = DiaryServices();
    failing.Now = []() -> QDateTime { throw std::bad_alloc(); };
    const TScopedDiaryServices scoped(failing);
    EXPECT_FALSE(store->ReloadFile());
    EXPECT_EQ(store->Contents(), before);
    EXPECT_TRUE(store->Unsaved());
    EXPECT_TRUE(store->LoadError().isEmpty());
}

// Callers act on what the save did, never on the text of its message.
TEST_F(StoreInTempDir, SaveWhenDueSaysWhatItDid)
{
    using O = TKivDiary::TSaveOutcome;
    const QString path = Path(u"2009.jnl"_qs);
    auto store = NewStore();
    EXPECT_EQ(store->SaveWhenDue(), O::NothingDue);
    store->SetDayText(Day(2009, 1, 5), "a");
    store->SetAutoSave(false);
    EXPECT_EQ(store->SaveWhenDue(), O::NothingDue);
    store->SetAutoSave(true);
    EXPECT_EQ(store->SaveWhenDue(), O::Saved);
    EXPECT_TRUE(ReadAll(path).contains("\r\na\r\n"));
    EXPECT_EQ(store->SaveWhenDue(), O::NothingDue);

    WriteAll(path, "no year file\r\n");
    store->SetDayText(Day(2009, 1, 5), "b");
    EXPECT_EQ(store->SaveWhenDue(), O::KeptAside);
    EXPECT_EQ(ReadAll(path), "no year file\r\n");

    store->SetAutoSave(false);
    store.reset();
    auto unreadable = NewStore(2010, false);
    WriteAll(Path(u"2010.jnl"_qs), "!JNL 1.00 2009\r\n");
    EXPECT_ANY_THROW(unreadable->Open());
    unreadable->MarkModified();
    EXPECT_EQ(unreadable->SaveWhenDue(), O::NeverWritten);
    EXPECT_EQ(ReadAll(Path(u"2010.jnl"_qs)), "!JNL 1.00 2009\r\n");
}

// A year in a short notation: "5:one/two|7:x" is 5 January 2009 with two lines and 7 January.
QByteArray year2009(const char *days)
{
    QByteArray out = "!JNL 1.00 2009\r\n";
    for (const QByteArray &day : QByteArray(days).split('|')) {
        if (day.isEmpty())
            continue;
        const qsizetype colon = day.indexOf(':');
        out += "![2009/01/" + day.left(colon).rightJustified(2, '0') + "]\r\n"
            + day.mid(colon + 1).replace('/', "\r\n") + "\r\n";
    }
    return out;
}

QByteArray daysOf(const TKivDiary &store)
{
    QByteArrayList days;
    for (const TDayText &day : store.Contents().Days) {
        if (TKivDiary::HoldsText(day.FText))
            days << QByteArray::number(DayNumberToDate(day.FDate).day()) + ':'
                    + WrittenDayText(day.FText).toByteArray().replace("\r\n", "/");
    }
    return days.join('|');
}

// What a version grew from decides each day: this machine's saves, the other machine's fixes
// and deletions, a text editor's and a sync engine's copies, also after a restart.
TEST_F(DiskChange, EachVersionIsMergedAgainstWhatItGrewFrom)
{
    using TStep = std::function<void(std::unique_ptr<TKivDiary> &, const QString &)>;
    const auto edit = [](int d, const char *text) -> TStep {
        return [=](auto &store, auto &) {
            store->SetDayText(Day(2009, 1, d), QByteArray(text).replace('/', "\r\n"));
        };
    };
    const TStep save = [](auto &store, auto &) { store->SaveFile(); };
    const TStep reload = [](auto &store, auto &) { ASSERT_TRUE(store->ReloadFile()); };
    const auto arrives = [](const char *days) -> TStep {
        return [=](auto &, const QString &path) { replaceByRename(path, year2009(days)); };
    };
    // The sync engine kept another version and set this machine's save aside as a copy.
    const auto setAside = [](const char *days) -> TStep {
        return [=](auto &, const QString &path) {
            const QByteArray own = ReadAll(path);
            replaceByRename(path, year2009(days));
            WriteAll(path.chopped(4) + u".sync-conflict-20261209-060034-FEYNXDC.jnl"_qs, own);
        };
    };
    const TStep restart = [this](auto &store, auto &) { store = NewStore(); };
    const auto copy = [](const char *days) -> TStep {
        return [=](auto &store, auto &) { store->TakeInCopy(ReadYear(year2009(days)).Contents); };
    };
    // Another machine's version the engine set aside, taken in here and left beside the file.
    const auto copyLeft = [](const char *days) -> TStep {
        return [=](auto &store, const QString &path) {
            WriteAll(
                path.chopped(4) + u".sync-conflict-20261208-101010-AAAAAAA.jnl"_qs, year2009(days));
            store->TakeInCopy(ReadYear(year2009(days)).Contents);
        };
    };
    const auto imports = [](const char *days) -> TStep {
        return
            [=](auto &store, auto &) { store->TakeInVersion(ReadYear(year2009(days)).Contents); };
    };
    const QByteArray mineAndTheirs
        = "4:four2|5:loaded/mine/" + BothTextsSeparator() + "/theirs|7:A7";
    const struct {
        const char *Name;
        std::vector<TStep> Steps;
        const char *Days;
    } cases[] = {
        { "a day the version preferred to this save lacks a line of, kept with both",
            { edit(4, "four2"), edit(5, "loaded/mine"), save, edit(7, "A7"), save,
                setAside("4:four2|5:loaded/theirs"), reload },
            mineAndTheirs.constData() },
        { "this save set aside by the engine stays beside the other machine's edits",
            { edit(7, "A7"), save, setAside("4:four|5:loaded/B5|6:B6"), reload },
            "4:four|5:loaded/B5|6:B6|7:A7" },
        { "a version read here (a text editor's), then set aside by the engine",
            { arrives("4:four|5:loaded|7:E7"), reload, setAside("4:four|5:loaded/B5|6:B6"),
                reload },
            "4:four|5:loaded/B5|6:B6|7:E7" },
        { "this save set aside while the diary was closed",
            { edit(7, "A7"), save, setAside("4:four|5:loaded/B5|6:B6"), restart },
            "4:four|5:loaded/B5|6:B6|7:A7" },
        { "a day this save brought, cleared on the other machine",
            { edit(7, "A7"), save, arrives("4:four|5:loaded"), reload }, "4:four|5:loaded" },
        { "a day a merging save brought, corrected on the other machine",
            { edit(7, "A7"), arrives("4:four|5:loaded|6:B6"), save,
                arrives("4:four|5:loaded|6:B6|7:A7 fixed"), reload },
            "4:four|5:loaded|6:B6|7:A7 fixed" },
        { "a text editor's fix after a merging save",
            { edit(7, "a river"), arrives("4:four|5:loaded|6:B6"), save,
                arrives("4:four|5:loaded|6:B6|7:a lake"), reload },
            "4:four|5:loaded|6:B6|7:a lake" },
        { "a text editor's deletion of a day",
            { edit(7, "A7"), save, arrives("4:four|5:loaded"), reload }, "4:four|5:loaded" },
        { "a line deleted here while the other side appended",
            { edit(7, "a/b/c"), save, edit(7, "a/c"), arrives("4:four|5:loaded|7:a/b/c/d"), save },
            "4:four|5:loaded|7:a/c/d" },
        { "an old copy after a day was cleared, saved and the diary restarted",
            { edit(7, "A7"), save, edit(7, ""), save, restart, copy("4:four|5:loaded|7:A7") },
            "4:four|5:loaded" },
        { "a version that never saw this save, then one that grew from it",
            { edit(1, "X"), save, edit(2, "A2"), save, edit(1, ""),
                setAside("1:X|3:V3|4:four|5:loaded"), save,
                setAside("1:X|4:four|2:A2|5:loaded|7:B7"), reload },
            "2:A2|3:V3|4:four|5:loaded|7:B7" },
        { "a copy taken in before the last save tells nothing of the next version",
            { edit(7, "a/b/c"), copyLeft("6:C6"), save, edit(7, "a/b/c/d"),
                arrives("4:four|5:loaded|6:C6|7:a/c"), save },
            "4:four|5:loaded|6:C6|7:a/c/d" },
        { "an export imported again brings only its new lines back, also after a restart",
            { imports("8:imported/river"), save, edit(8, "imported/lake"), save, restart,
                imports("8:imported/river/new entry") },
            "4:four|5:loaded|8:imported/lake/new entry" },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        StartAfresh();
        const QString path = Path(u"2009.jnl"_qs);
        WriteAll(path, year2009("4:four|5:loaded"));
        std::unique_ptr<TKivDiary> store = NewStore();
        for (const TStep &step : c.Steps) {
            step(store, path);
            if (HasFatalFailure())
                return;
        }
        EXPECT_EQ(daysOf(*store), c.Days);
    }
}

} // namespace
