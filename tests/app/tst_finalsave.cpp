// What runs while a box of the window's final save waits (here the notice that the year file
// is created): the controls are gone by then, the store still stands.

#include "DiaryWindowFixture.h"
#include "Recovery.h"
#include "Shutdown.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QByteArray kTyped = "\x93\xfa\x8b\x4c"; // 日記

} // namespace

class TestFinalSave : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2009, 1, 5));
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"日記"_s);
    }

    void cleanup() { F.reset(); }

    // The box comes once the year file is written; the recovery timer that fires meanwhile
    // asks the store alone (a read of the deleted editor ends the sanitizer run here) and
    // finds nothing unsaved.
    void recoveryTimerFiresWhileTheBoxWaits()
    {
        F->Form->findChild<TRecovery *>()->SetDelay(50);
        const QString recovery = TRecovery::PathFor(F->Diary());
        QByteArray saved;
        bool recoveryWritten = true;
        F->Person.WhileShown = [&](TBoxKind, const QString &) {
            QTest::qWait(300);
            saved = F->Read(u"Data/2009.jnl"_s);
            recoveryWritten = QFileInfo::exists(recovery);
        };

        F->Form.reset();

        QVERIFY2(saved.contains(kTyped), saved.constData());
        QVERIFY(!recoveryWritten);
        QVERIFY(!QFileInfo::exists(recovery));
    }

    void sessionEndWhileTheBoxWaitsSavesAtOnce()
    {
        TShutdown shutdown;
        shutdown.WatchSession(F->Form.get());
        QByteArray saved;
        F->Person.WhileShown = [&](TBoxKind, const QString &) {
            shutdown.SaveForSessionEnd(false);
            saved = F->Read(u"Data/2009.jnl"_s);
        };

        F->Form.reset();
        shutdown.ReleaseWindow();

        QVERIFY2(saved.contains(kTyped), saved.constData());
    }

    // Qt ends the process with exit() when the display's connection breaks: the text typed is
    // saved on the way out, with no display server needed to show it.
    void exitAtALostDisplaySavesTheText()
    {
        TShutdown shutdown;
        std::fflush(nullptr);
        const pid_t child = ::fork();
        if (child == 0) {
            shutdown.WatchSession(F->Form.get());
            std::exit(0);
        }
        QCOMPARE(::waitpid(child, nullptr, 0), child);
        const QByteArray saved = F->Read(u"Data/2009.jnl"_s);
        QVERIFY2(saved.contains(kTyped), saved.constData());
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestFinalSave)
#include "tst_finalsave.moc"
