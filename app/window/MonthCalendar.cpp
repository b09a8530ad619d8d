#include "MonthCalendar.h"

#include "DayNumber.h"
#include "Exceptions.h"
#include "Services.h"
#include "WindowTexts.h"

#include <QEvent>
#include <QHeaderView>
#include <QLocale>
#include <QPainter>
#include <QTableView>
#include <QToolButton>
#include <cmath>

namespace {

// The calendar sets no limits of its own; these are only what its year field can show.
const QDate kFirstDay(1, 1, 1);
const QDate kLastDay(9999, 12, 31);

} // namespace

TMonthCalendar::TMonthCalendar(QWidget *parent)
    : QCalendarWidget(parent)
{
    const QTime now = DiaryNow().time();
    FTimeOfDay = now.isValid() ? now.msecsSinceStartOfDay() / 86400000.0 : 0.0;

    setDateRange(kFirstDay, kLastDay);
    setVerticalHeaderFormat(QCalendarWidget::NoVerticalHeader);
    setHorizontalHeaderFormat(QCalendarWidget::SingleLetterDayNames);
    setFirstDayOfWeek(QLocale().firstDayOfWeek());
    setSelectionMode(QCalendarWidget::SingleSelection);

    FollowPalette();

    // The month's name opens the month menu, but its button is narrower than the drop-down
    // arrow needs, which would sit on the name's last character; the name stands alone.
    if (auto *month = findChild<QToolButton *>(QStringLiteral("qt_calendar_monthbutton")))
        month->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));

    // The grid shares out whatever height the window gives it: six weeks must show in the
    // calendar's small design size, where the table's default row minimum would cut the last.
    if (auto *view = findChild<QTableView *>()) {
        view->horizontalHeader()->setMinimumSectionSize(1);
        view->verticalHeader()->setMinimumSectionSize(1);
    }

    // The month arrows show only an arrow.
    if (auto *prev = findChild<QToolButton *>(QStringLiteral("qt_calendar_prevmonth")))
        prev->setAccessibleName(Text(wtext::kA11yPrevMonthName));
    if (auto *next = findChild<QToolButton *>(QStringLiteral("qt_calendar_nextmonth")))
        next->setAccessibleName(Text(wtext::kA11yNextMonthName));

    // Tab passes the calendar by; a click still gives it the focus.
    setFocusPolicy(Qt::ClickFocus);
    for (QWidget *child : findChildren<QWidget *>()) {
        if (child->focusPolicy() & Qt::TabFocus)
            child->setFocusPolicy(Qt::ClickFocus);
    }

    connect(this, &QCalendarWidget::clicked, this, [this] { emit Click(); });
}

void TMonthCalendar::FollowPalette()
{
    // The month title sits on the button-shadow colour.
    if (auto *bar = findChild<QWidget *>(QStringLiteral("qt_calendar_navigationbar"))) {
        QPalette pal;
        pal.setResolveMask(0);
        pal.setColor(QPalette::Highlight, palette().color(QPalette::Dark));
        bar->setPalette(pal);
    }
    // The grid draws other months' days in the disabled text colour, which some (dark) styles
    // make nearly that of the text itself; there it is taken halfway to the background.
    if (auto *view = findChild<QTableView *>()) {
        const QColor text = palette().color(QPalette::Active, QPalette::Text);
        const QColor base = palette().color(QPalette::Active, QPalette::Base);
        QColor dimmed = palette().color(QPalette::Disabled, QPalette::Text);
        if (std::abs(dimmed.lightness() - text.lightness()) < 64)
            dimmed = QColor((text.red() + base.red()) / 2, (text.green() + base.green()) / 2,
                (text.blue() + base.blue()) / 2);
        QPalette pal;
        pal.setResolveMask(0);
        pal.setColor(QPalette::Disabled, QPalette::Text, dimmed);
        view->setPalette(pal);
    }
}

void TMonthCalendar::changeEvent(QEvent *event)
{
    QCalendarWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        FollowPalette();
}

double TMonthCalendar::Date() const { return DateToDayNumber(selectedDate()) + FTimeOfDay; }

void TMonthCalendar::SetDate(double value)
{
    const double day = std::trunc(value);
    if (!std::isfinite(day) || day < DateToDayNumber(kFirstDay) || day > DateToDayNumber(kLastDay))
        throw Exception(Text(wtext::kCalendarCannotHold));
    setSelectedDate(QDate::fromJulianDay(static_cast<qint64>(day) + kDayNumberJulianOffset));
}

void TMonthCalendar::paintCell(QPainter *painter, const QRect &rect, QDate date) const
{
    QCalendarWidget::paintCell(painter, rect, date);
    if (date != DiaryNow().date())
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(QPen(QColor(Qt::red), 1));
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(QRectF(rect).adjusted(1.5, 0.5, -1.5, -0.5));
    painter->restore();
}
