#pragma once

#include "KivDiary.h"

#include <optional>
#include <vector>

class TKivDiaryEdit;

// The year as the user sees it: the store's days with the editor's text laid over them. The
// recovery file, the search, the calendar's marks and the disk watcher all ask here, so that
// they agree on what is unsaved.

// The editor's text for its day while the store lacks it: the editor is modified, bound to
// this active store, on a day of its year, and holds another text than the store has for
// that day. An editor that is null or elsewhere holds nothing of this year.
std::optional<TDayText> EditorUnsavedText(const TKivDiaryEdit *editor, const TKivDiary &store);

// True when the store or the editor holds something the year file lacks.
bool YearUnsaved(const TKivDiaryEdit *editor, const TKivDiary &store);

// The store's days (the preamble left out) in date order, with the editor's unsaved text laid
// over its day; a day the editor emptied is left out.
std::vector<TDayText> ShownDays(const TKivDiaryEdit *editor, const TKivDiary &store);
