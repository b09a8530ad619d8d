// The editor in the window: what undo, a reload from disk, the calendar's marks and an input
// method's late delivery do to the days that are stored.

#include "Cp932.h"
#include "DiaryWindowFixture.h"
#include "DiskCopies.h"
#include "Messages.h"
#include "Recovery.h"

#include <QInputMethodEvent>
#include <QPlainTextEdit>
#include <QTextCharFormat>
#include <functional>

namespace {

const QString kYearFile = u"Data/2009.jnl"_s;

QByteArray yearWith(const QByteArray &days)
{
    return TDiaryWindowFixture::YearFile(2009, {}) + days;
}

QByteArray dayBlock(const char *date, const QByteArray &text)
{
    return "!------------\r\n![" + QByteArray(date) + "]\r\n!------------\r\n" + text + "\r\n";
}

// Whether Ctrl+Z and then Ctrl+Shift+Z leave the text as it is.
bool undoAndRedoChangeNothing(TKivDiaryEdit *edit)
{
    const QString before = edit->toPlainText();
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
    const bool undone = edit->toPlainText() != before;
    QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    return !undone && edit->toPlainText() == before;
}

} // namespace

class TestEditorWindow : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2009, 3, 10));
    }
    void cleanup() { F.reset(); }

    void undoNeverCrossesDays_data()
    {
        using TMove = std::function<void(TForm1 &)>;
        QTest::addColumn<TMove>("move");
        QTest::newRow("Ctrl+Right") << TMove([](TForm1 &form) {
            QTest::keyClick(form.KivDiaryEdit1, Qt::Key_Right, Qt::ControlModifier);
        });
        QTest::newRow("next year") << TMove([](TForm1 &form) { form.BtnNextYearClick(); });
    }
    void undoNeverCrossesDays()
    {
        QFETCH(std::function<void(TForm1 &)>, move);
        TForm1 &form = F->Start();
        auto *edit = form.KivDiaryEdit1;
        F->Type(edit, u"secret one"_s);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        move(form);
        QVERIFY(undoAndRedoChangeNothing(edit));
        QCOMPARE(edit->toPlainText(), QString());
        F->Form.reset();
        QVERIFY(!F->Read(kYearFile).contains("secret"));
        QVERIFY(!F->Read(u"Data/2010.jnl"_s).contains("secret"));
    }

    void reloadFromDiskCannotBeUndone()
    {
        F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "\xED\x80 mine")));
        TForm1 &form = F->Start();
        auto *edit = form.KivDiaryEdit1;
        // Bytes that would be written anew under another code, through やり直し and back.
        F->Type(edit, u"!"_s);
        edit->selectAll();
        QTest::keyClick(edit, Qt::Key_Delete);
        form.BtnUndoClick();
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Left, Qt::ControlModifier);
        QVERIFY(form.KivDiary1->Modified());
        form.KivDiary1->SaveFile();
        QVERIFY(F->Read(kYearFile).contains("\xED\x80 mine\r\n!"));

        // A version that grew from the one saved: it is read as it is.
        const QByteArray other = yearWith(dayBlock("2009/03/10", "\xED\x80 mine\r\n!\r\nother"));
        F->Write(kYearFile, other);
        QTRY_VERIFY(edit->toPlainText().endsWith(u"!\nother\n"_s));
        QVERIFY(undoAndRedoChangeNothing(edit));
        F->Form.reset();
        QCOMPARE(F->Read(kYearFile), other);
        QVERIFY(ConflictFilesOf(kYearFile).isEmpty());
    }

    void marksFollowTheStoredDays()
    {
        F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "today")));
        TForm1 &form = F->Start();
        const auto bold = [&form](int day) {
            return form.MonthCalendar1->dateTextFormat(QDate(2009, 3, day)).fontWeight()
                == QFont::Bold;
        };
        // A day of blanks and line breaks is stored as no text at all.
        auto *edit = form.KivDiaryEdit1;
        edit->selectAll();
        F->Type(edit, u"  \n\u3000"_s);
        QVERIFY(bold(10));
        edit->selectAll();
        F->Type(edit, u" \n "_s);
        QVERIFY(!bold(10));
        QTest::keyClick(edit, Qt::Key_Right, Qt::ControlModifier);
        QVERIFY(!bold(10));
        F->Type(edit, u"x"_s);
        QVERIFY(bold(11));
        form.BtnUndoClick();
        QVERIFY(!bold(11));

        form.KivDiary1->SaveFile();
        F->Write(kYearFile, yearWith(dayBlock("2009/03/12", "written elsewhere")));
        QTRY_VERIFY(bold(12));
        QVERIFY(!bold(10));
    }

    void compositionStaysOnItsDay()
    {
        TForm1 &form = F->Start();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *edit = form.KivDiaryEdit1;
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        QInputMethodEvent preedit(u"にほんご"_s, {});
        QApplication::sendEvent(edit, &preedit);
        // The focus stays with the composition while the button is pressed.
        QTest::mousePress(form.BtnNextDay, Qt::LeftButton);
        QCOMPARE(QApplication::focusWidget(), edit);
        QTest::mouseRelease(form.BtnNextDay, Qt::LeftButton);
        QCOMPARE(form.Label1->text(), u"2009年03月11日(水)"_s);
        // The input method's own commit, late, once the editor shows the next day.
        QInputMethodEvent late;
        late.setCommitString(u"にほんご"_s);
        QApplication::sendEvent(QApplication::focusWidget(), &late);
        QCOMPARE(edit->toPlainText(), QString());
        F->Form.reset();
        QVERIFY(F->Read(kYearFile).contains(cp932::Encode(u"]\r\n!------------\r\nにほんご\r\n")));
    }

    void compositionHandedOverOnceWhenTheFileChanges()
    {
        F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "stored")));
        TForm1 &form = F->Start();
        auto *edit = form.KivDiaryEdit1;
        F->Type(edit, u"今日は"_s);
        QInputMethodEvent preedit(u"にほんご"_s, {});
        QApplication::sendEvent(edit, &preedit);
        // Another program writes the file: the window saves what it holds once the composition
        // has ended, the composition too.
        F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "other")));
        QInputMethodEvent late;
        late.setCommitString(u"にほんご"_s);
        QApplication::sendEvent(edit, &late);
        QInputMethodEvent empty(QString(), {});
        QApplication::sendEvent(edit, &empty);
        QTRY_VERIFY(F->Read(kYearFile).contains(cp932::Encode(u"今日はにほんご"_s)));
        // The other version rewrote the day's first line, this side wrote on after it: the
        // editor shows both changes, the composition once.
        QCOMPARE(edit->toPlainText(), u"other\n今日はにほんご"_s);
    }

    // A version from elsewhere that lands while a word is composed: the word stays open and the
    // keyboard with it; the save waits for the word and a pause, and says so in the window.
    void versionArrivingWhileComposingWaits_data()
    {
        QTest::addColumn<QString>("framework");
        QTest::newRow("ibus") << "ibus";
        QTest::newRow("fcitx5") << "fcitx5";
    }
    void versionArrivingWhileComposingWaits()
    {
        QFETCH(QString, framework);
        auto *ime = qvariant_cast<QObject *>(qApp->property("kivlogComposing"));
        if (!ime)
            QSKIP("the input method of the tests is not loaded");
        ime->setProperty("framework", framework);
        F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "stored")));
        TForm1 &form = F->Start();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *edit = form.KivDiaryEdit1;
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        edit->moveCursor(QTextCursor::End);
        F->Type(edit, u"今日は"_s);
        QMetaObject::invokeMethod(ime, "compose", Q_ARG(QString, u"にほんご"_s));
        const QByteArray other = yearWith(dayBlock("2009/03/10", "other"));
        F->Write(kYearFile, other);
        QTest::qWait(1500); // checks of the disk come and go
        QVERIFY(edit->Composing());
        QCOMPARE(F->Read(kYearFile), other);
        // The word converted and confirmed, then a pause: the save merges, the window tells.
        QInputMethodEvent confirmed;
        confirmed.setCommitString(u"日本語"_s);
        QApplication::sendEvent(edit, &confirmed);
        QTRY_VERIFY(F->Read(kYearFile).contains(cp932::Encode(u"今日は日本語"_s)));
        QVERIFY(!F->Read(kYearFile).contains(cp932::Encode(u"にほんご"_s)));
        QCOMPARE(QApplication::focusWidget(), edit);
        QCOMPARE(F->Boxes.size(), 1);
        QVERIFY(F->Boxes[0].first != TBoxKind::Message);
        auto *bar = form.findChild<QWidget *>(u"PnlNotice"_s);
        QVERIFY(bar && bar->isVisible());
        QVERIFY(bar->geometry().bottom() < edit->geometry().top());
        ShowWindowNotice(F->Boxes[0].second); // one more of its kind: the count is never cut off
        QVERIFY(bar->findChild<QLabel *>(u"LblNotice"_s)->text().endsWith(u"（ほか 1 件）"_s));
        // Read in full in a window of its own, the notice leaves the bar.
        QTest::mouseClick(bar->findChild<QPushButton *>(u"BtnNoticeList"_s), Qt::LeftButton);
        auto *window = form.findChild<QWidget *>(u"NoticeList"_s);
        auto *list = window ? window->findChild<QPlainTextEdit *>() : nullptr;
        QVERIFY(list && list->toPlainText().endsWith(u"2009/03/10"_s));
        QVERIFY(!bar->isVisible());
    }

    // The input method of the tests plays each framework as it was seen with Mozc; the word
    // being composed ends up once, on its own day, whatever ends the composition.
    void composedWordIsStoredOnceOnItsDay_data()
    {
        QTest::addColumn<QString>("framework");
        QTest::addColumn<QString>("way");
        QTest::newRow("ibus, next day") << "ibus"
                                        << "next day";
        QTest::newRow("ibus, a day in the calendar") << "ibus"
                                                     << "calendar";
        QTest::newRow("ibus, a click in the text") << "ibus"
                                                   << "click";
        QTest::newRow("ibus, a click on a day without text") << "ibus"
                                                             << "click, no text";
        QTest::newRow("ibus, the file changed") << "ibus"
                                                << "file changed";
        QTest::newRow("fcitx5, another window") << "fcitx5"
                                                << "other window";
    }
    void composedWordIsStoredOnceOnItsDay()
    {
        QFETCH(QString, framework);
        QFETCH(QString, way);
        auto *ime = qvariant_cast<QObject *>(qApp->property("kivlogComposing"));
        if (!ime)
            QSKIP("the input method of the tests is not loaded");
        ime->setProperty("framework", framework);
        F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "stored")));
        TForm1 &form = F->Start();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        auto *edit = form.KivDiaryEdit1;
        QTRY_COMPARE(QApplication::focusWidget(), edit);
        if (way == u"click, no text")
            edit->clear();
        else
            F->Type(edit, u"今日は"_s);
        QMetaObject::invokeMethod(ime, "compose", Q_ARG(QString, u"にほんご"_s));
        QWidget other;
        if (way == u"next day") {
            form.BtnNextDay->click();
        } else if (way == u"calendar") {
            form.MonthCalendar1->setFocus(Qt::MouseFocusReason);
            form.MonthCalendar1->SetDate(DateToDayNumber(QDate(2009, 3, 12)));
            form.MonthCalendar1Click();
        } else if (way.startsWith(u"click")) {
            QTest::mouseClick(edit->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
        } else if (way == u"file changed") {
            // The save waits for the composition, which the window's end hands over.
            F->Write(kYearFile, yearWith(dayBlock("2009/03/10", "other")));
            QTest::qWait(500);
        } else {
            other.show();
            other.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&other));
            form.activateWindow();
            QVERIFY(QTest::qWaitForWindowActive(&form));
        }
        QTest::qWait(20); // the input method's late delivery
        F->Form.reset();
        const QByteArray year = F->Read(kYearFile);
        const QByteArray word = cp932::Encode(u"にほんご"_s);
        QCOMPARE(year.count(word), 1);
        QCOMPARE(year.lastIndexOf("![", year.indexOf(word)), year.indexOf("![2009/03/10]"));
    }

    void typedDayHeaderIsEscapedInTheRecoveryFile()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"a\n![2009/01/07]\nb"_s);
        QVERIFY(form.findChild<TRecovery *>()->WriteNow());
        QVERIFY(
            F->Read(TRecovery::PathFor(*form.KivDiary1)).contains("a\r\n!![2009/01/07]\r\nb\r\n"));
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestEditorWindow)
#include "tst_editorwindow.moc"
