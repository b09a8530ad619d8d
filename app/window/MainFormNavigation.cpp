// Moving between days: the calendar holds the current day, every move sets it and then
// UpdateDate brings the editor and the rest of the window in line with it.

#include "AppServices.h"
#include "DayNumber.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "Services.h"
#include "WindowRules.h"
#include "WindowTexts.h"

#include <QLabel>
#include <QTextCursor>
#include <cmath>
#include <optional>

namespace {

// The calendar keeps its own time of day and takes only the day from what it is given, so
// moves hand it whole days. They count from the floor of its value: for a day before
// 1899-12-30 the value is negative and truncating it would land on the day after.
double wholeDay(double dayNumber) { return std::floor(dayNumber); }

void moveCalendarByDays(TMonthCalendar &calendar, int days)
{
    calendar.SetDate(wholeDay(calendar.Date()) + days);
}

void moveCalendarByMonths(TMonthCalendar &calendar, int months)
{
    const QDate moved = MoveByMonths(DayNumberToDate(calendar.Date()), months);
    // Before the year 1 there is no date, and so no day number: the calendar refuses the move
    // as it refuses any day it cannot hold.
    if (!moved.isValid())
        throw Exception(Text(wtext::kCalendarCannotHold));
    calendar.SetDate(DateToDayNumber(moved));
}

} // namespace

void TForm1::MonthCalendar1Click() { UpdateDate(); }

void TForm1::BtnPrevYearClick()
{
    moveCalendarByMonths(*MonthCalendar1, -12);
    UpdateDate();
}

void TForm1::BtnNextYearClick()
{
    moveCalendarByMonths(*MonthCalendar1, 12);
    UpdateDate();
}

void TForm1::BtnPrevMonthClick()
{
    moveCalendarByMonths(*MonthCalendar1, -1);
    UpdateDate();
}

void TForm1::BtnNextMonthClick()
{
    moveCalendarByMonths(*MonthCalendar1, 1);
    UpdateDate();
}

void TForm1::BtnPrevDayClick()
{
    moveCalendarByDays(*MonthCalendar1, -1);
    UpdateDate();
}

void TForm1::BtnNextDayClick()
{
    moveCalendarByDays(*MonthCalendar1, 1);
    UpdateDate();
}

// Today as the clock says, without the 08:00 shift that start-up applies.
void TForm1::BtnTodayClick()
{
    MonthCalendar1->SetDate(DateToDayNumber(DiaryNow().date()));
    UpdateDate();
}

void TForm1::BtnUndoClick()
{
    KivDiaryEdit1->Reload();
    FocusEditor();
}

void TForm1::KivDiaryEdit1Change() { }

void TForm1::KivDiaryEdit1KeyDown(int &key, Qt::KeyboardModifiers shift)
{
    // Ctrl alone means Ctrl down, Shift and Alt up. The keypad flag that arrow keys carry on
    // some systems, the Windows key and a layout switch say nothing about it.
    if ((shift & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier))
        != Qt::ControlModifier)
        return;
    switch (key) {
    case Qt::Key_Left:
        moveCalendarByDays(*MonthCalendar1, -1);
        key = 0;
        break;
    case Qt::Key_Up:
        moveCalendarByDays(*MonthCalendar1, -7);
        key = 0;
        break;
    case Qt::Key_Right:
        moveCalendarByDays(*MonthCalendar1, 1);
        key = 0;
        break;
    case Qt::Key_Down:
        moveCalendarByDays(*MonthCalendar1, 7);
        key = 0;
        break;
    case Qt::Key_A:
        KivDiaryEdit1->selectAll();
        break;
    default:
        break;
    }
    // A day picked with the calendar's own keys raises no click; any Ctrl key takes it over.
    if (MonthCalendar1->Date() != KivDiaryEdit1->Date())
        UpdateDate();
}

void TForm1::UpdateDate()
{
    // When the editor refuses the day (the year 1899, a year file that cannot be saved or
    // read), nothing below runs: title, labels and the weekday option stay on the old day,
    // and the calendar goes back to it, whatever moved it.
    // Leaving a year saves it, and the save may merge a version from elsewhere: once the window
    // runs, the merge is told in the window, as the disk check's is, so the keys typed next go
    // into the new day. At the start a box says it before the window shows.
    std::optional<TStoreNoticesInWindow> notices;
    if (FRunning)
        notices.emplace(TStoreNoticesInWindow::TWhich::MergesOnly);
    try {
        KivDiaryEdit1->SetDate(MonthCalendar1->Date());
    } catch (...) {
        MonthCalendar1->SetDate(KivDiaryEdit1->Date());
        throw;
    }

    const double day = KivDiaryEdit1->Date();
    const QString title = YearText(day) + MonthDayText(day);
    SetApplicationTitle(title);
    Label1->setText(title);
    KivDiaryEdit1->setAccessibleName(Text(wtext::kA11yEditorName).arg(title));
    setWindowTitle(Text(wtext::kCaptionHead) + ApplicationTitle() + Text(wtext::kCaptionTail));

    // Each year file carries its own weekday option; a year without one turns it off.
    ReadDayNameSetting();
    UpdateCalendarMarks();
    UpdateOnThisDay();
    UpdateYearView();

    FocusEditor();
}

void TForm1::FocusEditor()
{
    if (!KivDiaryEdit1->isEnabled())
        return;
    if (KivDiaryEdit1->isVisible())
        KivDiaryEdit1->setFocus();
    KivDiaryEdit1->moveCursor(QTextCursor::End);
}
