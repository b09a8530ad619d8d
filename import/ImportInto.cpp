#include "AcceptedText.h"
#include "Cp932.h"
#include "DayTexts.h"
#include "DiaryImport.h"
#include "KivDiary.h"
#include "SettingValues.h"

#include <QHash>
#include <set>

namespace diaryimport {

namespace {

    std::map<double, QByteArray> textsOf(const TKivDiary &store)
    {
        std::map<double, QByteArray> days;
        for (const TDayText &day : store.Contents().Days) {
            if (TKivDiary::HoldsText(day.FText))
                days.emplace(day.FDate, day.FText);
        }
        return days;
    }

    // The store's year as the window shows it: its days in place of those the file holds.
    void layOver(TKivDiary &store, const std::vector<TDayText> &shown)
    {
        for (const auto &[day, text] : textsOf(store))
            store.SetDayText(day, QByteArray());
        for (const TDayText &day : shown)
            store.SetDayText(day.FDate, day.FText);
    }

    // What storing does to the characters of one year's texts, by kind.
    struct TCharacterTally {
        std::map<char32_t, TCharacterCount> Changed;
        std::map<char32_t, TCharacterCount> Referenced;

        void Add(QStringView text)
        {
            // Most texts hold neither look-alikes nor references.
            if (cp932::CanEncode(text) && cp932::StoredForm(text) == text)
                return;
            for (const char32_t c : text.toUcs4()) {
                if (c < 0x80 || cp932::IsRawBytes(c))
                    continue;
                const QString character = QString::fromUcs4(&c, 1);
                const QString stored = cp932::StoredForm(character);
                if (stored != character)
                    ++Changed.try_emplace(c, character, stored).first->second.Count;
                else if (!cp932::CanEncode(character))
                    ++Referenced.try_emplace(c, character, QString()).first->second.Count;
            }
        }
    };

    QList<TCharacterCount> listed(const std::map<char32_t, TCharacterCount> &counts)
    {
        QList<TCharacterCount> out;
        for (const auto &[c, count] : counts)
            out << count;
        return out;
    }

} // namespace

QString CharacterCounts(const QList<TCharacterCount> &counts)
{
    QStringList out;
    for (const TCharacterCount &count : counts) {
        out << (count.To.isEmpty() ? count.From : count.From + u'→' + count.To) + u' '
                + QString::number(count.Count);
    }
    return out.join(QStringLiteral(", "));
}

QList<TYearOutcome> TakeInto(
    TKivDiary &store, const std::map<QDate, QString> &days, const TShownYear *shown)
{
    std::map<int, TYearContents> years;
    std::map<int, QStringList> notStored;
    std::map<int, TCharacterTally> tallies;
    for (const auto &[day, text] : days) {
        // Taken in as the editor takes in a paste: what it refuses is named, not stored.
        QString refused;
        const QString kept = textintake::KeptText(text, &refused);
        if (!refused.isEmpty())
            notStored[day.year()] << FormatDate(QStringLiteral("yyyy/mm/dd "), day)
                    + textintake::CodePoints(refused);
        tallies[day.year()].Add(kept);
        // As the year file's reader gives a day's text: every line ends in CR LF.
        QString lines = kept + u'\n';
        lines.replace(u'\n', QStringLiteral("\r\n"));
        years[day.year()].Days.emplace_back(cp932::Encode(lines), DateToDayNumber(day));
    }
    const int home = store.Year();
    const bool homeDayName = store.DayName();
    QList<TYearOutcome> outcomes;
    for (const auto &[year, contents] : years) {
        TYearOutcome outcome;
        outcome.Year = year;
        outcome.NotStored = notStored[year];
        outcome.Changed = listed(tallies[year].Changed);
        outcome.Referenced = listed(tallies[year].Referenced);
        store.SetYear(year);
        if (!store.LoadError().isEmpty()) {
            outcome.Error = store.LoadError();
            outcomes << outcome;
            continue;
        }
        // Each year is written with the day headings its own setting asks for, as the window
        // writes it when that year is shown: a save changes no heading of days not taken in.
        store.SetDayName(DayNameSettingOn(store.GetSetting(setting::kDayName)));
        if (shown && shown->Year == year)
            layOver(store, shown->Days);
        const std::map<double, QByteArray> before = textsOf(store);
        const TYearMerge merge = store.TakeInVersion(contents);
        const std::set<double> both(merge.BothTextDays.begin(), merge.BothTextDays.end());
        for (const auto &[day, text] : textsOf(store)) {
            const auto was = before.find(day);
            if (both.contains(day))
                outcome.BothTexts << DayNumberToDate(day);
            else if (was == before.end())
                outcome.Added << DayNumberToDate(day);
            else if (was->second != text)
                outcome.Extended << DayNumberToDate(day);
        }
        store.SaveWhenDue();
        outcomes << outcome;
    }
    if (home >= 1900)
        store.SetYear(home);
    store.SetDayName(homeDayName);
    return outcomes;
}

} // namespace diaryimport
