// The one writer of whole files: what it promises every copy the diary makes.
#include "FileWriter.h"

#include "../FullDisk.h"
#include "Backups.h"
#include "ChildProcess.h"
#include "StoreTestSupport.h"

#include <QFileInfo>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <dlfcn.h>
#include <iterator>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>

namespace {

// While set, the folder syncs made once the file named stands are counted.
const char *gSyncedAfter = nullptr;
int gFolderSyncs = 0;

} // namespace

extern "C" int fsync(int fd)
{
    static const auto real = reinterpret_cast<int (*)(int)>(::dlsym(RTLD_NEXT, "fsync"));
    struct stat st { };
    if (gSyncedAfter && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)
        && ::access(gSyncedAfter, F_OK) == 0)
        ++gFolderSyncs;
    return real(fd);
}

namespace {

using FileWriter = StoreInTempDir;

QStringList allEntries(const QString &folder)
{
    return QDir(folder).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden);
}

TEST_F(FileWriter, AFullDiskLeavesNoCutFileWhicheverWayItWrites)
{
    // Well under the 16 KiB a buffered writer holds back until it is too late to see the short
    // write: conflict copies (free names), dated backups (new names), .bak and recovery files
    // (replaced) alike.
    const QByteArray bytes(4096, 'n');
    const QString old = Path(u"old"_qs);
    WriteAll(old, "before");
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        TFullDisk full(1024);
        check.Expect(!WriteUnderFreeName(Path(u"conflict"_qs), bytes, {}), "free name");
        check.Expect(!WriteNewFile(Path(u"dated"_qs), bytes, {}), "new file");
        check.Expect(!ReplaceFile(old, bytes, {}), "replaced");
        check.ExpectEq(allEntries(Dir()), QStringList { u"old"_qs }, "nothing else is left");
        check.ExpectEq(ReadAll(old), QByteArray("before"), "the old file is whole");
    });
}

TEST_F(FileWriter, InPlaceNeverCutsTheFileBeforeTheNewBytesStand)
{
    // Nothing to put back, and not one byte fits: the old bytes must still stand.
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, "old text");
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        TFullDisk full(0);
        check.Expect(!OverwriteInPlace(path, "new text!", {}, std::nullopt), "the write fails");
        check.ExpectEq(ReadAll(path), QByteArray("old text"), "the old text stands");
    });
}

TEST_F(FileWriter, InPlaceWriteIsOnTheDiskWhenItReturns)
{
    struct TRange {
        std::uint64_t Offset, Length;
    };
    struct TCacheStat {
        std::uint64_t Cached, Dirty, Writeback, Evicted, RecentlyEvicted;
    };
    const QString path = Path(u"2009.jnl"_qs);
    WriteAll(path, "old");
    ASSERT_TRUE(OverwriteInPlace(path, QByteArray(256 * 1024, 'd'), AccessOfFile(path), {}));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    TRange range { 0, 0 };
    TCacheStat stat {};
    constexpr long kCacheStat = 451;
    if (::syscall(kCacheStat, file.handle(), &range, &stat, 0) != 0)
        GTEST_SKIP() << "the system cannot tell dirty pages";
    EXPECT_EQ(stat.Dirty + stat.Writeback, 0u);
}

TEST_F(FileWriter, ACopyGetsNoGroupPermissionsInAGroupItCannotHave)
{
    // In another group, the group gets what everyone gets.
    const std::pair<unsigned, unsigned> modes[] = { { 0660, 0600 }, { 0644, 0644 } };
    EXPECT_IN_CHILD(TChildUser::Unprivileged, Dir(), [&](TChildChecks &check) {
        for (const auto &[asked, given] : modes) {
            const QString path = Path(QString::number(asked, 8));
            check.Expect(bool(WriteNewFile(path, "private", { asked, 0u })), "written");
            struct stat st { };
            check.Expect(::stat(QFile::encodeName(path).constData(), &st) == 0
                    && (st.st_mode & 0777) == given,
                "mode " + std::to_string(asked));
        }
    });
}

