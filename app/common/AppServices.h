#pragma once

#include "Questions.h"
#include "Services.h"

#include <QString>
#include <exception>
#include <functional>

class QWidget;

// The program's process-wide seams, all of them: what stands for the surroundings and may be
// replaced as a whole, by the program entry, by kivlog-cli or by a test. Everything else comes
// in as an argument.
//
// - The questions and notices (Questions.h): every box and dialog that asks the user something
//   or tells them something, whether anyone is there to answer (Unattended), and the stand-in a
//   test puts in the person's place (TStandIn).
// - The store's services (Services.h, DiaryServices): how the store shows a message (through the
//   notices above in the window, on stderr in kivlog-cli), the clock and the weekday names.
// - The application title below: the caption of every box.
// - The data folder's lock as the store follows it (TKivDiary::FolderGuard): the window and
//   kivlog-cli hold a lock on the folder, and a save into another folder must take it first.

// The application title: the caption of every message and error box. Not Qt's
// applicationDisplayName, which Qt would append to every window title.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// While it lives, what the store has to say is said in the window (ShowWindowNotice) instead of
// in a box: for the work that runs while the user may be typing, a check of the disk or of the
// inbox. MergesOnly: only what it says of a merge with a version from elsewhere, for a save the
// user's own move started (a year switch); the rest (a year file created) stays a box.
class TStoreNoticesInWindow {
public:
    enum class TWhich { All, MergesOnly };
    explicit TStoreNoticesInWindow(TWhich which = TWhich::All);
    ~TStoreNoticesInWindow();
    TStoreNoticesInWindow(const TStoreNoticesInWindow &) = delete;
    TStoreNoticesInWindow &operator=(const TStoreNoticesInWindow &) = delete;

private:
    std::function<void(const QString &)> FSaved;
};

// Runs an event handler; an exception that leaves it is shown in the error box.
template <typename F> void RunGuarded(F &&handler);

void ShowException(); // shows the exception in flight (call inside a catch block only)

// The user-facing text of an exception: Exception::Message() for the program's own,
// what() for other standard exceptions.
QString ExceptionMessage(std::exception_ptr error);

template <typename F> void RunGuarded(F &&handler)
{
    try {
        handler();
    } catch (...) {
        ShowException();
    }
}
