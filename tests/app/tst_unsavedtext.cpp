// Ending the diary with text that is on screen but not yet in the store: an open input-method
// composition is saved with the rest, and no recovery file outlives what it protects.

#include "Cp932.h"
#include "DiaryWindowFixture.h"
#include "Recovery.h"
#include "Shutdown.h"

#include <QInputMethodEvent>

class TestUnsavedText : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2009, 3, 10));
    }
    void cleanup() { F.reset(); }

    void compositionIsSavedOnEveryWayOfEnding_data()
    {
        QTest::addColumn<int>("way");
        QTest::newRow("window closed") << 0;
        QTest::newRow("session's save") << 1;
        QTest::newRow("year switch") << 2;
    }

    void compositionIsSavedOnEveryWayOfEnding()
    {
        QFETCH(int, way);
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"今日は"_s);
        QInputMethodEvent preedit(u"にっき"_s, {});
        QApplication::sendEvent(form.KivDiaryEdit1, &preedit);
        if (way == 0)
            F->Form.reset();
        else if (way == 1)
            QVERIFY(SaveDiaryNow(form));
        else
            form.BtnNextYearClick();
        QVERIFY(F->Read(u"Data/2009.jnl"_s).contains(cp932::Encode(u"今日はにっき\r\n")));
    }

    void normalEndWithNothingUnsavedLeavesNoRecoveryFile()
    {
        TForm1 &form = F->Start();
        auto *recovery = form.findChild<TRecovery *>();
        QVERIFY(recovery);
        F->Type(form.KivDiaryEdit1, u"x"_s);
        QVERIFY(recovery->WriteNow());
        QTest::keyClick(form.KivDiaryEdit1, Qt::Key_Backspace);
        const QString file = TRecovery::PathFor(F->Diary());
        QVERIFY(QFile::exists(file));
        F->Form.reset();
        QVERIFY(!QFile::exists(file));
    }

    // From an older diary, which kept the recovery file beside the year file.
    void recoveredTextIsSavedAtTheEnd()
    {
        F->Write(u"Data/2009.jnl.recovery"_s,
            F->YearFile(2009, {}) + "!------------\r\n![2009/03/10]\r\n!------------\r\nback\r\n");
        F->Person.Answer = [](const TQuestion &) { return TAnswer::Yes; };
        F->Start();
        QCOMPARE(F->Form->KivDiaryEdit1->toPlainText(), u"back\n"_s);
        F->Form.reset();
        QVERIFY(F->Read(u"Data/2009.jnl"_s).contains("back\r\n"));
        QVERIFY(!QFile::exists(u"Data/2009.jnl.recovery"_s));
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestUnsavedText)
#include "tst_unsavedtext.moc"
