// The main window as built: where every control stands at the design size and after
// resizing, the smallest size, the tab order, fonts, the popup menu and the event bindings.

#include "AppServices.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "Services.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDir>
#include <QFontInfo>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <cmath>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

const char16_t *const kDayNames[] = { u"月", u"火", u"水", u"木", u"金", u"土", u"日" };
const QDateTime kNow(QDate(2010, 5, 15), QTime(12, 0));

double day(int y, int m, int d) { return DateToDayNumber(QDate(y, m, d)); }

// The window's controls with their design rectangles, relative to their parents, at the
// client size 544 x 360.
struct TPlace {
    const char *Name;
    QRect Design;
};
const TPlace kDesign[] = {
    { "PnlMain", { 0, 0, 378, 360 } },
    { "KivDiaryEdit1", { 8, 40, 369, 265 } },
    { "BtnClose", { 207, 320, 75, 25 } },
    { "BtnUndo", { 111, 320, 75, 25 } },
    { "Panel3", { 378, 0, 166, 360 } },
    { "PnlCalendar", { 1, 1, 164, 270 } },
    { "MonthCalendar1", { 1, 1, 162, 127 } },
    { "BtnToday", { 16, 232, 132, 25 } },
    { "BtnPrevYear", { 16, 136, 60, 25 } },
    { "BtnNextYear", { 88, 136, 60, 25 } },
    { "BtnPrevMonth", { 16, 168, 60, 25 } },
    { "BtnNextMonth", { 88, 168, 60, 25 } },
    { "BtnPrevDay", { 16, 200, 60, 25 } },
    { "BtnNextDay", { 88, 200, 60, 25 } },
    { "PnlStatus", { 1, 271, 164, 88 } },
    { "LblYear", { 1, 13, 160, 35 } },
    { "LblDate", { 1, 52, 160, 29 } },
};

} // namespace

class TestLayout : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void designPlaces();
    void resizingKeepsColumnsAnchorsAndMinimum_data();
    void resizingKeepsColumnsAnchorsAndMinimum();
    void fontsFallBackToTheIpaFonts();
    void tabOrderPassesTheCalendarBy();
    void popupMenuOpensOnTheRightColumnOnly();
    void popupItemsRunTheirActions();
    void buttonsAndCalendarAreBound_data();
    void buttonsAndCalendarAreBound();
    void calendarKeepsItsTimeOfDay();
    void monthTitleShowsNoArrowOverItsName();
    void destroyingSavesTheEditsLast();
    void renderAtDesignSize();

private:
    QWidget *control(const char *name) const
    {
        return FForm->findChild<QWidget *>(QString::fromLatin1(name));
    }

    std::unique_ptr<QTemporaryDir> FDir;
    QString FSavedDir;
    std::unique_ptr<TScopedDiaryServices> FServices;
    std::unique_ptr<TForm1> FForm;
    QStringList FBoxes;
};

void TestLayout::init()
{
    FBoxes.clear();
    SetBoxHook([this](TBoxKind, const QString &text) { FBoxes << text; });
    TDiaryServices services;
    services.ShowMessage = [this](const QString &text) { FBoxes << text; };
    services.Now = [] { return kNow; };
    services.ShortDayName
        = [](int dayOfWeek) { return QString::fromUtf16(kDayNames[dayOfWeek - 1]); };
    FServices = std::make_unique<TScopedDiaryServices>(services);

    FDir = std::make_unique<QTemporaryDir>();
    QVERIFY(FDir->isValid());
    FSavedDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(FDir->path()));
    TForm1::SetCommandLine({ u"kivlog"_s });
    FForm = std::make_unique<TForm1>();
    QVERIFY(!FForm->TerminateRequested());
}

void TestLayout::cleanup()
{
    FForm.reset();
    QDir::setCurrent(FSavedDir);
    FDir.reset();
    FServices.reset();
    SetBoxHook({});
}

