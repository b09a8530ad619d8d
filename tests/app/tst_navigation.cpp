#include "DiaryWindowFixture.h"

#include <QAccessible>
#include <functional>

class TestNavigation : public QObject {
    Q_OBJECT

private slots:
    void init() { F = std::make_unique<TDiaryWindowFixture>(); }
    void cleanup() { F.reset(); }

    // One event end to end: the edited day goes into the year it leaves, that year's file is
    // saved with a backup, the next year's file is read, and the window follows.
    void nextDayOnNewYearsEveSavesTheOldYearAndLoadsTheNew()
    {
        F->SetUp(At(2008, 12, 31));
        const QByteArray before = F->YearFile(2008, { "DAYNAME=TRUE" })
            + "!----------------\r\n![2008/12/30](\x89\xce)\r\n!----------------\r\nday before\r\n";
        F->Write(u"Data/2008.jnl"_s, before);
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, {}) + "![2009/01/01]\r\nnew year\r\n");
        TForm1 &form = F->Start();
        QVERIFY(form.N2->isChecked());
        F->Type(form.KivDiaryEdit1, u"日記"_s);

        form.BtnNextDay->click();

        QCOMPARE(F->Read(u"Data/2008.bak"_s), before);
        QCOMPARE(F->Read(u"Data/2008.jnl"_s),
            before
                + "!----------------\r\n![2008/12/"
                  "31](\x90\x85)\r\n!----------------\r\n\x93\xfa\x8bL\r\n");
        QCOMPARE(form.KivDiaryEdit1->toPlainText().trimmed(), u"new year"_s);
        QCOMPARE(form.Label1->text(), u"2009年01月01日(木)"_s);
        QCOMPARE(ApplicationTitle(), u"2009年01月01日(木)"_s);
        QCOMPARE(form.windowTitle(), u"KIV-N's Diary < 2009年01月01日(木) >"_s);
        QVERIFY(!form.N2->isChecked()); // the new year's file has no DAYNAME
        QVERIFY(F->Boxes.isEmpty());
    }

    void stepButtons_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QDate>("expected");
        QTest::newRow("31 Mar, leap") << QDate(2008, 3, 31) << "BtnPrevMonth" << QDate(2008, 2, 29);
        QTest::newRow("31 Mar") << QDate(2009, 3, 31) << "BtnPrevMonth" << QDate(2009, 2, 28);
        QTest::newRow("31 Jan, 2000") << QDate(2000, 1, 31) << "BtnNextMonth" << QDate(2000, 2, 29);
        QTest::newRow("31 Jan, 2100") << QDate(2100, 1, 31) << "BtnNextMonth" << QDate(2100, 2, 28);
        QTest::newRow("31 Dec") << QDate(2008, 12, 31) << "BtnNextMonth" << QDate(2009, 1, 31);
        QTest::newRow("15 Jan") << QDate(2009, 1, 15) << "BtnPrevMonth" << QDate(2008, 12, 15);
        QTest::newRow("29 Feb, next") << QDate(2008, 2, 29) << "BtnNextYear" << QDate(2009, 2, 28);
        QTest::newRow("29 Feb, prev") << QDate(2008, 2, 29) << "BtnPrevYear" << QDate(2007, 2, 28);
        QTest::newRow("1 Jan") << QDate(2009, 1, 1) << "BtnPrevDay" << QDate(2008, 12, 31);
        QTest::newRow("today") << QDate(2001, 8, 20) << "BtnToday" << QDate(2009, 5, 10);
    }

    void stepButtons()
    {
        QFETCH(QDate, start);
        QFETCH(QString, button);
        QFETCH(QDate, expected);
        F->SetUp(At(2009, 5, 10, QTime(6, 0))); // "today" ignores the 08:00 rule
        TForm1 &form = F->Start();
        form.MonthCalendar1->SetDate(DateToDayNumber(start));
        form.UpdateDate();

        form.findChild<QPushButton *>(button)->click();

        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), expected);
        QCOMPARE(form.KivDiaryEdit1->Date(), form.MonthCalendar1->Date());
    }

    void ctrlKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QDate>("expected");
        QTest::addColumn<bool>("consumed");
        const int ctrl = Qt::ControlModifier;
        QTest::newRow("left") << int(Qt::Key_Left) << ctrl << QDate(2008, 12, 30) << true;
        QTest::newRow("right") << int(Qt::Key_Right) << ctrl << QDate(2009, 1, 1) << true;
        QTest::newRow("up") << int(Qt::Key_Up) << ctrl << QDate(2008, 12, 24) << true;
        QTest::newRow("down") << int(Qt::Key_Down) << ctrl << QDate(2009, 1, 7) << true;
        QTest::newRow("keypad") << int(Qt::Key_Left) << int(ctrl | Qt::KeypadModifier)
                                << QDate(2008, 12, 30) << true;
        // Only Ctrl, Shift and Alt count: the Windows key or a layout switch held as well
        // still leaves Ctrl alone.
        QTest::newRow("ctrl+meta")
            << int(Qt::Key_Right) << int(ctrl | Qt::MetaModifier) << QDate(2009, 1, 1) << true;
        QTest::newRow("ctrl+group switch")
            << int(Qt::Key_Down) << int(ctrl | Qt::GroupSwitchModifier) << QDate(2009, 1, 7)
            << true;
        QTest::newRow("ctrl+shift")
            << int(Qt::Key_Left) << int(ctrl | Qt::ShiftModifier) << QDate(2008, 12, 31) << false;
        QTest::newRow("ctrl+alt") << int(Qt::Key_Left) << int(ctrl | Qt::AltModifier)
                                  << QDate(2008, 12, 31) << false;
        QTest::newRow("ctrl+c") << int(Qt::Key_C) << ctrl << QDate(2008, 12, 31) << false;
    }

    void ctrlKeys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QDate, expected);
        QFETCH(bool, consumed);
        F->SetUp(At(2008, 12, 31));
        TForm1 &form = F->Start();
        const int pressed = key;

        form.KivDiaryEdit1KeyDown(key, Qt::KeyboardModifiers(modifiers));

        QCOMPARE(key, consumed ? 0 : pressed);
        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), expected);
        QCOMPARE(form.KivDiaryEdit1->Date(), form.MonthCalendar1->Date());
    }

    // What a screen reader finds in the window's accessibility tree: the editor named after
    // the day it holds, also after a move, and the calendar and date labels named.
    void screenReaderNamesFollowTheDay()
    {
        F->SetUp(At(2009, 5, 10));
        TForm1 &form = F->Start();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        // "role name / description" of every part, from the window down.
        const auto parts = [&form] {
            QStringList found;
            std::function<void(QAccessibleInterface *)> walk = [&](QAccessibleInterface *node) {
                found << u"%1 %2 / %3"_s.arg(int(node->role()))
                             .arg(node->text(QAccessible::Name),
                                 node->text(QAccessible::Description));
                for (int i = 0; i < node->childCount(); ++i)
                    walk(node->child(i));
            };
            walk(QAccessible::queryAccessibleInterface(&form));
            return found.join(u'\n') + u'\n';
        };
        const QString editor
            = u"%1 %2の日記 / この日の文章です。別の日に移るか終了すると保存されます。\n"_s;
        const QString first = parts();
        for (const QString &expected :
            { editor.arg(int(QAccessible::EditableText)).arg(u"2009年05月10日(日)"_s),
                u"%1 2009年05月10日(日) / 表示中の日付\n"_s.arg(int(QAccessible::StaticText)),
                u"%1 2009年 / 今日の年\n"_s.arg(int(QAccessible::StaticText)),
                u"%1 05月10日(日) / 今日の月日と曜日\n"_s.arg(int(QAccessible::StaticText)),
                u" カレンダー / 日付を選ぶと"_s, u" 今日の日付 / "_s, u" 前の月 / \n"_s,
                u" 次の月 / \n"_s })
            QVERIFY2(first.count(expected) == 1, qPrintable(expected + u"not in\n"_s + first));

        int key = Qt::Key_Right;
        form.KivDiaryEdit1KeyDown(key, Qt::ControlModifier);
        QVERIFY(parts().contains(
            editor.arg(int(QAccessible::EditableText)).arg(u"2009年05月11日(月)"_s)));
        QVERIFY(!parts().contains(u"2009年05月10日(日)の日記"_s));
    }

    // A day picked with the calendar's own keys is taken over by Ctrl with any key, and only
    // with Ctrl alone. Ctrl+A selects everything and still reaches the editor.
    void ctrlTakesOverTheCalendarsDay()
    {
        F->SetUp(At(2008, 12, 31));
        TForm1 &form = F->Start();
        form.MonthCalendar1->SetDate(DateToDayNumber(QDate(2008, 11, 3)));
        int key = Qt::Key_A;
        form.KivDiaryEdit1KeyDown(key, Qt::ShiftModifier);
        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), QDate(2008, 12, 31));

        form.KivDiaryEdit1KeyDown(key, Qt::ControlModifier);
        QCOMPARE(form.Label1->text(), u"2008年11月03日(月)"_s);

        form.KivDiaryEdit1->setPlainText(u"abc"_s);
        form.KivDiaryEdit1KeyDown(key, Qt::ControlModifier);
        QCOMPARE(key, int(Qt::Key_A));
        QCOMPARE(form.KivDiaryEdit1->textCursor().selectedText(), u"abc"_s);
    }

    // Undo and a click on the day already shown both end in the editor with the caret after
    // the text. The click moves nothing, yet reads the weekday option again.
    void undoAndTheSameDayAgainEndInTheEditor()
    {
        F->SetUp(At(2009, 5, 10));
        F->Write(u"Data/2009.jnl"_s, F->YearFile(2009, {}) + "![2009/05/10]\r\nstored\r\n");
        TForm1 &form = F->Start();
        form.show();
        QVERIFY(QTest::qWaitForWindowActive(&form));
        TKivDiaryEdit *edit = form.KivDiaryEdit1;
        const auto caretAtEnd = [edit] {
            const QTextCursor caret = edit->textCursor();
            return QApplication::focusWidget() == edit && !caret.hasSelection() && caret.atEnd();
        };

        edit->moveCursor(QTextCursor::Start);
        F->Type(edit, u"edited "_s);
        QTest::mouseClick(form.BtnUndo, Qt::LeftButton);
        QCOMPARE(edit->toPlainText().trimmed(), u"stored"_s);
        QVERIFY(!edit->Modified());
        QVERIFY(caretAtEnd());

        F->Diary().SetSetting("DAYNAME", "True");
        edit->selectAll();
        form.BtnToday->setFocus();
        form.BtnToday->click();
        QVERIFY(form.N2->isChecked() && F->Diary().DayName());
        QVERIFY(caretAtEnd());
        QVERIFY(!F->Diary().Modified());
    }

    void noMoveBeforeTheYearOne_data()
    {
        QTest::addColumn<QString>("button");
        QTest::newRow("year") << "BtnPrevYear";
        QTest::newRow("month") << "BtnPrevMonth";
    }

    void noMoveBeforeTheYearOne()
    {
        QFETCH(QString, button);
        F->SetUp(At(2009, 5, 10));
        TForm1 &form = F->Start();
        form.MonthCalendar1->SetDate(DateToDayNumber(QDate(1, 1, 15)));

        form.findChild<QPushButton *>(button)->click();

        QCOMPARE(F->Boxes,
            (QList<std::pair<TBoxKind, QString>> {
                { TBoxKind::Error, u"カレンダーにこの日付は設定できません。"_s } }));
        QCOMPARE(DayNumberToDate(form.MonthCalendar1->Date()), QDate(1, 1, 15));
    }

    // The store refuses 1899: the whole window, the calendar too, stays on 1900, and a Ctrl
    // key afterwards does not try the move again.
    void theYear1899IsRefusedAndTheWindowStays()
    {
        F->SetUp(At(1900, 1, 1));
        TForm1 &form = F->Start();
        const QString caption = form.windowTitle();

        form.BtnPrevYear->click();

        QCOMPARE(F->Boxes,
            (QList<std::pair<TBoxKind, QString>> {
                { TBoxKind::Error, u"年が有効範囲外です。"_s } }));
        QCOMPARE(DayNumberToDate(form.MonthCalendar1->Date()), QDate(1900, 1, 1));
        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), QDate(1900, 1, 1));
        QCOMPARE(form.Label1->text(), u"1900年01月01日(月)"_s);
        QCOMPARE(form.windowTitle(), caption);
        int key = Qt::Key_C;
        form.KivDiaryEdit1KeyDown(key, Qt::ControlModifier);
        QCOMPARE(key, int(Qt::Key_C));
        QCOMPARE(F->Boxes.size(), 1);
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
