// A year at a glance: the year view beside the diary, its figures made off the window's thread
// from the texts the search index holds, and kept per year until the year's file changes.

#include "AppServices.h"
#include "DayNumber.h"
#include "DiaryStats.h"
#include "KivDiaryEdit.h"
#include "MainForm.h"
#include "MonthCalendar.h"
#include "WindowRules.h"
#include "YearWindow.h"

#include <QApplication>
#include <QScreen>
#include <QTimer>
#include <algorithm>

using namespace diarysearch;
using namespace diarystats;

void TForm1::ActYearViewExecute()
{
    if (!FYearWindow) {
        FYearWindow = new TYearWindow(
            this, MonthCalendar1->firstDayOfWeek(),
            [this](double date) { RunGuarded([&] { OpenOnThisDay(date); }); },
            [this](const QString &word) { RunGuarded([&] { SearchFor(word); }); },
            [this](
                int year) { RunGuarded([&] { UpdateYearView(std::clamp(year, 1900, 9999)); }); });
        // Beside the diary, on its screen.
        FYearWindow->adjustSize();
        const QRect frame = frameGeometry();
        QRect place(QPoint(frame.right() + 1, frame.top()), FYearWindow->size());
        if (const QScreen *shownOn = screen())
            place = FitIntoArea(place, shownOn->availableGeometry());
        FYearWindow->move(place.topLeft());
        FYearViewFollows = 0;
    }
    UpdateYearView();
    FYearWindow->show();
    FYearWindow->raise();
    FYearWindow->activateWindow();
}

void TForm1::UpdateYearView(std::optional<int> year)
{
    if (!FYearWindow)
        return;
    const QDate day = DayNumberToDate(KivDiaryEdit1->Date());
    // The view follows the diary into another year; ← and → leave the diary where it is.
    if (!year) {
        year = FYearViewFollows == day.year() ? FYearWindow->Year() : day.year();
        FYearViewFollows = day.year();
    }
    if (!FFigures)
        FFigures = std::make_unique<TFiguresCache>();
    const QStringList leftOut = ReadLeftOutWords();
    TSearchIndex &index = PreparedIndex();

    // What has no figures yet: the year files not read (or changed since), and the years whose
    // texts changed; the year asked for first, then those nearest to it.
    std::vector<TFiguresMaker::TJob> jobs;
    const int generation = index.FolderChanges();
    for (const TSearchIndex::TYearToRead &file : index.Stale())
        jobs.push_back({ file.Year, nullptr, file, generation });
    for (const int held : index.Years()) {
        const TSearchIndex::TYearPtr texts = index.YearTexts(held);
        const bool reading = std::any_of(
            jobs.begin(), jobs.end(), [&](const auto &job) { return job.Year == held; });
        if (!reading && !FFigures->Find(held, texts, leftOut))
            jobs.push_back({ held, texts, std::nullopt, generation });
    }
    std::stable_sort(jobs.begin(), jobs.end(), [&](const auto &a, const auto &b) {
        return std::abs(a.Year - *year) < std::abs(b.Year - *year);
    });
    TFiguresCache::TFiguresPtr figures;
    if (jobs.empty() || jobs.front().Year != *year) {
        figures = FFigures->Find(*year, index.YearTexts(*year), leftOut);
        // A year without a file has nothing written.
        if (!figures)
            figures = std::make_shared<const TYearFigures>(
                MakeFigures(TSearchIndex::TYearTexts(), *year, leftOut));
    }
    FYearWindow->ShowYear(*year, day, figures);
    if (jobs.empty())
        return;
    if (!FFiguresMaker) {
        FFiguresMaker = new TFiguresMaker(this, [this](TFiguresMaker::TMade made) {
            // Taken in between the diary's boxes: one may wait in the middle of a year switch.
            const auto take = [this, made](const auto &again) -> void {
                // The diary is going: its controls may be gone already.
                if (!FFiguresMaker)
                    return;
                if (QApplication::activeModalWidget()) {
                    QTimer::singleShot(100, this, [again] { again(again); });
                    return;
                }
                TSearchIndex &held = *FSearchIndex;
                const int madeYear = made.Job.Year;
                // Made for a folder the diary has left.
                if (made.Job.Generation != held.FolderChanges())
                    return;
                if (made.Job.File && madeYear != held.LiveYear()) {
                    if (made.Texts)
                        held.Adopt(*made.Job.File, made.Texts);
                    else
                        held.AdoptFailure(*made.Job.File, made.Reason);
                }
                if (made.Texts)
                    FFigures->Keep(madeYear, made.Texts, made.LeftOut, made.Figures);
                if (FYearWindow && FYearWindow->Year() == madeYear)
                    FYearWindow->ShowYear(
                        madeYear, DayNumberToDate(KivDiaryEdit1->Date()), made.Figures);
            };
            take(take);
        });
    }
    FFiguresMaker->Start(std::move(jobs), leftOut);
}
