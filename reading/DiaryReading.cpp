#include "DiaryReading.h"

#include "DayNumber.h"
#include "YearFile.h"

#include <algorithm>

using diarysearch::TDayEntry;

namespace diaryreading {

std::vector<TDayEntry> OnThisDay(const diarysearch::TSearchIndex &index, QDate day)
{
    std::vector<TDayEntry> days;
    const QList<int> years = index.Years();
    for (auto year = years.rbegin(); year != years.rend(); ++year) {
        const QDate same(*year, day.month(), day.day());
        if (!same.isValid())
            continue;
        QString text = index.DayText(same);
        if (HoldsDayText(text))
            days.push_back({ DateToDayNumber(same), std::move(text) });
    }
    return days;
}

std::vector<TDayEntry> DaysIn(
    const diarysearch::TSearchIndex &index, const diaryexport::TRange &range)
{
    std::vector<TDayEntry> days;
    for (const int year : index.Years()) {
        if (!range.HoldsYear(year))
            continue;
        for (TDayEntry &day : index.DaysOf(year)) {
            if (range.Holds(day.Date) && HoldsDayText(day.Text))
                days.push_back(std::move(day));
        }
    }
    return days;
}

QStringList FirstLines(QStringView text, qsizetype count)
{
    QStringList lines;
    for (const QStringView line : text.tokenize(u'\n')) {
        if (lines.size() >= count)
            break;
        const QStringView trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines.append(trimmed.toString());
    }
    return lines;
}

} // namespace diaryreading
