#include "Cp932.h"
#include "DayTexts.h"
#include "DiaryImport.h"
#include "KivDiary.h"

#include <set>

namespace diaryimport {

namespace {

    std::set<double> daysWithText(const TKivDiary &store)
    {
        std::set<double> days;
        for (const TDayText &day : store.Contents().Days) {
            if (TKivDiary::HoldsText(day.FText))
                days.insert(day.FDate);
        }
        return days;
    }

} // namespace

QList<TYearOutcome> TakeInto(TKivDiary &store, const std::map<QDate, QString> &days)
{
    std::map<int, TYearContents> years;
    std::map<int, QStringList> notStored;
    for (const auto &[day, text] : days) {
        // As the year file's reader gives a day's text: every line ends in CR LF.
        QString lines = text + u'\n';
        lines.replace(u'\n', QStringLiteral("\r\n"));
        bool whole = true;
        const QByteArray bytes = cp932::Encode(lines, &whole);
        if (!whole) {
            QString refused;
            cp932::StoredForm(lines, &refused);
            notStored[day.year()] << FormatDate(QStringLiteral("yyyy/mm/dd "), day) + refused;
        }
        years[day.year()].Days.emplace_back(bytes, DateToDayNumber(day));
    }
    const int home = store.Year();
    QList<TYearOutcome> outcomes;
    for (const auto &[year, contents] : years) {
        TYearOutcome outcome;
        outcome.Year = year;
        outcome.NotStored = notStored[year];
        store.SetYear(year);
        if (!store.LoadError().isEmpty()) {
            outcome.Error = store.LoadError();
            outcomes << outcome;
            continue;
        }
        const std::set<double> before = daysWithText(store);
        const TYearMerge merge = store.TakeInVersion(contents);
        for (const double day : daysWithText(store)) {
            if (!before.contains(day))
                outcome.Added << DayNumberToDate(day);
        }
        for (const double day : merge.BothTextDays)
            outcome.BothTexts << DayNumberToDate(day);
        store.SaveWhenDue();
        outcomes << outcome;
    }
    if (home >= 1900)
        store.SetYear(home);
    return outcomes;
}

} // namespace diaryimport
