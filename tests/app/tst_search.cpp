#include "DiaryWindowFixture.h"
#include "SearchWindow.h"

#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QSignalSpy>

class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2010, 6, 15));
        F->Write(u"Data/2008.jnl"_s, F->YearFile(2008, {}) + "![2008/03/01]\r\nrain\r\n");
        F->Write(u"Data/2009.jnl"_s,
            F->YearFile(2009, {})
                + "![2009/05/01]\r\nmorning&#x1F600;\r\nlate RAIN, more rain\r\n");
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
        QTRY_COMPARE(search.LblCount->text(), u"3日分"_s);
        QCOMPARE(rows(search), 3);
        QCOMPARE(row(search, 0), u"2010/06/15(火)  ｒａｉｎ today"_s);
        QCOMPARE(row(search, 1), u"2009/05/01(金)  late RAIN, more rain"_s);
        QVERIFY(row(search, 2).startsWith(u"2008/03/01"_s));
        QVERIFY(isBold(form, QDate(2009, 5, 1)));

        form.MonthCalendar1->setCurrentPage(2010, 6);
        form.KivDiaryEdit1->clear();
        QVERIFY(!isBold(form, QDate(2010, 6, 15)));
        QTest::keyClick(&search, Qt::Key_Escape);
        QTRY_VERIFY(!form.findChild<TSearchWindow *>());
    }

    // Enter on a result goes the calendar's way: the year left is saved, then the caret goes
    // to the first hit in the day's text, with nothing selected.
    void enterMovesToTheDayAndSelectsTheHit()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"unsaved"_s);
        TSearchWindow &search = open(form);
        search.EdtQuery->setText(u"rain"_s);
        QTest::keyClick(search.EdtQuery, Qt::Key_Return);
        QTRY_COMPARE(search.LblCount->text(), u"2日分"_s);
        QTRY_VERIFY(search.LstResults->hasFocus());
        QCOMPARE(search.LstResults->currentIndex().row(), 0);
        QTest::keyClick(search.LstResults, Qt::Key_Return);

        QCOMPARE(DayNumberToDate(form.KivDiaryEdit1->Date()), QDate(2009, 5, 1));
        QVERIFY(F->Read(u"Data/2010.jnl"_s).contains("![2010/06/15]"));
        QVERIFY(!form.KivDiaryEdit1->textCursor().hasSelection());
        QCOMPARE(form.KivDiaryEdit1->textCursor().position(), 15);
        QVERIFY(search.isVisible());
        // Every hit of the day stays marked until the next edit.
        QList<int> marked;
        for (const QTextEdit::ExtraSelection &mark : form.KivDiaryEdit1->extraSelections())
            marked << mark.cursor.selectionStart() << mark.cursor.selectionEnd();
        QCOMPARE(marked, (QList<int> { 15, 19, 26, 30 }));
        // A second Enter by habit breaks the line and leaves the word found in place.
        QTest::keyClick(form.KivDiaryEdit1, Qt::Key_Return);
        QCOMPARE(
            form.KivDiaryEdit1->toPlainText(), u"morning\U0001F600\nlate \nRAIN, more rain\n"_s);
        QVERIFY(form.KivDiaryEdit1->extraSelections().isEmpty());
    }

    // Each keystroke searches while the year files are still being read; what shows in the
    // end is the last query's days, counted exactly, with the unreadable file after them.
    void newestQueryWinsWhileYearsAreRead()
    {
        QByteArray everyDay = F->YearFile(2007, {});
        for (QDate d(2007, 1, 1); d.year() == 2007; d = d.addDays(1))
            everyDay += d.toString(u"![yyyy/MM/dd]\r\nrain and sun\r\n"_s).toLatin1();
        F->Write(u"Data/2007.jnl"_s, everyDay);
        F->Write(u"Data/2006.jnl"_s, "!JNL 1.00 2005\r\n");
        TForm1 &form = F->Start();
        TSearchWindow &search = open(form);
        F->Type(search.EdtQuery, u"rai"_s);
        QVERIFY(search.Reading());
        F->Type(search.EdtQuery, u"n sun"_s);
        QTRY_VERIFY(!search.Reading());
        QCOMPARE(search.LblCount->text(), u"365日分"_s);
        QCOMPARE(rows(search), 366);
        QVERIFY(row(search, 365).contains(u"2006.jnl"_s));
        QVERIFY(!search.LstResults->model()
                     ->flags(search.LstResults->model()->index(365, 0))
                     .testFlag(Qt::ItemIsSelectable));
        search.EdtQuery->selectAll();
        F->Type(search.EdtQuery, u"RAIN"_s);
        QTRY_COMPARE(search.LblCount->text(), u"367日分"_s);
        QCOMPARE(row(search, 0), u"2009/05/01(金)  late RAIN, more rain"_s);
    }

    // Keys typed faster than a search are searched once, with the newest text; the years that
    // arrive meanwhile join the list below its first screen, the day chosen staying chosen.
    void aBurstSearchesOnceAndArrivalsKeepTheChoice()
    {
        TForm1 &form = F->Start();
        F->Type(form.KivDiaryEdit1, u"rain today"_s);
        TSearchWindow &search = open(form);
        QSignalSpy resets(search.LstResults->model(), &QAbstractItemModel::modelReset);
        QTest::keyClicks(search.EdtQuery, u"rain"_s);
        QCOMPARE(resets.count(), 0);
        QTRY_COMPARE(resets.count(), 1);
        search.LstResults->setCurrentIndex(search.LstResults->model()->index(0, 0));
        QTRY_COMPARE(search.LblCount->text(), u"3日分"_s);
        QCOMPARE(resets.count(), 1);
        QCOMPARE(search.LstResults->currentIndex().row(), 0);
        QVERIFY(row(search, 0).startsWith(u"2010/06/15"_s));
    }

    // A line longer than the list is cut around its hit, and cut again when the list widens.
    void theExcerptFitsTheRowWidth()
    {
        F->Write(u"Data/2005.jnl"_s,
            F->YearFile(2005, {}) + "![2005/01/01]\r\n" + QByteArray(300, 'x') + " rain "
                + QByteArray(300, 'y') + "\r\n");
        TForm1 &form = F->Start();
        TSearchWindow &search = open(form);
        F->Type(search.EdtQuery, u"rain"_s);
        QTRY_COMPARE(search.LblCount->text(), u"3日分"_s);
        const QString narrow = row(search, 2);
        QVERIFY(narrow.startsWith(u"2005/01/01(土)  …x"_s));
        QVERIFY(narrow.contains(u" rain y"_s));
        QVERIFY(narrow.endsWith(u"y…"_s));
        search.resize(search.width() * 2, search.height());
        QTRY_VERIFY(row(search, 2).size() > narrow.size() + 20);
        QVERIFY(row(search, 2).contains(u" rain y"_s));
    }

private:
    static int rows(TSearchWindow &search) { return search.LstResults->model()->rowCount(); }
    static QString row(TSearchWindow &search, int i)
    {
        return search.LstResults->model()->index(i, 0).data().toString();
    }

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
