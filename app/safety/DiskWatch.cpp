#include "DiskWatch.h"

#include "AppServices.h"
#include "DayNumber.h"
#include "DiskCopies.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Messages.h"
#include "ShownYear.h"
#include "WindowTexts.h"

#include <QEvent>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QTextCursor>
#include <QWidget>
#include <algorithm>
#include <set>

std::function<bool(const QStringList &copies)> TDiskWatch::MergeCopiesHook;

namespace {

QString text(const char *utf8) { return QString::fromUtf8(utf8); }

QString pathLines(const QStringList &paths)
{
    return QStringLiteral("> ") + paths.join(QStringLiteral("\r\n> "));
}

} // namespace

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
        FCopiesDue = true;
        Rewatch();
        Schedule();
    });
    connect(store, &TKivDiary::Merged, this, [this] { RunGuarded([this] { ShowMergedDay(); }); });
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
    FCopiesDue = true;
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
    if (event->type() == QEvent::ActivationChange
        && static_cast<QWidget *>(watched)->isActiveWindow())
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
    // The copies as the year was opened, before anything this check writes beside it.
    if (FCopiesDue) {
        FCopiesDue = false;
        RunGuarded([this] { OfferCopies(); });
    }
    RunGuarded([this] {
        if (FStopped || !FEditor || !FStore
            || FStore->CheckFile() != TKivDiary::TDiskChange::Changed)
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
    RefreshKeepingCaret();
}

void TDiskWatch::RefreshKeepingCaret()
{
    const int position = FEditor->textCursor().position();
    const int scroll = FEditor->verticalScrollBar()->value();
    FEditor->Refresh();
    QTextCursor cursor = FEditor->textCursor();
    cursor.setPosition(std::min(position, FEditor->document()->characterCount() - 1));
    FEditor->setTextCursor(cursor);
    FEditor->verticalScrollBar()->setValue(scroll);
}

void TDiskWatch::ShowMergedDay()
{
    // The editor's own edits stay; an editor between two days (a year switch saving the year it
    // leaves) is shown its next day right after.
    if (FStopped || !FEditor || !FStore || FEditor->Source() != FStore || FEditor->Modified()
        || !FStore->Active() || !FStore->LoadError().isEmpty()
        || DayNumberToDate(FEditor->Date()).year() != FStore->Year())
        return;
    // Unchanged, the editor keeps its caret and its undo history.
    if (FStore->GetDayText(FEditor->Date()) != FEditor->StoreText())
        RefreshKeepingCaret();
}

void TDiskWatch::OfferCopies()
{
    if (!FStore->Active() || !FStore->LoadError().isEmpty())
        return;
    const QString path = FStore->FilePath();
    if (FCopiesOffered.contains(path))
        return;
    const QStringList copies = ConflictCopiesOf(path, FStore->Ext());
    if (copies.isEmpty())
        return;
    FCopiesOffered.insert(path);
    if (!AskMergeCopies(copies))
        return;
    // Events ran while the box waited: the year may be another now, its file changed. The copies
    // are read now, and the save makes its own check of the year file.
    if (FStore->FilePath() != path || !FStore->Active() || !FStore->LoadError().isEmpty())
        return;
    if (FEditor && FEditor->Source() == FStore)
        FEditor->Commit();
    QStringList taken;
    QStringList unreadable;
    std::set<double> bothDays;
    TYearMerge both;
    for (const QString &copy : copies) {
        TYearRead read;
        try {
            read = ReadYearFileAt(copy, FStore->Year());
        } catch (const Exception &e) {
            unreadable << copy + QStringLiteral(": ") + e.Message();
            continue;
        }
        const TYearMerge merge = FStore->TakeInVersion(read.Contents);
        bothDays.insert(merge.BothTextDays.begin(), merge.BothTextDays.end());
        both.BothPreambles = both.BothPreambles || merge.BothPreambles;
        both.BothErrorData = both.BothErrorData || merge.BothErrorData;
        taken << copy;
    }
    if (!taken.isEmpty())
        FStore->SaveWhenDue();
    QStringList parts;
    // A copy goes only once what it brought is in the year file.
    if (!taken.isEmpty() && !YearUnsaved(FEditor, *FStore)) {
        QStringList moved;
        QStringList stuck;
        for (const QString &copy : std::as_const(taken)) {
            if (const std::optional<QString> aside = MoveIntoBackupFolder(FStore->BaseDir(), copy))
                moved << *aside;
            else
                stuck << copy;
        }
        if (!moved.isEmpty())
            parts << text(wtext::kConflictCopiesMerged).arg(pathLines(moved));
        if (!stuck.isEmpty())
            parts << text(wtext::kConflictCopiesNotMoved).arg(pathLines(stuck));
    }
    both.BothTextDays.assign(bothDays.begin(), bothDays.end());
    if (both.HoldsBothTexts()) {
        parts << text(wtext::kConflictCopiesBothTexts)
                     .arg(text(msg::kBothTextsSeparator), DescribeBothTexts(both));
    }
    if (!unreadable.isEmpty())
        parts << text(wtext::kConflictCopiesNotRead).arg(pathLines(unreadable));
    if (!parts.isEmpty())
        ShowMessageBox(parts.join(QStringLiteral("\r\n\r\n")));
}

bool TDiskWatch::AskMergeCopies(const QStringList &copies) const
{
    if (MergeCopiesHook)
        return MergeCopiesHook(copies);
    if (Unattended())
        return false;
    QMessageBox box(QMessageBox::Question, ApplicationTitle(),
        text(wtext::kConflictCopiesFound).arg(pathLines(copies)),
        QMessageBox::Yes | QMessageBox::No);
    box.button(QMessageBox::Yes)->setText(text(wtext::kConflictCopiesMerge));
    box.button(QMessageBox::No)->setText(text(wtext::kConflictCopiesLeave));
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
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
