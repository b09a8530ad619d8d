#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>

class TKivDiary;
class TKivDiaryEdit;

// A safety net for a diary that is left open for days: a few seconds after the last edit the
// unsaved state of the year (the store's days and the editor's text of its day) is written
// atomically to a recovery file beside the year file. Every successful save of that year
// removes it. When a year is loaded and a recovery file for it exists, the user is asked
// whether to take the recovered texts back (they then count as unsaved edits) or to keep the
// file aside untouched, under a name no save removes.
//
// The year file's own rules do not change: the recovery file is never read as a year file of
// the diary, and nothing is written into the year file until a normal save.
class TRecovery : public QObject {
    Q_OBJECT

public:
    enum class TChoice { TakeBack, KeepAside };

    TRecovery(TKivDiaryEdit *editor, TKivDiary *store, QObject *parent = nullptr);

    // The recovery file of the store's current year file.
    static QString PathFor(const TKivDiary &store);

    // Writes the unsaved state now; returns false when writing failed. Writes nothing (and
    // returns true) when nothing is unsaved.
    bool WriteNow();

    // For a window whose controls are about to go: the editor is no longer read, its text
    // being in the store by then.
    void ReleaseEditor();

    // Milliseconds between the last edit and the write.
    void SetDelay(int ms) { FTimer.setInterval(ms); }

    // Tests answer the question here instead of a person.
    static std::function<TChoice(const QString &path)> AskHook;

private:
    void YearLoaded();
    void YearSaved();
    TChoice Ask(const QString &path) const;
    void TakeBack(const QString &path);
    QString KeepAside(const QString &path);
    QByteArray BuildImage() const;

    QPointer<TKivDiaryEdit> FEditor;
    TKivDiary *FStore;
    QTimer FTimer;
    bool FReportedFailure = false;
};
