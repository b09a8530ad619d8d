// The diary as a process: one instance per user, the ways of ending from outside (signals and
// the desktop session) and what each of them leaves on disk. The program runs as a real child
// process under an instance name of this test run, so a diary the user has open is not touched.

#include "../FullDisk.h"
#include "DataFolderLock.h"
#include "DiaryWindowFixture.h"
#include "Messages.h"
#include "Shutdown.h"
#include "SingleInstance.h"

#include <QLocalSocket>
#include <QProcess>
#include <QSignalSpy>
#include <algorithm>
#include <csignal>
#include <pwd.h>
#include <unistd.h>

namespace {

int runCounter = 0;

// A unique instance name per child, so that the tests cannot see each other's diaries.
QString freshInstanceName()
{
    return u"tst-instance-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++runCounter);
}

// The calendar's first day at start: the diary day begins at about 08:00.
int diaryYear() { return QDateTime::currentDateTime().addMSecs(-28799712).date().year(); }

class TDiaryProcess {
public:
    explicit TDiaryProcess(const QString &instance)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        env.insert(u"KIVLOG_INSTANCE"_s, instance);
        env.insert(u"KIVLOG_STARTUP_TRACE"_s, u"1"_s);
        Process.setProcessEnvironment(env);
    }

    ~TDiaryProcess()
    {
        if (Process.state() != QProcess::NotRunning) {
            Process.kill();
            Process.waitForFinished(10000);
        }
    }

    void Start(const QStringList &arguments)
    {
        Process.start(qEnvironmentVariable("KIVLOG_BINARY"), arguments);
    }

    // An empty value leaves the variable out.
    void SetEnvironment(const QString &name, const QString &value)
    {
        QProcessEnvironment env = Process.processEnvironment();
        if (value.isEmpty())
            env.remove(name);
        else
            env.insert(name, value);
        Process.setProcessEnvironment(env);
    }

    // The diary as another user, outside any session of theirs.
    void StartAs(uid_t uid, gid_t gid, const QStringList &arguments)
    {
        SetEnvironment(u"XDG_RUNTIME_DIR"_s, {});
        Process.start(u"setpriv"_s,
            QStringList { u"--reuid=%1"_s.arg(uid), u"--regid=%1"_s.arg(gid), u"--clear-groups"_s,
                u"--"_s, qEnvironmentVariable("KIVLOG_BINARY") }
                + arguments);
    }

    // Waits for a trace line such as "idle" (up and drawn) or "box" (a message box waits).
    bool WaitFor(const QByteArray &what, int ms = 30000)
    {
        QDeadlineTimer deadline(ms);
        while (!Seen(what)) {
            if (Process.state() == QProcess::NotRunning || deadline.hasExpired())
                return false;
            Process.waitForReadyRead(100);
            Errors += Process.readAllStandardError();
        }
        return true;
    }

    bool Seen(const QByteArray &what) const
    {
        return Errors.contains("kivlog-trace " + what + ' ');
    }

    void Signal(int signal) const { ::kill(static_cast<pid_t>(Process.processId()), signal); }

    // The exit status of a normal end; -1 when it crashed, was killed or did not end in time.
    int Finish(int ms = 30000)
    {
        // waitForFinished() answers false for a process that has already ended.
        if (Process.state() != QProcess::NotRunning && !Process.waitForFinished(ms))
            return -1;
        Errors += Process.readAllStandardError();
        return Process.exitStatus() == QProcess::NormalExit ? Process.exitCode() : -1;
    }

    QProcess Process;
    QByteArray Errors;
};

