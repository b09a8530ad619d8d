#include "ShownYear.h"

#include "DayNumber.h"
#include "KivDiaryEdit.h"

#include <algorithm>
#include <cmath>

std::optional<TDayText> EditorUnsavedText(const TKivDiaryEdit *editor, const TKivDiary &store)
{
    if (!editor || editor->Source() != &store || !editor->Modified() || !store.Active()
        || !store.LoadError().isEmpty() || DayNumberToDate(editor->Date()).year() != store.Year())
        return std::nullopt;
    const double day = std::floor(editor->Date());
    const int i = store.IndexOfDate(day);
    QByteArray text = editor->StoreText();
    // What a commit would store: nothing when the store holds that text already.
    if (i < 0 ? text.isEmpty() : store.Days()[static_cast<size_t>(i)]->FText == text)
        return std::nullopt;
    return TDayText(std::move(text), day);
}

bool YearUnsaved(const TKivDiaryEdit *editor, const TKivDiary &store)
{
    return store.Unsaved() || EditorUnsavedText(editor, store).has_value();
}

std::vector<TDayText> ShownDays(const TKivDiaryEdit *editor, const TKivDiary &store)
{
    std::vector<TDayText> days;
    const auto &entries = store.Days();
    days.reserve(entries.size());
    for (size_t i = 1; i < entries.size(); ++i)
        days.emplace_back(entries[i]->FText, std::floor(entries[i]->FDate));
    if (const std::optional<TDayText> over = EditorUnsavedText(editor, store)) {
        const auto same = [&](const TDayText &d) { return d.FDate == over->FDate; };
        days.erase(std::remove_if(days.begin(), days.end(), same), days.end());
        if (!over->FText.isEmpty())
            days.push_back(*over);
    }
    std::stable_sort(days.begin(), days.end(),
        [](const TDayText &a, const TDayText &b) { return a.FDate < b.FDate; });
    return days;
}
