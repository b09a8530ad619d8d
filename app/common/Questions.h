#pragma once

#include <QList>
#include <QString>
#include <QVariant>
#include <functional>
#include <utility>

class QWidget;

// Every question the program asks the user and every notice it gives goes through here, so
// that three things hold for all of them alike: while nobody is there (the program ends on a
// signal or with the session) nothing waits, questions get the answer that touches nothing and
// notices go to stderr; a test stands in for the person and records what it was asked and
// told; and otherwise the real box or dialog is shown.

// A notice: a message, or an error with the error icon. Both have only OK. A notice in the
// window is said without a box.
enum class TBoxKind { Message, Error, InWindow };

// A modal notice box centred on the screen, the application title as caption.
void ShowMessageBox(const QString &text);
// The same with a long list kept scrollable below the text, behind the box's details button.
void ShowDetailedMessageBox(const QString &text, const QString &details);
// The application's standard error box. The program goes on afterwards.
void ShowErrorBox(const QString &text);

// A notice said in the main window without a box, for what happens while the user may be
// typing (text arriving from elsewhere): nothing takes the keyboard or ends a composition. It
// goes where the window has set (a stand-in hears it as well); with no window it is a message
// box.
void ShowWindowNotice(const QString &text);
// Where window notices go; an empty function takes that place away again.
void SetWindowNoticeArea(std::function<void(const QString &text)> area);

// What a question is about, so that a stand-in tells questions apart.
enum class TQuestionKind {
    MergeCopies, // take the year's sync copies and conflict files in?
    TakeBack, // take back the texts a recovery file holds?
    ReplaceFile, // replace an existing file with the export?
    ImportFrom, // 取り込み from files or from a folder?
    ImportTake, // take in the days the report lists?
    // The choosers: dialogs of their own, whose answer is what was chosen.
    ImportFiles, // the files to take in (QStringList)
    ImportFolder, // the folder to take in (QString)
    ExportFile, // the file to export to (QString)
    PictureFiles, // the pictures to add to the day (QStringList)
    Font, // the editor's font (QFont)
};

// The buttons of a question box.
enum class TAnswer { Yes, No, Files, Folder, Cancel };

struct TQuestion {
    TQuestion(TQuestionKind kind, QString title, QString text = {},
        QList<std::pair<TAnswer, QString>> buttons = {}, TAnswer defaultAnswer = TAnswer::No,
        TAnswer unattended = TAnswer::No, QVariant subject = {})
        : Kind(kind)
        , Title(std::move(title))
        , Text(std::move(text))
        , Buttons(std::move(buttons))
        , Default(defaultAnswer)
        , Unattended(unattended)
        , Subject(std::move(subject))
    {
    }

    TQuestionKind Kind;
    QString Title; // the caption; the application title when empty
    QString Text;
    // The buttons, each with its caption. Yes and No are the box's standard buttons (Escape is
    // No), Cancel closes it as Escape does, the others accept.
    QList<std::pair<TAnswer, QString>> Buttons;
    TAnswer Default = TAnswer::No; // the button Enter presses
    // The answer when nobody is there to give one: the one that changes nothing.
    TAnswer Unattended = TAnswer::No;
    // What the question is about: the file or the copies it names, or what a chooser opens
    // with.
    QVariant Subject;
    // A long list kept scrollable below the text, behind the box's details button.
    QString Details;
};

// Asks in a question box over parent (centred on the screen without one) and returns the
// button pressed.
TAnswer Ask(const TQuestion &question, QWidget *parent = nullptr);

// Asks through a dialog of its own: show runs it and returns what was chosen, or an invalid
// QVariant when the user cancelled. Unattended, nothing is chosen and nothing shown.
QVariant Choose(const TQuestion &question, const std::function<QVariant()> &show);

// True while the program ends because of a signal or the desktop session ending.
bool Unattended();
void SetUnattended(bool unattended);

// What a stand-in answers: the button, and for a chooser what was chosen (an invalid QVariant
// cancels).
struct TReply {
    TReply(TAnswer answer = TAnswer::Cancel, QVariant chosen = {})
        : Answer(answer)
        , Chosen(std::move(chosen))
    {
    }
    TAnswer Answer;
    QVariant Chosen;
};

// Stands in for the person at the screen while it lives: answers every question, hears every
// notice, and shows nothing. The one made last answers; the one before comes back after it.
// Unattended still comes first: a test sees that an unattended end asks nobody.
class TStandIn {
public:
    TStandIn();
    ~TStandIn();
    TStandIn(const TStandIn &) = delete;
    TStandIn &operator=(const TStandIn &) = delete;

    // Answers every question when set.
    std::function<TReply(const TQuestion &)> Answer;
    // Otherwise the next questions take these in turn; once they are used up, each question
    // gets its unattended answer.
    QList<TReply> Next;

    // Runs while a notice would be on the screen, once it is recorded: a test runs here what a
    // box's event loop may run meanwhile (timers, watchers, the session's end).
    std::function<void(TBoxKind kind, const QString &text)> WhileShown;

    QList<TQuestion> Asked;
    QList<std::pair<TBoxKind, QString>> Told;

private:
    TStandIn *FPrevious;
};
