// What runs while a box of the window's final save waits (here the notice that the year file
// is created): the controls are gone by then, the store still stands.

#include "DiaryWindowFixture.h"
#include "Recovery.h"
#include "Shutdown.h"

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

    // The recovery file is written from the store alone (a read of the deleted editor ends the
    // sanitizer run here), and the save after the box removes it.
    void recoveryTimerFiresWhileTheBoxWaits()
    {
        F->Form->findChild<TRecovery *>()->SetDelay(50);
        const QString recovery = TRecovery::PathFor(F->Diary());
        QByteArray written;
        SetBoxHook([&](TBoxKind, const QString &) {
            QTest::qWait(300);
            written = F->Read(recovery);
        });

        F->Form.reset();

        QVERIFY2(written.contains(kTyped), written.constData());
        QVERIFY(F->Read(u"Data/2009.jnl"_s).contains(kTyped));
        QVERIFY(!QFileInfo::exists(recovery));
    }

    void sessionEndWhileTheBoxWaitsSavesAtOnce()
    {
        TShutdown shutdown;
        shutdown.WatchSession(F->Form.get());
        QByteArray saved;
        SetBoxHook([&](TBoxKind, const QString &) {
            shutdown.SaveForSessionEnd();
            saved = F->Read(u"Data/2009.jnl"_s);
        });

        F->Form.reset();
        shutdown.ReleaseWindow();

        QVERIFY2(saved.contains(kTyped), saved.constData());
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestFinalSave)
#include "tst_finalsave.moc"
