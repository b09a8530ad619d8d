// The main window as built: where every control stands at the design size and after
// resizing, the smallest size, the tab order, fonts, the popup menu and the event bindings.

#include "ColorScheme.h"
#include "DiaryWindowFixture.h"
#include "Exceptions.h"
#include "KeysWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QFrame>
#include <QMenu>
#include <QTableView>
#include <QToolButton>
#include <cmath>

namespace {

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
    void f1ListsTheKeysTheEntriesAndTheFolder();
    void buttonsAndCalendarAreBound_data();
    void buttonsAndCalendarAreBound();
    void calendarKeepsItsTimeOfDay();
    void monthTitleShowsNoArrowOverItsName();
    void destroyingSavesTheEditsLast();
    void renderAtDesignSize_data();
    void renderAtDesignSize();

private:
    QWidget *control(const char *name) const
    {
        return F->Form->findChild<QWidget *>(QString::fromLatin1(name));
    }

    std::unique_ptr<TDiaryWindowFixture> F;
};

void TestLayout::init()
{
    F = std::make_unique<TDiaryWindowFixture>();
    F->SetUp(At(2010, 5, 15));
    QVERIFY(!F->Start().TerminateRequested());
}

void TestLayout::cleanup() { F.reset(); }

void TestLayout::designPlaces()
{
    QCOMPARE(F->Form->size(), QSize(544, 360));
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
    QCOMPARE(F->Form->Label1->pos(), QPoint(16, 8));
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(F->Form.get()));
    QCOMPARE(F->Form->Label1->size(), F->Form->Label1->sizeHint());
    const int shortWidth = F->Form->Label1->width();
    F->Form->Label1->setText(F->Form->Label1->text() + u"と少し"_s);
    QTRY_COMPARE(F->Form->Label1->size(), F->Form->Label1->sizeHint());
    QVERIFY(F->Form->Label1->width() > shortWidth);
    QCOMPARE(F->Form->Label1->pos(), QPoint(16, 8));
    QCOMPARE(F->Form->KivDiaryEdit1->parentWidget(), F->Form->PnlMain);
    QCOMPARE(F->Form->MonthCalendar1->parentWidget(), F->Form->PnlCalendar);
    QCOMPARE(F->Form->LblDate->parentWidget(), F->Form->PnlStatus);
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
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(F->Form.get()));
    F->Form->resize(asked);
    QCOMPARE(F->Form->size(), client);

    const int w = client.width();
    const int h = client.height();
    QCOMPARE(F->Form->Panel3->geometry(), QRect(w - 166, 0, 166, h));
    QCOMPARE(F->Form->PnlMain->geometry(), QRect(0, 0, w - 166, h));
    QCOMPARE(F->Form->PnlStatus->geometry(), QRect(1, h - 1 - 88, 164, 88));
    QCOMPARE(F->Form->PnlCalendar->geometry(), QRect(1, 1, 164, h - 2 - 88));
    QCOMPARE(F->Form->MonthCalendar1->geometry(), QRect(1, 1, 162, 127));
    QCOMPARE(F->Form->BtnToday->geometry(), QRect(16, 232, 132, 25));
    QCOMPARE(F->Form->LblYear->geometry(), QRect(1, 13, 160, 35));
    // The editor keeps 8 / 40 / 1 / 55 to its panel's edges, the buttons 15 to its bottom.
    QCOMPARE(F->Form->KivDiaryEdit1->geometry(), QRect(8, 40, (w - 166) - 8 - 1, h - 40 - 55));
    QCOMPARE(F->Form->BtnUndo->geometry(), QRect(111, h - 15 - 25, 75, 25));
    QCOMPARE(F->Form->BtnClose->geometry(), QRect(207, h - 15 - 25, 75, 25));
    QCOMPARE(F->Form->Label1->pos(), QPoint(16, 8));

    // Back to the design size, everything is where it started.
    F->Form->resize(544, 360);
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
                 .contains(family(F->Form.get())),
        qPrintable(family(F->Form.get())));
    QVERIFY2(QStringList({ u"ＭＳ ゴシック"_s, u"IPAGothic"_s, u"IPAゴシック"_s })
                 .contains(family(F->Form->LblYear)),
        qPrintable(family(F->Form->LblYear)));
    QCOMPARE(QFontInfo(F->Form->BtnToday->font()).pixelSize(), 12);
}

void TestLayout::tabOrderPassesTheCalendarBy()
{
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowActive(F->Form.get()));
    F->Form->KivDiaryEdit1->setFocus();
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
    auto *view = F->Form->MonthCalendar1->findChild<QTableView *>();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    QVERIFY(F->Form->MonthCalendar1->isAncestorOf(QApplication::focusWidget()));
}

