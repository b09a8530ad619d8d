#pragma once

#include <QString>
#include <exception>
#include <functional>

class QWidget;

// The program-wide services of the window side: the application title, the standard error
// box and the message box, and whether anyone is there to answer a box at all.

// The application title: the caption of every message and error box. Not Qt's
// applicationDisplayName, which Qt would append to every window title.
QString ApplicationTitle();
void SetApplicationTitle(const QString &title);

// A modal box with only OK, centred on the screen, the application title as caption.
void ShowMessageBox(const QString &text);

// The application's standard error box: the message, the application title as caption, an
// error icon and OK. The program goes on afterwards.
void ShowErrorBox(const QString &text);

// Tests answer boxes here instead of a person: while a hook is set, ShowMessageBox and
// ShowErrorBox call it and show nothing.
enum class TBoxKind { Message, Error };
using TBoxHook = std::function<void(TBoxKind kind, const QString &text)>;
void SetBoxHook(TBoxHook hook);

// True while the program ends because of a signal or the desktop session ending: nobody may
// be there to close a box, so no box may wait (messages go to stderr instead).
bool Unattended();
void SetUnattended(bool unattended);

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