// A user made for one test and removed after it.
class TThrowawayUser {
public:
    TThrowawayUser()
    {
        const QStringList sbin { u"/usr/sbin"_s, u"/sbin"_s };
        if (::geteuid() != 0 || QStandardPaths::findExecutable(u"useradd"_s, sbin).isEmpty()
            || QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
            return;
        static int made = 0;
        const QString name = u"kivt%1u%2"_s.arg(QCoreApplication::applicationPid()).arg(++made);
        if (QProcess::execute(QStandardPaths::findExecutable(u"useradd"_s, sbin),
                { u"--no-create-home"_s, u"--user-group"_s, name })
            != 0)
            return;
        if (const passwd *entry = ::getpwnam(name.toLocal8Bit().constData())) {
            Uid = entry->pw_uid;
            Gid = entry->pw_gid;
        }
        Name = name;
    }
    ~TThrowawayUser()
    {
        if (Uid != 0) // what the user's diary kept in the temporary folder
            QDir(QDir::tempPath() + u"/kivlog-%1"_s.arg(Uid)).removeRecursively();
        if (!Name.isEmpty())
            QProcess::execute(
                QStandardPaths::findExecutable(u"userdel"_s, { u"/usr/sbin"_s, u"/sbin"_s }),
                { Name });
    }
    // Made, and able to run the diary: a build below a folder that others may not enter (as
    // /root) cannot be run as them.
    bool CanRunTheDiary() const
    {
        return !Name.isEmpty() && Uid != 0
            && QProcess::execute(u"setpriv"_s,
                   { u"--reuid=%1"_s.arg(Uid), u"--regid=%1"_s.arg(Gid), u"--clear-groups"_s,
                       u"--"_s, qEnvironmentVariable("KIVLOG_BINARY"), u"--version"_s })
            == 0;
    }

    QString Name;
    uid_t Uid = 0;
    gid_t Gid = 0;
};

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a file, creating its folder first.
bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly)
        && file.write(bytes) == bytes.size();
}

} // namespace