void TestLayout::designPlaces()
{
    QCOMPARE(FForm->size(), QSize(544, 360));
    for (const TPlace &place : kDesign) {
        QWidget *widget = control(place.Name);
        QVERIFY2(widget, place.Name);
        QVERIFY2(widget->geometry() == place.Design,
            qPrintable(u"%1 stands at %2,%3 %4x%5"_s.arg(QLatin1StringView(place.Name))
                           .arg(widget->x())
                           .arg(widget->y())
                           .arg(widget->width())
                           .arg(widget->height())));
    }
    // The date label sizes itself to its text at its place, once shown and whenever its
    // text changes.
    QCOMPARE(FForm->Label1->pos(), QPoint(16, 8));
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    QCOMPARE(FForm->Label1->size(), FForm->Label1->sizeHint());
    const int shortWidth = FForm->Label1->width();
    FForm->Label1->setText(FForm->Label1->text() + u"と少し"_s);
    QTRY_COMPARE(FForm->Label1->size(), FForm->Label1->sizeHint());
    QVERIFY(FForm->Label1->width() > shortWidth);
    QCOMPARE(FForm->Label1->pos(), QPoint(16, 8));
    QCOMPARE(FForm->KivDiaryEdit1->parentWidget(), FForm->PnlMain);
    QCOMPARE(FForm->MonthCalendar1->parentWidget(), FForm->PnlCalendar);
    QCOMPARE(FForm->LblDate->parentWidget(), FForm->PnlStatus);
}

void TestLayout::resizingKeepsColumnsAnchorsAndMinimum_data()
{
    QTest::addColumn<QSize>("asked");
    QTest::addColumn<QSize>("client");
    QTest::newRow("larger") << QSize(800, 600) << QSize(800, 600);
    QTest::newRow("wider only") << QSize(1000, 360) << QSize(1000, 360);
    QTest::newRow("below the minimum") << QSize(300, 200) << QSize(466, 360);
    QTest::newRow("narrow but tall") << QSize(400, 500) << QSize(466, 500);
}

void TestLayout::resizingKeepsColumnsAnchorsAndMinimum()
{
    QFETCH(QSize, asked);
    QFETCH(QSize, client);
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    FForm->resize(asked);
    QCOMPARE(FForm->size(), client);

    const int w = client.width();
    const int h = client.height();
    QCOMPARE(FForm->Panel3->geometry(), QRect(w - 166, 0, 166, h));
    QCOMPARE(FForm->PnlMain->geometry(), QRect(0, 0, w - 166, h));
    QCOMPARE(FForm->PnlStatus->geometry(), QRect(1, h - 1 - 88, 164, 88));
    QCOMPARE(FForm->PnlCalendar->geometry(), QRect(1, 1, 164, h - 2 - 88));
    QCOMPARE(FForm->MonthCalendar1->geometry(), QRect(1, 1, 162, 127));
    QCOMPARE(FForm->BtnToday->geometry(), QRect(16, 232, 132, 25));
    QCOMPARE(FForm->LblYear->geometry(), QRect(1, 13, 160, 35));
    // The editor keeps 8 / 40 / 1 / 55 to its panel's edges, the buttons 15 to its bottom.
    QCOMPARE(FForm->KivDiaryEdit1->geometry(), QRect(8, 40, (w - 166) - 8 - 1, h - 40 - 55));
    QCOMPARE(FForm->BtnUndo->geometry(), QRect(111, h - 15 - 25, 75, 25));
    QCOMPARE(FForm->BtnClose->geometry(), QRect(207, h - 15 - 25, 75, 25));
    QCOMPARE(FForm->Label1->pos(), QPoint(16, 8));

    // Back to the design size, everything is where it started.
    FForm->resize(544, 360);
    for (const TPlace &place : kDesign)
        QCOMPARE(control(place.Name)->geometry(), place.Design);
}

void TestLayout::fontsFallBackToTheIpaFonts()
{
    // Where the Japanese system fonts are missing, their names must still give Japanese
    // fonts of the same kind, not whatever the font matcher offers first. A Japanese locale
    // gets their Japanese names.
    const auto family = [](const QWidget *w) { return QFontInfo(w->font()).family(); };
    QVERIFY2(QStringList({ u"ＭＳ Ｐゴシック"_s, u"IPAPGothic"_s, u"IPA Pゴシック"_s })
                 .contains(family(FForm.get())),
        qPrintable(family(FForm.get())));
    QVERIFY2(QStringList({ u"ＭＳ ゴシック"_s, u"IPAGothic"_s, u"IPAゴシック"_s })
                 .contains(family(FForm->LblYear)),
        qPrintable(family(FForm->LblYear)));
    QCOMPARE(QFontInfo(FForm->BtnToday->font()).pixelSize(), 12);
}

