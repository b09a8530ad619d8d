#include "DiskWatch.h"

#include "AppServices.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "ShownYear.h"

#include <QEvent>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextCursor>
#include <QWidget>
#include <algorithm>

TDiskWatch::TDiskWatch(TKivDiaryEdit *editor, TKivDiary *store, QWidget *window)
    : QObject(window)
    , FEditor(editor)
    , FStore(store)
{
    // A sync tool or an editor writes a file in several steps; the check waits for the last.
    FTimer.setSingleShot(true);
    FTimer.setInterval(200);
    connect(&FTimer, &QTimer::timeout, this, &TDiskWatch::Check);
    connect(&FWatcher, &QFileSystemWatcher::fileChanged, this, &TDiskWatch::Schedule);
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, &TDiskWatch::Schedule);
    // Another year, or the file replaced by the diary's own save: watch what is there now.
    connect(store, &TKivDiary::Loaded, this, [this] {
        FSaveFailed = false;
        Rewatch();
    });
    connect(store, &TKivDiary::Reloaded, this, &TDiskWatch::Rewatch);
    connect(store, &TKivDiary::Saved, this, [this] {
        FSaveFailed = false;
        Rewatch();
    });
    window->installEventFilter(this);
}

void TDiskWatch::Start()
{
    if (FStarted || FStopped)
        return;
    FStarted = true;
    Rewatch();
    Schedule();
}

void TDiskWatch::Stop()
{
    FStopped = true;
    FTimer.stop();
    FWatcher.disconnect(this);
    if (!FWatcher.files().isEmpty() || !FWatcher.directories().isEmpty())
        FWatcher.removePaths(FWatcher.files() + FWatcher.directories());
}

bool TDiskWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ActivationChange && static_cast<QWidget *>(watched)->isActiveWindow())
        Schedule();
    return QObject::eventFilter(watched, event);
}

void TDiskWatch::Schedule()
{
    if (FStarted && !FStopped)
        FTimer.start();
}

void TDiskWatch::Check()
{
    if (!FStarted || FStopped || !FEditor || !FStore)
        return;
    // Inside a save or load, or inside a check's own message box: look again afterwards.
    if (FChecking || FStore->Busy()) {
        FTimer.start();
        return;
    }
    FChecking = true;
    RunGuarded([this] {
        if (FStore->CheckFile() != TKivDiary::TDiskChange::Changed)
            return;
        const bool editorHoldsThisYear = FEditor->Source() == FStore;
        if (YearUnsaved(FEditor, *FStore)) {
            // A save that failed here (a full disk) is not tried again at every change in the
            // folder, which would show its error each time; the next save of the year will.
            if (FSaveFailed)
                return;
            FSaveFailed = true;
            if (editorHoldsThisYear)
                FEditor->Commit();
            FStore->SaveWhenDue();
            FSaveFailed = false;
        } else {
            ReloadKeepingCaret();
        }
    });
    FChecking = false;
    if (FStopped)
        return;
    Rewatch();
    emit Checked();
}

void TDiskWatch::ReloadKeepingCaret()
{
    if (!FStore->ReloadFile() || !FEditor || FEditor->Source() != FStore)
        return;
    const int position = FEditor->textCursor().position();
    const int scroll = FEditor->verticalScrollBar()->value();
    FEditor->Refresh();
    QTextCursor cursor = FEditor->textCursor();
    cursor.setPosition(std::min(position, FEditor->document()->characterCount() - 1));
    FEditor->setTextCursor(cursor);
    FEditor->verticalScrollBar()->setValue(scroll);
}

void TDiskWatch::Rewatch()
{
    if (!FStarted || FStopped || !FStore)
        return;
    const QString base = FStore->BaseDir();
    const QString folder = base.isEmpty() ? QStringLiteral(".") : base;
    // A file replaced by rename may still be watched under its name through the old file;
    // watching the name afresh watches the file that is there now. A missing file is noticed
    // through its folder when it comes back.
    if (!FWatcher.files().isEmpty())
        FWatcher.removePaths(FWatcher.files());
    if (FFolder != folder || FWatcher.directories().isEmpty()) {
        if (!FWatcher.directories().isEmpty())
            FWatcher.removePaths(FWatcher.directories());
        FFolder = folder;
        if (QFileInfo(folder).isDir())
            FWatcher.addPath(folder);
    }
    if (QFileInfo(FStore->FilePath()).isFile())
        FWatcher.addPath(FStore->FilePath());
}