class TestInstance : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        Temp = std::make_unique<QTemporaryDir>();
        QVERIFY(Temp->isValid());
        Instance = freshInstanceName();
        qputenv("XDG_STATE_HOME", Path(u"state"_s).toUtf8()); // for the diaries started here
        qputenv("XDG_DATA_HOME", Path(u"share"_s).toUtf8());
    }

    void cleanup() { Temp.reset(); }

    void secondStartAsksTheFirstToComeForwardAndTouchesNothing()
    {
        // This test process is the running instance; the real program is the second start.
        qputenv("KIVLOG_INSTANCE", Instance.toUtf8());
        TSingleInstance first;
        qunsetenv("KIVLOG_INSTANCE");
        QVERIFY(first.Acquire());
        QVERIFY(first.Listen());
        QSignalSpy activations(&first, &TSingleInstance::ActivationRequested);

        // The launcher's Wayland activation token reaches the running diary, which is what
        // lets the compositor give it the focus.
        qputenv("XDG_ACTIVATION_TOKEN", "launcher-token-1");
        TDiaryProcess second(Instance);
        qunsetenv("XDG_ACTIVATION_TOKEN");
        const QString folder = Path(u"second"_s);
        second.Start({ u"-d"_s + folder });
        QVERIFY2(second.Finish() == 0, second.Errors.constData());
        QTRY_COMPARE(activations.size(), 1);
        QCOMPARE(qgetenv("XDG_ACTIVATION_TOKEN"), "launcher-token-1");
        QVERIFY2(!QFileInfo::exists(folder), "the second start read its command line");
        QVERIFY(!second.Seen("map"));
    }

    void secondStartLeavesTheRunningDiaryAndTheLockIsFreeAfterIt()
    {
        TDiaryProcess first(Instance);
        first.Start({ u"-d"_s + Path(u"first"_s) });
        QVERIFY2(first.WaitFor("idle"), first.Errors.constData());

        TDiaryProcess second(Instance);
        second.Start({ u"-d"_s + Path(u"second"_s) });
        QVERIFY2(second.Finish() == 0, second.Errors.constData());
        QVERIFY(!second.Seen("map"));
        QCOMPARE(first.Process.state(), QProcess::Running);
        QVERIFY(!QFileInfo::exists(Path(u"second"_s)));

        first.Signal(SIGTERM);
        QVERIFY2(first.Finish() == 0, first.Errors.constData());

        // The lock went with the first diary: the next start is a first instance again.
        TDiaryProcess third(Instance);
        third.Start({ u"-d"_s + Path(u"third"_s) });
        QVERIFY2(third.WaitFor("idle"), third.Errors.constData());
        third.Signal(SIGTERM);
        QVERIFY2(third.Finish() == 0, third.Errors.constData());
    }

    void startsAtTheSameMomentLeaveExactlyOneDiary()
    {
        std::vector<std::unique_ptr<TDiaryProcess>> starts;
        for (int i = 0; i < 4; ++i) {
            starts.push_back(std::make_unique<TDiaryProcess>(Instance));
            starts.back()->Start({ u"-d"_s + Path(u"data%1"_s.arg(i)) });
        }
        // Every start but one ends at once with status 0; that one runs on.
        QDeadlineTimer deadline(30000);
        const auto ended = [&] {
            return std::count_if(starts.begin(), starts.end(),
                [](const auto &start) { return start->Process.state() == QProcess::NotRunning; });
        };
        while (ended() < 3 && !deadline.hasExpired())
            QTest::qWait(50);
        QTest::qWait(500);
        QCOMPARE(ended(), 3);
        for (auto &start : starts) {
            if (start->Process.state() == QProcess::NotRunning) {
                QVERIFY2(start->Finish() == 0, start->Errors.constData());
            } else {
                QVERIFY2(start->WaitFor("idle"), start->Errors.constData());
                start->Signal(SIGTERM);
                QVERIFY2(start->Finish() == 0, start->Errors.constData());
            }
        }
    }

    void lockOfAVanishedDiaryIsTakenOver()
    {
        TDiaryProcess crashed(Instance);
        crashed.Start({ u"-d"_s + Path(u"data"_s) });
        QVERIFY2(crashed.WaitFor("idle"), crashed.Errors.constData());
        crashed.Process.kill(); // leaves its lock file and its socket behind
        QCOMPARE(crashed.Finish(), -1);

        TDiaryProcess next(Instance);
        next.Start({ u"-d"_s + Path(u"data"_s) });
        QVERIFY2(next.WaitFor("idle"), next.Errors.constData());

        // It listens in place of the vanished one: a later start reaches it and ends.
        TDiaryProcess later(Instance);
        later.Start({ u"-d"_s + Path(u"data"_s) });
        QVERIFY2(later.Finish() == 0, later.Errors.constData());
        QCOMPARE(next.Process.state(), QProcess::Running);
        next.Signal(SIGTERM);
        QVERIFY2(next.Finish() == 0, next.Errors.constData());
    }

    // Another instance name (as another user, another runtime folder) passes the instance lock
    // but not the folder's: the diary there comes forward, and the later one reads nothing.
    void secondDiaryOnTheSameFolderRaisesTheFirst()
    {
        const QString data = Path(u"data"_s);
        TDiaryProcess first(Instance);
        first.Start({ u"-d"_s + data });
        QVERIFY2(first.WaitFor("idle"), first.Errors.constData());

        TDiaryProcess second(freshInstanceName());
        second.Start({ u"-d"_s + data + u"/../data"_s });
        QVERIFY2(second.Finish() == 0, second.Errors.constData());
        QVERIFY(!second.Seen("map"));
        QVERIFY2(first.WaitFor("raise"), first.Errors.constData());
        first.Signal(SIGTERM);
        QVERIFY2(first.Finish() == 0, first.Errors.constData());
    }

    // A shared folder with the lock file an older diary of another user left, 0644: neither of
    // two users who may not write it gets in beside the other.
    void folderIsKeptFromEveryOtherUserWhateverTheirRights()
    {
        TThrowawayUser first;
        TThrowawayUser second;
        if (!first.CanRunTheDiary() || !second.CanRunTheDiary())
            QSKIP("needs root, useradd, setpriv and a build other users may run");
        QVERIFY(QFile::setPermissions(Temp->path(),
            QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther
                | QFile::ExeOther));
        const QString data = Path(u"data"_s);
        QVERIFY(writeFile(data + u"/.kivlog.lock"_s, "older diary"));
        QVERIFY(QFile::setPermissions(data, QFile::Permissions(0x7777))); // all may write

        TDiaryProcess holder(Instance);
        holder.StartAs(first.Uid, first.Gid, { u"-d"_s + data });
        QVERIFY2(holder.WaitFor("idle"), holder.Errors.constData());
        TDiaryProcess refused(freshInstanceName());
        refused.StartAs(second.Uid, second.Gid, { u"-d"_s + data });
        QVERIFY2(refused.WaitFor("box", 15000), refused.Errors.constData());
        refused.Signal(SIGTERM);
        QCOMPARE(refused.Finish(), 1);
        QVERIFY(!refused.Seen("map"));
        QVERIFY2(refused.Errors.contains(
                     "is in use (process " + QByteArray::number(holder.Process.processId()) + ')'),
            refused.Errors.constData());
        holder.Signal(SIGTERM);
        QVERIFY2(holder.Finish() == 0, holder.Errors.constData());
    }

    // A sync tool renames a new copy of the old lock file in while the diary runs: the lock
    // holds, and a start leaves the files of the folder as they were.
    void lockHoldsWhileTheOldLockFileIsReplacedAndTheFolderStaysUntouched()
    {
        const QString data = Path(u"data"_s);
        const QString oldLock = data + u"/.kivlog.lock"_s;
        QVERIFY(writeFile(oldLock, "from another machine"));
        TDiaryProcess first(Instance);
        first.Start({ u"-d"_s + data });
        QVERIFY2(first.WaitFor("idle"), first.Errors.constData());
        QCOMPARE(readFile(oldLock), "from another machine");

        QVERIFY(writeFile(data + u"/.syncing"_s, "synced again"));
        QVERIFY(::rename(QFile::encodeName(data + u"/.syncing"_s).constData(),
                    QFile::encodeName(oldLock).constData())
            == 0);
        TDiaryProcess second(freshInstanceName());
        second.Start({ u"-d"_s + data });
        QVERIFY2(second.Finish() == 0, second.Errors.constData());
        QVERIFY(!second.Seen("map"));
        QVERIFY2(first.WaitFor("raise"), first.Errors.constData());
        QCOMPARE(QDir(data).entryList(QDir::Files | QDir::Hidden),
            (QStringList { u".kivlog-diary"_s, u".kivlog.lock"_s }));
        first.Signal(SIGTERM);
        QVERIFY2(first.Finish() == 0, first.Errors.constData());
    }

    // As su gives it, or a second login: the start from there passes the instance lock, but may
    // take neither the running diary's socket nor its own socket for the holder's. It brings the
    // running diary forward and ends, and so do later starts.
    void startFromAnotherRuntimeFolderLeavesTheRunningDiaryReachable_data()
    {
        QTest::addColumn<bool>("runtimeFolder");
        QTest::newRow("another runtime folder") << true;
        QTest::newRow("no runtime folder") << false;
    }

    void startFromAnotherRuntimeFolderLeavesTheRunningDiaryReachable()
    {
        QFETCH(bool, runtimeFolder);
        const QString data = Path(u"data"_s);
        const QString runtime = Path(u"run"_s);
        const QFile::Permissions ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
        QVERIFY(QDir().mkdir(runtime, ownerOnly) && QDir().mkdir(Path(u"run2"_s), ownerOnly));
        TDiaryProcess first(Instance);
        first.SetEnvironment(u"XDG_RUNTIME_DIR"_s, runtime);
        first.Start({ u"-d"_s + data });
        QVERIFY2(first.WaitFor("idle"), first.Errors.constData());

        TDiaryProcess other(Instance);
        other.SetEnvironment(u"XDG_RUNTIME_DIR"_s, runtimeFolder ? Path(u"run2"_s) : QString());
        other.Start({ u"-d"_s + data });
        QVERIFY2(other.Finish() == 0, other.Errors.constData());
        QVERIFY(!other.Seen("map"));
        QVERIFY2(first.WaitFor("raise", 5000), first.Errors.constData());

        first.Errors.clear();
        TDiaryProcess later(Instance);
        later.SetEnvironment(u"XDG_RUNTIME_DIR"_s, runtime);
        later.Start({ u"-d"_s + data });
        QVERIFY2(later.Finish() == 0, later.Errors.constData());
        QVERIFY2(first.WaitFor("raise", 5000), first.Errors.constData());
        first.Signal(SIGTERM);
        QVERIFY2(first.Finish() == 0, first.Errors.constData());
    }

    void folderHeldByAnUnreachableProcessIsNamedAndNothingWritten()
    {
        const QString data = Path(u"data"_s);
        QVERIFY(QDir().mkpath(data));
        TDataFolderLock holder; // this test, with no socket to reach it by
        QCOMPARE(holder.Acquire(data), TDataFolderLock::TState::Held);

        TDiaryProcess diary(Instance);
        diary.Start({ u"-d"_s + data });
        QVERIFY2(diary.WaitFor("box"), diary.Errors.constData());
        diary.Signal(SIGTERM);
        QCOMPARE(diary.Finish(), 1);
        QVERIFY2(diary.Errors.contains(data.toUtf8() + "/ is in use (process "
                     + QByteArray::number(QCoreApplication::applicationPid()) + ')'),
            diary.Errors.constData());
        QVERIFY(!diary.Seen("map"));
        QCOMPARE(QDir(data).entryList(QDir::Files | QDir::Hidden), QStringList());
    }

    // What older diaries locked, even in a form no lock could be taken on, is left alone.
    void folderWithAnOldLockFileStillRuns()
    {
        const QString data = Path(u"data"_s);
        QVERIFY(QDir().mkpath(data + u"/.kivlog.lock"_s));
        TDiaryProcess diary(Instance);
        diary.Start({ u"-d"_s + data });
        QVERIFY2(diary.WaitFor("idle"), diary.Errors.constData());
        diary.Signal(SIGTERM);
        QVERIFY2(diary.Finish() == 0, diary.Errors.constData());
    }

    void endSignalSavesEvenWhileABoxWaits_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }

    void endSignalSavesEvenWhileABoxWaits()
    {
        QFETCH(int, signal);
        // Two day blocks of other years: reading rejects both, says so in a box each, and
        // marks the store modified, so the end must rewrite the file with a backup first.
        const int year = diaryYear();
        const QByteArray original = "!JNL 1.00 " + QByteArray::number(year)
            + "\r\n\r\n!------------\r\n![1999/01/01]\r\n!------------\r\nold\r\n"
              "!------------\r\n![1998/02/02]\r\n!------------\r\nolder\r\n";
        const QString data = Path(u"data"_s);
        const QString path = data + u"/%1.jnl"_s.arg(year);
        QVERIFY(writeFile(path, original));

        TDiaryProcess diary(Instance);
        diary.Start({ u"-d"_s + data });
        QVERIFY2(diary.WaitFor("box"), diary.Errors.constData());
        diary.Signal(signal);
        QVERIFY2(diary.Finish() == 0, diary.Errors.constData());

        // The second box did not wait for anyone: its message went to stderr.
        QVERIFY2(diary.Errors.contains("(1998/02/02)"), diary.Errors.constData());
        QCOMPARE(diary.Errors.count("kivlog-trace box"), 1);
        QCOMPARE(readFile(data + u"/%1.bak"_s.arg(year)), original);
        const QByteArray saved = readFile(path);
        QVERIFY2(saved.contains("!ErrorData\r\n!![1999/01/01]\r\n"), saved.constData());
        QVERIFY(saved.contains("!![1998/02/02]\r\n"));
    }

    void failedFinalSaveIsSaidOnStderrAndInTheExitStatus()
    {
        const int year = diaryYear();
        const QByteArray original = "!JNL 1.00 " + QByteArray::number(year)
            + "\r\n\r\n!------------\r\n![1999/01/01]\r\n!------------\r\n" + QByteArray(400, 'x')
            + "\r\n";
        const QString data = Path(u"data"_s);
        const QString path = data + u"/%1.jnl"_s.arg(year);
        QVERIFY(writeFile(path, original));

        // No file may grow beyond 300 bytes: the rewritten year does not fit.
        // SIGXFSZ is left as it is, so the program must ignore it itself to live on.
        TDiaryProcess diary(Instance);
        diary.Process.setChildProcessModifier([] { LimitFileSize(300); });
        diary.Start({ u"-d"_s + data });
        QVERIFY2(diary.WaitFor("box"), diary.Errors.constData());
        diary.Signal(SIGTERM);
        QCOMPARE(diary.Finish(), 1);
        QVERIFY2(diary.Errors.contains(msg::kFinalSaveFailed), diary.Errors.constData());
        QVERIFY(diary.Errors.contains(path.toUtf8()));
        // Neither the year file nor its backup may be left cut short.
        QCOMPARE(readFile(path), original);
        const QString backup = data + u"/%1.bak"_s.arg(year);
        QVERIFY(!QFileInfo::exists(backup) || readFile(backup) == original);
    }

    void endSignalBeforeAnyEditWritesNothing()
    {
        const QString data = Path(u"data"_s);
        TDiaryProcess diary(Instance);
        diary.Start({ u"-d"_s + data });
        QVERIFY2(diary.WaitFor("idle"), diary.Errors.constData());
        diary.Signal(SIGTERM);
        QVERIFY2(diary.Finish() == 0, diary.Errors.constData());
        QVERIFY(QFileInfo(data).isDir());
        QCOMPARE(QDir(data).entryList(QDir::Files), QStringList());
    }

    void sessionEndSavesAtOnceAsksOnlyWhenAllowed_data()
    {
        QTest::addColumn<bool>("mayAsk"); // what the session manager allows
        QTest::newRow("no box allowed") << false;
        QTest::newRow("a box allowed") << true;
    }

    void sessionEndSavesAtOnceAsksOnlyWhenAllowed()
    {
        QFETCH(bool, mayAsk);
        TDiaryWindowFixture window;
        window.SetUp(QDateTime(QDate(2009, 1, 5), QTime(12, 0)));
        TForm1 &form = window.Start({ u"-d"_s + window.Dir.filePath(u"data"_s) });
        TDiaryWindowFixture::Type(form.KivDiaryEdit1, u"日記"_s);
        window.Boxes.clear();

        TShutdown shutdown;
        shutdown.WatchSession(&form);
        shutdown.SaveForSessionEnd(mayAsk);

        // Saved although the window goes on; the creation notice waits for someone only when
        // the session manager allows it, and the diary is attended again afterwards (the
        // session may have been only recorded).
        const QByteArray saved = readFile(window.Dir.filePath(u"data/2009.jnl"_s));
        QVERIFY2(saved.contains("![2009/01/05]\r\n!------------\r\n\x93\xfa\x8b\x4c\r\n"),
            saved.constData());
        QCOMPARE(window.Boxes.size(), mayAsk ? 1 : 0);
        QVERIFY(!Unattended());
        QVERIFY(!form.KivDiaryEdit1->Source()->Modified());
    }

    void failedSessionSaveIsReportedAndKeepsTheTextUnsaved()
    {
        TDiaryWindowFixture window;
        window.SetUp(QDateTime(QDate(2009, 1, 5), QTime(12, 0)));
        TForm1 &form = window.Start({ u"-d"_s + window.Dir.filePath(u"data"_s) });
        TDiaryWindowFixture::Type(form.KivDiaryEdit1, u"日記"_s);
        // A folder where the year file should be: the save cannot create it.
        QVERIFY(QDir().mkpath(window.Dir.filePath(u"data/2009.jnl"_s)));
        window.Boxes.clear();

        SetUnattended(true);
        const bool saved = SaveDiaryNow(form);
        SetUnattended(false);
        QVERIFY(!saved);
        QVERIFY(window.Boxes.isEmpty()); // unattended: on stderr, not in a box
        QVERIFY(form.KivDiaryEdit1->Source()->Modified());

        window.Boxes.clear();
        QVERIFY(!SaveDiaryNow(form));
        QCOMPARE(window.Boxes.size(), 1);
        QCOMPARE(window.Boxes.first().first, TBoxKind::Error);
        QVERIFY2(window.Boxes.first().second.contains(u"2009.jnl"_s),
            qPrintable(window.Boxes.first().second));
    }

private:
    QString Path(const QString &name) const { return Temp->filePath(name); }

    std::unique_ptr<QTemporaryDir> Temp;
    QString Instance;
};

QTEST_MAIN(TestInstance)
#include "tst_instance.moc"
