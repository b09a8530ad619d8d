#pragma once

#include <QFileSystemWatcher>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QStringList>
#include <QTimer>

class TKivDiary;
class TKivDiaryEdit;

// Notices when another program (a sync tool, a text editor) changes the loaded year file: it
// watches the file and its folder, and checks when the window becomes active. With nothing
// unsaved the year is read again and the editor shows the other version, the caret where it
// was; with unsaved text the year is saved, and the save merges the other version in by day.
// While the user writes (a word being composed, keys within the last second) the check waits for
// a pause: nothing ends the composition or takes the keyboard, and what the check has to say is
// said in the window without a box. After any merge the editor shows the merged text of its day
// when that changed and the editor holds no edit of its own.
//
// Conflict copies beside the year's file (a sync engine's or the diary's own), found when a year
// is opened and at every check while it is shown: one whose text the year holds already is moved
// into the backup folder without a question; the others are offered once per content and run
// and may be taken in by day, through the store's one door for text from elsewhere. A copy goes
// into the backup folder only once what it brought is saved.
//
// Checks run from a short timer, never inside a load or save of the store (a message box of
// one lets events run) and never twice at once.
class TDiskWatch : public QObject {
    Q_OBJECT

public:
    TDiskWatch(TKivDiaryEdit *editor, TKivDiary *store, QWidget *window);

    // Begins watching, once the window has finished its start: before that a reload would
    // find the editor without its day, inside the start's own questions. The year is checked
    // once at once, for a change made while the start went on.
    void Start();
    // Stops every check for good; the window calls it before its controls go.
    void Stop();
    // Milliseconds between the last notice of a change and the check.
    void SetDelay(int ms) { FTimer.setInterval(ms); }

signals:
    // After each check that ran, whatever it found.
    void Checked();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Schedule();
    void Check();
    void ReloadKeepingCaret();
    void RefreshKeepingCaret();
    // After a merge: the editor follows its day when it holds nothing of its own.
    void ShowMergedDay();
    void OfferCopies();
    bool AskMergeCopies(const QStringList &copies) const;
    void Rewatch();

    QPointer<TKivDiaryEdit> FEditor;
    QPointer<TKivDiary> FStore;
    QFileSystemWatcher FWatcher;
    QTimer FTimer;
    QString FFolder;
    bool FStarted = false;
    bool FStopped = false;
    bool FChecking = false;
    bool FSaveFailed = false;
    // The copies offered or taken in during this run, by the hash of their bytes (an unreadable
    // one by its bytes and name).
    QSet<size_t> FCopiesSeen;
};
