#include "DiaryWindowFixture.h"
#include "SearchWindow.h"

#include <QLineEdit>
#include <QListWidget>

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2010, 6, 15));
        F->Write(u"Data/2008.jnl"_s, F->YearFile(2008, {}) + "![2008/03/01]\r\nrain\r\n");
        F->Write(u"Data/2009.jnl"_s,
            F->YearFile(2009, {}) + "![2009/05/01]\r\nmorning\r\nlate RAIN, more rain\r\n");
    }
    void cleanup() { F.reset(); }

    // Unsaved text of the loaded year is found, newest day first, and the days found in other
    // years get their calendar marks once their files were read.
    void findsAcrossYearsNewestFirst()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"ｒａｉｎ today"_s);
        QVERIFY(isBold(form, QDate(2010, 6, 15)));
        form.MonthCalendar1->setCurrentPage(2009, 5);
        QVERIFY(!isBold(form, QDate(2009, 5, 1))); // not read yet

        QCOMPARE(form.N3->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_F));
        QVERIFY(form.N3->isShortcutVisibleInContextMenu());
        TSearchWindow &search = open(form);
        F->Type(search.EdtQuery, u"RAIN"_s);
        QTRY_COMPARE(search.LstResults->count(), 3);
        QCOMPARE(search.LstResults->item(0)->text(), u"2010/06/15(火)  ｒａｉｎ today"_s);
        QCOMPARE(search.LstResults->item(1)->text(), u"2009/05/01(金)  late RAIN, more rain"_s);
        QVERIFY(search.LstResults->item(2)->text().startsWith(u"2008/03/01"_s));
        QCOMPARE(search.LblCount->text(), u"3日分"_s);
        QVERIFY(isBold(form, QDate(2009, 5, 1)));

        form.MonthCalendar1->setCurrentPage(2010, 6);
        form.KivDiaryEdit1->clear();
        QVERIFY(!isBold(form, QDate(2010, 6, 15)));
        QTest::keyClick(&search, Qt::Key_Escape);
        QTRY_VERIFY(!form.findChild<TSearchWindow *>());
    }

    // Enter on a result goes the calendar's way: the year left is saved, then the hit is
    // selected in the day's text.
    void enterMovesToTheDayAndSelectsTheHit()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"unsaved"_s);
        TSearchWindow &search = open(form);
        search.EdtQuery->setText(u"more rain"_s);
        QTest::keyClick(search.EdtQuery, Qt::Key_Return);
        QCOMPARE(search.LstResults->count(), 1);
        QTest::keyClick(search.LstResults, Qt::Key_Return);

        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), QDate(2009, 5, 1));
        QVERIFY(F->Read(u"Data/2010.jnl"_s).contains("![2010/06/15]"));
        QCOMPARE(form.KivDiaryEdit1->textCursor().selectedText(), u"RAIN"_s);
        QVERIFY(search.isVisible());
    }

private:
    static bool isBold(TForm1 &form, QDate day)
    {
        return form.MonthCalendar1->dateTextFormat(day).fontWeight() == QFont::Bold;
    }

    static TSearchWindow &open(TForm1 &form)
    {
        form.show();
        form.activateWindow();
        if (!QTest::qWaitForWindowActive(&form))
            qFatal("the diary's window did not become active");
        QTest::keyClick(form.KivDiaryEdit1, Qt::Key_F, Qt::ControlModifier);
        auto *window = form.findChild<TSearchWindow *>();
        if (!window || !window->isVisible())
            qFatal("Ctrl+F opened no search window");
        return *window;
    }

    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
