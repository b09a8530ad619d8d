#pragma once

#include "DiaryIdentity.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

class TKivDiary;
struct TYearContents;

class TKivDiaryEdit;

// A safety net for a diary that is left open for days: a few seconds after the last edit the
// unsaved state of the year (the store's days and the editor's text of its day) is written
// atomically to a recovery file in the user's state folder, one per machine and data folder, so
// that it never travels with the folder. The file exists only while something is
// unsaved: a save of that year removes it, and so does coming back to what the year file holds
// (an edit undone, a year left or a program ended without a save). A reload of another
// program's version follows what the reload left unsaved and asks nothing. Only when a year is
// loaded (the first read of it since it was opened or switched to) and a recovery file for it
// exists, the user is asked whether to take the recovered texts back (they then count as
// unsaved edits) or to keep the file aside untouched, under a name no save removes.
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

    // Writes the unsaved state now; returns false when writing failed. When nothing is
    // unsaved it writes nothing, removes the file and returns true.
    bool WriteNow();

    // For a window whose controls are about to go: the editor is no longer read, its text
    // being in the store by then.
    void ReleaseEditor();

    // Removes the recovery file when store and editor hold nothing the year file lacks.
    void Settle();

    // Milliseconds between the last edit and the write.
    void SetDelay(int ms) { FTimer.setInterval(ms); }

private:
    void YearLoaded();
    void YearReloaded();
    void YearSaved();
    TChoice Ask(const QString &path) const;
    void TakeBack(const QString &path, const TYearContents &recovered);
    QString KeepAside(const QString &path);
    // The year as the user sees it, the editor's unsaved text included, as a recovery file.
    QByteArray BuildImage() const;

    // Cleared when the window destroys the editor before the store makes its final save.
    QPointer<TKivDiaryEdit> FEditor;
    TKivDiary *FStore;
    QTimer FTimer;
    bool FReportedFailure = false;
    // The recovery file of the year last loaded, saved or written.
    QString FPath;
};