void TestLayout::tabOrderPassesTheCalendarBy()
{
    FForm->show();
    QVERIFY(QTest::qWaitForWindowActive(FForm.get()));
    FForm->KivDiaryEdit1->setFocus();
    QStringList visited;
    for (int i = 0; i < 10; ++i) {
        QWidget *focus = QApplication::focusWidget();
        QVERIFY(focus);
        visited << focus->objectName();
        QTest::keyClick(focus, Qt::Key_Tab);
    }
    visited << QApplication::focusWidget()->objectName();
    QCOMPARE(visited,
        QStringList({ u"KivDiaryEdit1"_s, u"BtnClose"_s, u"BtnUndo"_s, u"BtnToday"_s,
            u"BtnPrevYear"_s, u"BtnNextYear"_s, u"BtnPrevMonth"_s, u"BtnNextMonth"_s,
            u"BtnPrevDay"_s, u"BtnNextDay"_s, u"KivDiaryEdit1"_s }));

    // A click still gives the calendar the focus.
    auto *view = FForm->MonthCalendar1->findChild<QTableView *>();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    QVERIFY(FForm->MonthCalendar1->isAncestorOf(QApplication::focusWidget()));
}

void TestLayout::popupMenuOpensOnTheRightColumnOnly()
{
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    const auto rightClick = [](QWidget *target) {
        QContextMenuEvent event(
            QContextMenuEvent::Mouse, QPoint(3, 3), target->mapToGlobal(QPoint(3, 3)));
        QApplication::sendEvent(target, &event);
    };

    auto *calendarView = FForm->MonthCalendar1->findChild<QTableView *>();
    const QList<QWidget *> inColumn = { FForm->PnlCalendar, FForm->BtnToday,
        calendarView->viewport(), FForm->PnlStatus, FForm->LblYear };
    for (QWidget *target : inColumn) {
        rightClick(target);
        QVERIFY2(FForm->PopupMenu1->isVisible(), qPrintable(target->objectName()));
        FForm->PopupMenu1->close();
    }

    // The editor opens its own menu; the window's menu stays shut.
    rightClick(FForm->KivDiaryEdit1->viewport());
    auto *opened = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(opened);
    QVERIFY(opened != FForm->PopupMenu1);
    QVERIFY(!FForm->PopupMenu1->isVisible());
    opened->close();
    for (QWidget *target :
        { static_cast<QWidget *>(FForm->PnlMain), static_cast<QWidget *>(FForm->BtnClose) }) {
        rightClick(target);
        QVERIFY(!FForm->PopupMenu1->isVisible());
    }
}

void TestLayout::popupItemsRunTheirActions()
{
    QCOMPARE(FForm->PopupMenu1->actions(), (QList<QAction *> { FForm->N1, FForm->N2, FForm->N3 }));
    QCOMPARE(FForm->N1->text(), u"フォント変更"_s);
    QCOMPARE(FForm->N2->text(), u"曜日を保存する"_s);
    QCOMPARE(FForm->N3->text(), u"検索..."_s);

    // No DAYNAME in a new year file: the option is off, and so is the mark.
    TKivDiary &store = *FForm->KivDiary1;
    QVERIFY(!store.DayName());
    QVERIFY(!FForm->N2->isChecked());
    FForm->N2->trigger();
    QVERIFY(store.DayName());
    QVERIFY(FForm->N2->isChecked());
    FForm->N2->trigger();
    QVERIFY(!store.DayName());
    QVERIFY(!FForm->N2->isChecked());
    QVERIFY(!FForm->ActToggleDayName->isChecked());

    int asked = 0;
    TForm1::FontChooser = [&asked](QFont &) {
        ++asked;
        return false;
    };
    FForm->N1->trigger();
    TForm1::FontChooser = nullptr;
    QCOMPARE(asked, 1);
}

void TestLayout::buttonsAndCalendarAreBound_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QDate>("expected");
    // Each click starts from 10 January 2010 on the calendar; the pinned today is 15 May 2010.
    QTest::newRow("today") << u"BtnToday"_s << QDate(2010, 5, 15);
    QTest::newRow("previous year") << u"BtnPrevYear"_s << QDate(2009, 1, 10);
    QTest::newRow("next year") << u"BtnNextYear"_s << QDate(2011, 1, 10);
    QTest::newRow("previous month") << u"BtnPrevMonth"_s << QDate(2009, 12, 10);
    QTest::newRow("next month") << u"BtnNextMonth"_s << QDate(2010, 2, 10);
    QTest::newRow("previous day") << u"BtnPrevDay"_s << QDate(2010, 1, 9);
    QTest::newRow("next day") << u"BtnNextDay"_s << QDate(2010, 1, 11);
}