void TestLayout::popupMenuOpensOnTheRightColumnOnly()
{
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(F->Form.get()));
    const auto rightClick = [](QWidget *target) {
        QContextMenuEvent event(
            QContextMenuEvent::Mouse, QPoint(3, 3), target->mapToGlobal(QPoint(3, 3)));
        QApplication::sendEvent(target, &event);
    };

    auto *calendarView = F->Form->MonthCalendar1->findChild<QTableView *>();
    const QList<QWidget *> inColumn = { F->Form->PnlCalendar, F->Form->BtnToday,
        calendarView->viewport(), F->Form->PnlStatus, F->Form->LblYear };
    for (QWidget *target : inColumn) {
        rightClick(target);
        QVERIFY2(F->Form->PopupMenu1->isVisible(), qPrintable(target->objectName()));
        F->Form->PopupMenu1->close();
    }

    // The editor opens its own menu; the window's menu stays shut.
    rightClick(F->Form->KivDiaryEdit1->viewport());
    auto *opened = qobject_cast<QMenu *>(QApplication::activePopupWidget());
    QVERIFY(opened);
    QVERIFY(opened != F->Form->PopupMenu1);
    QVERIFY(!F->Form->PopupMenu1->isVisible());
    opened->close();
    for (QWidget *target :
        { static_cast<QWidget *>(F->Form->PnlMain), static_cast<QWidget *>(F->Form->BtnClose) }) {
        rightClick(target);
        QVERIFY(!F->Form->PopupMenu1->isVisible());
    }
}

void TestLayout::popupItemsRunTheirActions()
{
    const QList<QAction *> entries = F->Form->PopupMenu1->actions();
    QCOMPARE(entries.mid(0, 7),
        (QList<QAction *> { F->Form->N1, F->Form->N2, F->Form->N3, F->Form->N4, F->Form->N5,
            F->Form->N6, F->Form->N7 }));
    QCOMPARE(entries.last(), F->Form->NKeys);
    QCOMPARE(F->Form->N1->text(), u"フォント変更"_s);
    QCOMPARE(F->Form->N2->text(), u"曜日を保存する"_s);
    QCOMPARE(F->Form->N3->text(), u"検索..."_s);

    // No DAYNAME in a new year file: the option is off, and so is the mark.
    TKivDiary &store = *F->Form->KivDiary1;
    QVERIFY(!store.DayName());
    QVERIFY(!F->Form->N2->isChecked());
    F->Form->N2->trigger();
    QVERIFY(store.DayName());
    QVERIFY(F->Form->N2->isChecked());
    F->Form->N2->trigger();
    QVERIFY(!store.DayName());
    QVERIFY(!F->Form->N2->isChecked());
    QVERIFY(!F->Form->ActToggleDayName->isChecked());

    int asked = 0;
    F->Person.Answer = [&asked](const TQuestion &) {
        ++asked;
        return TAnswer::Cancel;
    };
    F->Form->N1->trigger();
    QCOMPARE(asked, 1);
}

// F1, which the popup's last entry names, lists the keys, every entry of the popup with its
// key, and the data folder.
void TestLayout::f1ListsTheKeysTheEntriesAndTheFolder()
{
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowActive(F->Form.get()));
    QVERIFY(F->Form->NKeys->isShortcutVisibleInContextMenu());
    QCOMPARE(F->Form->NKeys->shortcut(), QKeySequence(Qt::Key_F1));
    QTest::keyClick(F->Form->KivDiaryEdit1, Qt::Key_F1);
    auto *keys = F->Form->findChild<TKeysWindow *>();
    QVERIFY(keys && keys->isVisible());
    QStringList shown;
    for (const QLabel *label : keys->findChildren<QLabel *>())
        shown << label->text();
    for (const QString &text :
        { u"Ctrl+↑ / Ctrl+↓"_s, u"検索..."_s, u"Ctrl+F"_s, u"この日..."_s, u"Ctrl+T"_s, u"Ctrl+E"_s,
            u"フォント変更"_s, u"写真を貼る..."_s, u"Ctrl+G"_s, F->Form->DataFolder() })
        QVERIFY2(shown.contains(text), qPrintable(text));
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
    F->Form->MonthCalendar1->SetDate(day(2010, 1, 10));
    QTest::mouseClick(F->Form->findChild<QPushButton *>(button), Qt::LeftButton);
    QCOMPARE(DayNumberToDate(F->Form->KivDiaryEdit1->Date()), expected);
    QCOMPARE(F->Form->KivDiaryEdit1->Date(), F->Form->MonthCalendar1->Date());
    QVERIFY(F->Boxes.isEmpty());
}

