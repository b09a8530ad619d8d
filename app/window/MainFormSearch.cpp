// Finding what was written: the calendar's marks of days with text and the search window.

#include "AppServices.h"
#include "DayNumber.h"
#include "DiarySearch.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "SearchWindow.h"
#include "ShownYear.h"

#include <QLineEdit>
#include <QTextCharFormat>
#include <cmath>
#include <set>

using namespace diarysearch;

void TForm1::UpdateCalendarMarks()
{
    FEditorEmpty = !TKivDiary::HoldsText(KivDiaryEdit1->StoreText());
    // The page shows up to six weeks around its month, days of the neighbouring months too.
    const QDate first(MonthCalendar1->yearShown(), MonthCalendar1->monthShown(), 1);
    if (!first.isValid())
        return;
    QTextCharFormat bold;
    bold.setFontWeight(QFont::Bold);
    // Only the weight: the calendar keeps its own colours and sizes for every day.
    MonthCalendar1->setDateTextFormat(QDate(), QTextCharFormat());
    const TKivDiary &diary = *KivDiaryEdit1->Source();
    const bool live = diary.Active() && diary.LoadError().isEmpty();
    std::set<double> shown;
    if (live) {
        // A day of blanks only is stored as no text, so it has no mark either.
        for (const TDayText &day : ShownDays(KivDiaryEdit1, diary)) {
            if (TKivDiary::HoldsText(day.FText))
                shown.insert(day.FDate);
        }
    }
    for (QDate day = first.addDays(-7); day <= first.addDays(49); day = day.addDays(1)) {
        // Another year only when a search has read its file: the marks never read one.
        const bool hasText = live && day.year() == diary.Year()
            ? shown.contains(DateToDayNumber(day))
            : FSearchIndex && FSearchIndex->KnowsYear(day.year()) && FSearchIndex->HasText(day);
        if (hasText)
            MonthCalendar1->setDateTextFormat(day, bold);
    }
}

void TForm1::ActSearchExecute()
{
    if (!FSearchIndex)
        FSearchIndex = std::make_unique<TSearchIndex>();
    if (!FSearchWindow) {
        // The unsaved text is taken from the editor at every keystroke, on this thread.
        const auto prepare = [this] {
            bool done = false;
            RunGuarded([&] {
                PreparedIndex();
                done = true;
            });
            return done;
        };
        const auto read = [this] { UpdateCalendarMarks(); };
        const auto open = [this](double date, const TSearchQuery &query) {
            RunGuarded([&] { OpenSearchHit(date, query); });
        };
        FSearchWindow = new TSearchWindow(this, FSearchIndex.get(), prepare, read, open);
        FSearchWindow->SetFolder(DataFolder());
        FSearchWindow->PlaceBeside(this);
        // The years are read while the user types the first word.
        FSearchWindow->RunSearch();
    }
    FSearchWindow->show();
    FSearchWindow->raise();
    FSearchWindow->activateWindow();
    FSearchWindow->EdtQuery->setFocus();
    FSearchWindow->EdtQuery->selectAll();
}

void TForm1::SearchFor(const QString &words)
{
    ActSearchExecute();
    FSearchWindow->EdtQuery->setText(words);
    FSearchWindow->RunSearch();
}

void TForm1::OpenSearchHit(double date, const TSearchQuery &query)
{
    // The way a click on the day goes: a year switch saves the year it leaves first.
    MonthCalendar1->SetDate(date);
    MonthCalendar1Click();
    if (std::floor(KivDiaryEdit1->Date()) != std::floor(date))
        return; // the move was refused and has been reported
    const QList<TSpan> hits = query.Hits(KivDiaryEdit1->toPlainText());
    if (!hits.isEmpty()) {
        // The caret goes before the first hit with nothing selected: a key typed next (an
        // Enter pressed twice by habit) must not replace the word found.
        QTextCursor cursor = KivDiaryEdit1->textCursor();
        cursor.setPosition(static_cast<int>(hits.front().Start));
        KivDiaryEdit1->setTextCursor(cursor);
        KivDiaryEdit1->centerCursor();
    }
    std::vector<std::pair<int, int>> marks;
    for (const TSpan &hit : hits)
        marks.emplace_back(static_cast<int>(hit.Start), static_cast<int>(hit.Length));
    KivDiaryEdit1->MarkStretches(marks);
    // The caret shows only in the focused editor; Ctrl+F goes back to the results.
    activateWindow();
    raise();
    KivDiaryEdit1->setFocus();
}
