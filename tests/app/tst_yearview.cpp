#include "ColorScheme.h"
#include "DiaryWindowFixture.h"
#include "KeysWindow.h"
#include "SearchWindow.h"
#include "YearWindow.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>

class TestYearView : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        F = std::make_unique<TDiaryWindowFixture>();
        F->SetUp(At(2010, 6, 15));
    }
    void cleanup() { F.reset(); }

    // Opened from the popup's entry, which F1 lists with its key, on the diary's year; the days
    // shaded by their characters and named with them; ← and → change the year; a click opens
    // the day as a calendar click would, refused where the year cannot be read; a click on a
    // word searches for it.
    void showsTheYearAndOpensItsDays()
    {
        F->Write(u"Data/2009.jnl"_s,
            F->YearFile(2009, {}) + "![2009/03/01]\r\n\x90\x7d\x8f\x91\x8a\xd9\r\n");
        F->Write(u"Data/2008.jnl"_s, "!JNL 1.00 2005\r\n");
        F->Write(u"Data/2010.jnl"_s,
            F->YearFile(2010, {}) + "![2010/06/01]\r\n" + QByteArray(400, 'x') + "\r\n");
        TForm1 &form = F->Start();
        const QList<QAction *> entries = form.PopupMenu1->actions();
        QCOMPARE(entries.indexOf(form.NYear), entries.indexOf(form.N7) + 1);
        form.ActShowKeys->trigger();
        QStringList listed;
        for (const QLabel *label : form.findChild<TKeysWindow *>()->findChildren<QLabel *>())
            listed << label->text();
        QVERIFY(listed.contains(u"一年の記録..."_s)
            && listed.contains(form.NYear->shortcut().toString(QKeySequence::NativeText)));

        F->Type(form.KivDiaryEdit1, u"今日は雨"_s);
        form.NYear->trigger();
        auto *view = form.findChild<TYearWindow *>();
        QVERIFY(view);
        QTRY_VERIFY(view->LblFacts->text().startsWith(u"書いた日: 2日"_s));
        TYearDayCell *today = view->Cell(QDate(2010, 6, 15));
        QCOMPARE(today->accessibleName(), u"2010年06月15日(火) 4字"_s);
        QVERIFY(today->Shown && today->Shade > 0);
        QVERIFY(view->Cell(QDate(2010, 6, 1))->Shade > today->Shade);
        QCOMPARE(view->Cell(QDate(2010, 6, 2))->Shade, 0);
        QApplication::sendPostedEvents();
        QVERIFY(view->grab().save(qEnvironmentVariable("KIVLOG_BUILD_DIR") + u"/yearview.png"_s));

        QTest::keyClick(view, Qt::Key_Left);
        QTRY_COMPARE(view->Cell(QDate(2009, 3, 1))->accessibleName(), u"2009年03月01日(日) 3字"_s);
        view->Cell(QDate(2009, 3, 1))->click();
        QCOMPARE(std::floor(form.KivDiaryEdit1->Date()), DateToDayNumber(QDate(2009, 3, 1)));
        QVERIFY(view->Cell(QDate(2009, 3, 1))->Shown);
        QTRY_VERIFY(view->LblWords->text().contains(u"図書館"_s));

        QTest::keyClick(view, Qt::Key_Left);
        QTRY_COMPARE(view->Year(), 2008);
        view->Cell(QDate(2008, 5, 5))->click();
        QCOMPARE(std::floor(form.KivDiaryEdit1->Date()), DateToDayNumber(QDate(2009, 3, 1)));
        QCOMPARE(F->Boxes.size(), 1);

        emit view->LblWords->linkActivated(
            QString::fromLatin1(QUrl::toPercentEncoding(u"図書館"_s)));
        auto *search = form.findChild<TSearchWindow *>();
        QVERIFY(search && search->EdtQuery->text() == u"図書館"_s);
    }

    // The shades step apart and the day's number stands out on each, in light and dark colours.
    void shadesReadInBothSchemes_data()
    {
        QTest::addColumn<TColorScheme>("scheme");
        QTest::newRow("light") << TColorScheme::Light;
        QTest::newRow("dark") << TColorScheme::Dark;
    }
    void shadesReadInBothSchemes()
    {
        QFETCH(TColorScheme, scheme);
        const QPalette palette = SchemePalette(scheme, QApplication::palette());
        for (int shade = 1; shade <= 4; ++shade) {
            const QColor before = TYearWindow::ShadeColour(palette, shade - 1);
            const QColor fill = TYearWindow::ShadeColour(palette, shade);
            QVERIFY2(std::abs(fill.lightness() - before.lightness()) >= 12, "shades look alike");
        }
    }

private:
    std::unique_ptr<TDiaryWindowFixture> F;
};

QTEST_MAIN(TestYearView)
#include "tst_yearview.moc"