void TestLayout::calendarKeepsItsTimeOfDay()
{
    TMonthCalendar &calendar = *F->Form->MonthCalendar1;
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
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(F->Form.get()));
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
    QCOMPARE(F->Form->KivDiaryEdit1->Date(), day(2001, 8, 20) + 0.5);
    QTest::keyClick(view, Qt::Key_Right);
    QCOMPARE(calendar.Date(), day(2001, 8, 21) + 0.5);
    QCOMPARE(F->Form->KivDiaryEdit1->Date(), day(2001, 8, 20) + 0.5);
}

// The month's name is a menu button, narrower than Qt's drop-down arrow needs: the arrow
// would be drawn over the name's last character.
void TestLayout::monthTitleShowsNoArrowOverItsName()
{
    F->Form->show();
    QVERIFY(QTest::qWaitForWindowExposed(F->Form.get()));
    auto *month = F->Form->MonthCalendar1->findChild<QToolButton *>(u"qt_calendar_monthbutton"_s);
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
        QTest::Click, F->Form->KivDiaryEdit1, Qt::Key_unknown, u"最後の日記"_s, Qt::NoModifier);
    F->Form.reset();
    QFile file(F->Dir.filePath(u"Data/2010.jnl"_s));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray content = file.readAll();
    // "最後の日記" in CP932.
    QVERIFY(content.contains("\x8d\xc5\x8c\xe3\x82\xcc\x93\xfa\x8b\x4c"));
}

namespace {

int apart(QRgb a, QRgb b)
{
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b))
        + std::abs(qBlue(a) - qBlue(b));
}
int contrast(const QColor &a, const QColor &b) { return std::abs(a.lightness() - b.lightness()); }

// A part of a screenshot: the colour most of it shows, the mean colour of the strokes on it
// (the pixels farthest from that ground, not their blurred edges), how many pixels the strokes
// cover, and how many are bright red.
struct TLook {
    QColor Ground, Ink;
    int InkPixels = 0, Red = 0;
};

TLook lookOf(const QImage &image, const QRect &area)
{
    QHash<QRgb, int> counts;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            ++counts[image.pixel(x, y)];
    QRgb ground = 0;
    int far = 0;
    for (auto [colour, count] : counts.asKeyValueRange())
        ground = count > counts.value(ground) ? colour : ground;
    for (auto [colour, count] : counts.asKeyValueRange())
        far = std::max(far, apart(colour, ground));
    TLook look { QColor(ground), QColor(ground) };
    long r = 0, g = 0, b = 0, strong = 0;
    for (auto [colour, count] : counts.asKeyValueRange()) {
        look.InkPixels += apart(colour, ground) * 2 >= far ? count : 0;
        look.Red += qRed(colour) > 180 && qGreen(colour) < 90 ? count : 0;
        if (apart(colour, ground) * 10 >= far * 7) {
            r += qRed(colour) * count, g += qGreen(colour) * count, b += qBlue(colour) * count;
            strong += count;
        }
    }
    if (strong)
        look.Ink = QColor(int(r / strong), int(g / strong), int(b / strong));
    return look;
}

// Whether two pictures of the window show the same: the same size, and hardly a pixel of
// another colour (a caret's blink, a glyph's edge), where a changed text differs in hundreds.
bool drawnAlike(QImage a, QImage b)
{
    if (a.size() != b.size())
        return false;
    a = a.convertToFormat(QImage::Format_RGB32);
    b = b.convertToFormat(QImage::Format_RGB32);
    qsizetype differing = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x)
            differing += apart(a.pixel(x, y), b.pixel(x, y)) > 64 ? 1 : 0;
    }
    return differing * 1000 < qsizetype(a.width()) * a.height();
}

} // namespace

void TestLayout::renderAtDesignSize_data()
{
    // The palette: the desktop's own, or one that a dark style forces, whose disabled text is
    // hardly dimmer than its text.
    QTest::addColumn<TColorScheme>("scheme");
    QTest::addColumn<QPalette>("forced");
    QTest::newRow("light") << TColorScheme::Light << QPalette();
    QTest::newRow("dark") << TColorScheme::Dark << QPalette();
    QPalette forced(QColor(0x35, 0x35, 0x35));
    forced.setColor(QPalette::Disabled, QPalette::Text, QColor(0xd0, 0xd0, 0xd0));
    QTest::newRow("dark style forced") << TColorScheme::NoPreference << forced;
}