void TestLayout::buttonsAndCalendarAreBound()
{
    QFETCH(QString, button);
    QFETCH(QDate, expected);
    FForm->MonthCalendar1->SetDate(day(2010, 1, 10));
    QTest::mouseClick(FForm->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(DayNumberToDate(FForm->KivDiaryEdit1->Date()), expected);
    QCOMPARE(FForm->KivDiaryEdit1->Date(), FForm->MonthCalendar1->Date());
    QVERIFY(FBoxes.isEmpty());
}

void TestLayout::calendarKeepsItsTimeOfDay()
{
    TMonthCalendar &calendar = *FForm->MonthCalendar1;
    // The calendar's own time of day is the pinned noon at which it was made.
    calendar.SetDate(day(2010, 1, 10) + 0.9);
    QCOMPARE(calendar.Date(), day(2010, 1, 10) + 0.5);
    calendar.SetDate(-3.7); // truncated toward zero: 1899-12-27
    QCOMPARE(calendar.selectedDate(), QDate(1899, 12, 27));
    QCOMPARE(calendar.Date(), -3 + 0.5);
    QCOMPARE(calendar.minimumDate().year() < 1900, true);

    calendar.SetDate(day(2001, 8, 20));
    for (double refused : { std::nan(""), 1e12, -1e12 }) {
        QVERIFY_THROWS_EXCEPTION(Exception, calendar.SetDate(refused));
        QCOMPARE(calendar.Date(), day(2001, 8, 20) + 0.5);
    }

    // A click on a day reaches the window, which takes the day over; keys in the calendar
    // change its value but leave the editor where it was until the next click.
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    auto *view = calendar.findChild<QTableView *>();
    QModelIndex twentieth;
    for (int row = 0; row < view->model()->rowCount() && !twentieth.isValid(); ++row)
        for (int column = 0; column < view->model()->columnCount(); ++column) {
            const QModelIndex index = view->model()->index(row, column);
            if (index.data().toString() == u"20"_s)
                twentieth = index;
        }
    QVERIFY(twentieth.isValid());
    // All six week rows fit into the calendar's design height.
    const int lastRow = view->model()->rowCount() - 1;
    QVERIFY(view->rowViewportPosition(lastRow) + view->rowHeight(lastRow)
        <= view->viewport()->height());
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(twentieth).center());
    QCOMPARE(FForm->KivDiaryEdit1->Date(), day(2001, 8, 20) + 0.5);
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(calendar.Date(), day(2001, 8, 21) + 0.5);
    QCOMPARE(FForm->KivDiaryEdit1->Date(), day(2001, 8, 20) + 0.5);
}

// The month's name is a menu button, narrower than Qt's drop-down arrow needs: the arrow
// would be drawn over the name's last character.
void TestLayout::monthTitleShowsNoArrowOverItsName()
{
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    auto *month = FForm->MonthCalendar1->findChild<QToolButton *>(u"qt_calendar_monthbutton"_s);
    QVERIFY(month && month->menu());
    const QImage shown = month->grab().toImage();
    QMenu *menu = month->menu();
    month->setMenu(nullptr);
    const QImage nameAlone = month->grab().toImage();
    month->setMenu(menu);
    QCOMPARE(shown, nameAlone);
}

void TestLayout::destroyingSavesTheEditsLast()
{
    QTest::sendKeyEvent(
        QTest::Click, FForm->KivDiaryEdit1, Qt::Key_unknown, u"最後の日記"_s, Qt::NoModifier);
    FForm.reset();
    QFile file(FDir->filePath(u"Data/2010.jnl"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    // "最後の日記" in CP932.
    QVERIFY(content.contains("\x8d\xc5\x8c\xe3\x82\xcc\x93\xfa\x8b\x4c"));
}

void TestLayout::renderAtDesignSize()
{
    FForm->show();
    QVERIFY(QTest::qWaitForWindowExposed(FForm.get()));
    FForm->KivDiaryEdit1->setPlainText(u"今日は晴れ。\n散歩をした。"_s);
    const QPixmap shot = FForm->grab();
    QCOMPARE(shot.deviceIndependentSize().toSize(), QSize(544, 360));
    QVERIFY(shot.save(QStringLiteral(KIVLOG_BUILD_DIR "/layout.png")));
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