TEST_F(FileWriter, AFolderItMakesKeepsTheGroupItsParentHandsDown)
{
    const QByteArray shared = QFile::encodeName(Path(u"shared"_qs));
    ASSERT_EQ(::mkdir(shared.constData(), 02770), 0);
    ASSERT_EQ(::chmod(shared.constData(), 02770), 0);
    ASSERT_TRUE(MakeFolders(Path(u"shared/data"_qs)));
    struct stat st { };
    ASSERT_EQ(::stat(QFile::encodeName(Path(u"shared/data"_qs)).constData(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_ISGID);
}

// Where renameat2 is refused, as on a file system without it, the free-name write in a child
// still takes a free name; and its folder is synced once the file stands there.
TEST_F(FileWriter, AFreeNameWriteReplacesNothingAndSyncsItsFolderAfterTheRename)
{
    const QString base = Path(u"copy"_qs);
    const QByteArray second = QFile::encodeName(base + u"-2"_qs);
    WriteAll(base, "first");
    // Where renameat2 is called: EINVAL.
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_renameat2, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EINVAL),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program { static_cast<unsigned short>(std::size(filter)), filter };
    EXPECT_IN_CHILD(TChildUser::Same, Dir(), [&](TChildChecks &check) {
        check.Expect(::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0
                && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0,
            "renameat2 refused");
        gSyncedAfter = second.constData();
        check.ExpectEq(WriteUnderFreeName(base, "second", {}).Path, base + u"-2"_qs, "free name");
        check.ExpectEq(ReadAll(base), QByteArray("first"), "the first stays");
        check.ExpectEq(gFolderSyncs, 1, "one folder sync after the rename");
    });
}

TEST_F(FileWriter, SymbolicLinksAreNeverWrittenThrough)
{
    const QString target = Path(u"target"_qs);
    const QString link = Path(u"link"_qs);
    WriteAll(target, "target");
    ASSERT_TRUE(QFile::link(target, link));
    EXPECT_FALSE(ReplaceFile(link, "new", {}));
    EXPECT_FALSE(OverwriteInPlace(link, "new", {}, std::nullopt));
    EXPECT_FALSE(WriteNewFile(link, "new", {}));
    const TFileWrite free = WriteUnderFreeName(link, "new", {});
    EXPECT_EQ(free.Path, link + u"-2"_qs);
    EXPECT_EQ(ReadAll(target), "target");
    EXPECT_TRUE(QFileInfo(link).isSymLink());
}

// Whatever the umask, what the diary makes is the user's alone; copies follow their year file, and
// what exists keeps its mode.
class DiaryModes : public StoreInTempDir, public ::testing::WithParamInterface<mode_t> { };

unsigned modeOf(const QString &path)
{
    struct stat st { };
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 01;
}

TEST_P(DiaryModes, NewFoldersAndYearFilesAreTheUsersAloneAndCopiesFollowTheYearFile)
{
    ASSERT_EQ(::mkdir(QFile::encodeName(Path(u"open"_qs)).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(Path(u"open"_qs)).constData(), 0755), 0);
    WriteAll(Path(u"open/2009.jnl"_qs), "!JNL 1.00 2009\r\n");
    ASSERT_EQ(::chmod(QFile::encodeName(Path(u"open/2009.jnl"_qs)).constData(), 0640), 0);
    const mode_t saved = ::umask(GetParam());
    ASSERT_TRUE(MakeFolders(Path(u"new/data"_qs)));
    ASSERT_TRUE(MakeFolders(Path(u"open"_qs)));
    for (const QString &folder : { u"new/data/"_qs, u"open/"_qs }) {
        TKivDiary store;
        store.SetBaseDir(Path(folder));
        store.SetExt(u".jnl"_qs);
        store.SetYear(2009);
        store.Open();
        for (const char *text : { "one", "two" }) {
            store.SetDayText(Day(2009, 1, 5), text);
            store.SaveFile();
        }
    }
    ::umask(saved);
    const QString dated = u"/backup/2009-20260615-"_qs + MachineBackupTag() + u".jnl"_qs;
    const std::pair<unsigned, QStringList> expected[] = {
        { 0700, { u"new"_qs, u"new/data"_qs, u"new/data/backup"_qs } },
        { 0600, { u"new/data/2009.jnl"_qs, u"new/data/2009.bak"_qs, u"new/data"_qs + dated } },
        { 0755, { u"open"_qs, u"open/backup"_qs } },
        { 0640, { u"open/2009.jnl"_qs, u"open/2009.bak"_qs, u"open"_qs + dated } },
    };
    for (const auto &[mode, names] : expected) {
        for (const QString &name : names)
            EXPECT_EQ(modeOf(Path(name)), mode)
                << name.toStdString() << " under umask " << std::oct << GetParam();
    }
}

INSTANTIATE_TEST_SUITE_P(Umasks, DiaryModes, ::testing::Values(0, 022, 077, 0277),
    [](const testing::TestParamInfo<mode_t> &param) {
        char name[16];
        std::snprintf(name, sizeof name, "umask%04o", unsigned(param.param));
        return std::string(name);
    });

} // namespace