// In either scheme the calendar's other-month days are dimmer than this month's yet readable,
// a day with text is bolder, today has its red ring, and the red box and the refusal notice
// stand out from the text around them. The screenshots stay in the build folder.
void TestLayout::renderAtDesignSize()
{
    QFETCH(TColorScheme, scheme);
    QFETCH(QPalette, forced);
    const QPalette desktop = QApplication::palette();
    const auto restore = qScopeGuard([&] { QApplication::setPalette(desktop); });
    QApplication::setPalette(SchemePalette(scheme, forced.resolveMask() ? forced : desktop));
    // 3 May holds text; today, 15 May, holds the bytes 85 40, which CP932 maps to nothing.
    F->Write(u"Data/2010.jnl"_s,
        F->YearFile(2010, {}) + "![2010/05/03]\r\nx\r\n![2010/05/15]\r\nab\x85\x40\r\n");
    TForm1 &form = F->Start();
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QInputMethodEvent refused;
    refused.setCommitString(u"\u0085"_s);
    QApplication::sendEvent(form.KivDiaryEdit1, &refused);
    const QImage shot = form.grab().toImage();
    QCOMPARE(shot.deviceIndependentSize().toSize(), QSize(544, 360));
    QVERIFY(shot.save((qEnvironmentVariable("KIVLOG_BUILD_DIR") + u"/layout-%1.png"_s)
                          .arg(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'-'))));
    // The README's pictures of the two schemes are these shots: they must show what the window
    // draws now. KIVLOG_UPDATE_DOCS=1 writes them anew.
    if (scheme != TColorScheme::NoPreference) {
        const QString picture = qEnvironmentVariable("KIVLOG_SOURCE_DIR")
            + u"/docs/colours-%1.png"_s.arg(QString::fromLatin1(QTest::currentDataTag()));
        if (qEnvironmentVariable("KIVLOG_UPDATE_DOCS") == u"1")
            QVERIFY(shot.save(picture));
        QVERIFY2(drawnAlike(QImage(picture), shot),
            qPrintable(
                picture + u" is not what the window draws; KIVLOG_UPDATE_DOCS=1 renews it"_s));
    }
    const auto look = [&](const QWidget *widget, const QRect &rect) {
        return lookOf(shot, QRect(widget->mapTo(&form, rect.topLeft()), rect.size()));
    };

    // The calendar's rows from Monday 26 April to Sunday 6 June, under the weekdays' row.
    auto *view = form.MonthCalendar1->findChild<QTableView *>();
    const auto cell = [&](int row, int column, const char *number) {
        const QModelIndex index = view->model()->index(row, column);
        [&] { QCOMPARE(index.data().toString(), QString::fromLatin1(number)); }();
        return look(view->viewport(), view->visualRect(index).adjusted(1, 1, -1, -1));
    };
    const TLook may11 = cell(3, 1, "11"), april27 = cell(1, 1, "27");
    QCOMPARE(may11.Ground.lightness() < 128, scheme != TColorScheme::Light);
    QVERIFY2(contrast(may11.Ink, may11.Ground) >= 120, "this month's days are hard to read");
    QVERIFY2(contrast(april27.Ink, april27.Ground) >= 40, "other months' days cannot be read");
    QVERIFY2(contrast(april27.Ink, may11.Ink) >= 40, "other months' days look like this month's");
    QVERIFY2(cell(2, 0, "3").InkPixels > cell(6, 3, "3").InkPixels * 11 / 10,
        "the day with text is not bold");
    QVERIFY2(cell(3, 5, "15").Red >= 15, "today has no red ring");

    TKivDiaryEdit *edit = form.KivDiaryEdit1;
    QTextCursor afterAb(edit->document());
    afterAb.setPosition(2);
    const TLook box = look(edit->viewport(), edit->cursorRect(afterAb).adjusted(2, 2, 6, -2));
    QVERIFY2(box.Ground.red() > box.Ground.blue() + 60, "the box is not red");
    QVERIFY2(contrast(box.Ink, box.Ground) >= 60, "the box's byte cannot be read");
    const auto *notice = edit->findChild<QLabel *>(u"RefusedNotice"_s);
    QVERIFY(notice->isVisible());
    const TLook shown = look(notice, notice->rect().adjusted(2, 2, -2, -2));
    QVERIFY2(contrast(shown.Ink, shown.Ground) >= 120, "the notice is hard to read");
    QVERIFY2(apart(shown.Ground.rgb(), edit->palette().color(QPalette::Base).rgb()) >= 30,
        "the notice does not stand out from the text");
}

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
