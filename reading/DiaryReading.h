#pragma once

#include "DiaryExport.h"
#include "DiarySearch.h"

#include <QDate>
#include <QStringList>
#include <vector>

// Reading the diary back: the same day in every year, and the days of a stretch of dates, taken
// from the years a search index holds (the caller refreshes it first). The window's この日 and
// print and kivlog-cli's onthisday and PDF export ask here, so they show the same days.
namespace diaryreading {

// The same month and day in every year held that has text on it, newest first. 29 February is
// found only in the years that have one.
std::vector<diarysearch::TDayEntry> OnThisDay(const diarysearch::TSearchIndex &index, QDate day);

// The days with text in the range, in every year held, oldest first.
std::vector<diarysearch::TDayEntry> DaysIn(
    const diarysearch::TSearchIndex &index, const diaryexport::TRange &range);

// The first lines of a text that hold more than blanks, at most count of them.
QStringList FirstLines(QStringView text, qsizetype count);

} // namespace diaryreading
