#pragma once

#include <QFileSystemWatcher>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

class TKivDiary;
class TKivDiaryEdit;

// The inbox/ folder inside the data folder, where a phone or a script drops files of one day
// each (2026-12-09.txt, 20261209.md, 2026/12/09.txt): when the diary starts and whenever a file
// appears there, their days come into the diary through the store, the year is saved, and each
// file taken in moves into backup/inbox/. A file that cannot be read stays and is named once.
// A file is taken once its size and time have stood still from one look to the next (a phone or
// a sync tool may write it in steps), and moved only while it holds the bytes taken in; a link
// that leads out of the inbox is not followed.
//
// It runs from a short timer, never inside a load or save of the store, never twice at once;
// the message it shows comes after everything is written.
class TInbox : public QObject {
    Q_OBJECT

public:
    TInbox(TKivDiaryEdit *editor, TKivDiary *store, QObject *owner);

    void Start();
    void Stop();
    void SetDelay(int ms) { FTimer.setInterval(ms); }

    static QString FolderOf(const QString &baseDir);

signals:
    // After each look into the folder.
    void Checked();

private:
    void Watch();
    void Schedule();
    void Take();

    TKivDiaryEdit *FEditor;
    TKivDiary *FStore;
    QFileSystemWatcher FWatcher;
    QTimer FTimer;
    bool FStarted = false;
    bool FStopped = false;
    bool FRunning = false;
    // Files named as unreadable already (with their size and time, so a new version is tried).
    QSet<QString> FReported;
    // Each file's size and time at the last look: a file is taken once they stood still.
    QHash<QString, QString> FSeen;
};
