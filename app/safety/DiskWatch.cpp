#include "DiskWatch.h"

#include "AppServices.h"
#include "DayNumber.h"
#include "DiskCopies.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "Messages.h"
#include "Recovery.h"
#include "Services.h"
#include "ShownYear.h"
#include "WindowTexts.h"
#include "YearFile.h"

#include <QCryptographicHash>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QScrollBar>
#include <QTextCursor>
#include <QWidget>
#include <algorithm>
#include <set>

namespace {

// The copies taken in, by the SHA-1 of their bytes, one a line in this machine's state folder:
// taken in once, a copy is never offered again, moved or not.
QString takenCopiesFile() { return DiaryStateFolder() + QLatin1String("taken-copies"); }

QByteArrayList takenCopies()
{
    QFile file(takenCopiesFile());
    return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QByteArrayList();
}

QByteArray copyHash(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
}

bool takenBefore(const QByteArray &bytes) { return takenCopies().contains(copyHash(bytes)); }

void rememberTaken(const QByteArray &bytes)
{
    MakeFolders(DiaryStateFolder());
    QByteArrayList lines = takenCopies();
    lines.removeAll(QByteArray());
    lines << copyHash(bytes) << QByteArray();
    ReplaceFile(takenCopiesFile(), lines.join('\n'), TFileAccess());
}

bool yearFileReads(const QString &path, int year)
{
    try {
        (void)ReadYearFile(ReadWholeFile(path), year, DiaryNow().date().year());
        return true;
    } catch (const Exception &) {
        return false;
    }
}

QString pathLines(const QStringList &paths)
{
    return QStringLiteral("> ") + paths.join(QStringLiteral("\r\n> "));
}

// Where a caret at position in before stands in after, a merge that kept before's text and put
// another's around or among it: behind the same text that came before it.
qsizetype placeAfterMerge(const QString &before, qsizetype position, const QString &after)
{
    const qsizetype common = std::min(before.size(), after.size());
    qsizetype head = 0;
    while (head < common && before[head] == after[head])
        ++head;
    if (position <= head)
        return position;
    qsizetype tail = 0;
    while (
        tail < common - head && before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    if (before.size() - position <= tail)
        return after.size() - (before.size() - position);
    // Inside what the merge changed: behind the caret's line as far as the caret, where the
    // merge kept that line.
    const qsizetype lineStart = before.lastIndexOf(u'\n', position - 1) + 1;
    const QString lead = before.mid(lineStart, position - lineStart);
    const qsizetype found = lead.isEmpty() ? -1 : after.indexOf(lead);
    return found >= 0 ? found + lead.size() : std::min(position, after.size());
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
    // Another version waits while the user writes: a save would end the word being composed, a
    // reload replace it, a question take the keyboard.
    if (FEditor->Typing()) {
        FTimer.start();
        return;
    }
    FChecking = true;
    // What the store says of a merge or a reload is said in the window, as this check's own.
    const TStoreNoticesInWindow notices;
    // The copies beside the year, also those a sync engine leaves while the window runs.
    RunGuarded([this] { OfferCopies(); });
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
    if (!FStore->ReloadFile())
        return;
    // What the reload kept of this diary's own (days the other version never saw) goes back
    // into the year file at once.
    if (FStore->Unsaved())
        FStore->SaveWhenDue();
    if (!FEditor || FEditor->Source() != FStore)
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
    if (FStore->GetDayText(FEditor->Date()) == FEditor->StoreText())
        return;
    // The merge is one step that Ctrl+Z takes back; the caret stays behind the user's own text,
    // where the next keys belong.
    const QString before = FEditor->toPlainText();
    const int position = FEditor->textCursor().position();
    const int scroll = FEditor->verticalScrollBar()->value();
    FEditor->Reload();
    QTextCursor cursor = FEditor->textCursor();
    cursor.setPosition(int(placeAfterMerge(before, position, FEditor->toPlainText())));
    FEditor->setTextCursor(cursor);
    FEditor->verticalScrollBar()->setValue(scroll);
}

void TDiskWatch::OfferCopies()
{
    if (!FStore->Active() || !FStore->LoadError().isEmpty())
        return;
    const QString path = FStore->FilePath();
    // Each copy by its content: one whose text the year holds goes without a question, one
    // offered or taken in once is not offered again in this run, wherever it lies.
    QStringList offered;
    QStringList held;
    QStringList unreadable;
    QList<QByteArray> offeredBytes;
    std::vector<TYearContents> versions;
    for (const QString &copy : ConflictCopiesOf(path, FStore->Ext())) {
        TYearRead read;
        QByteArray bytes;
        try {
            bytes = ReadWholeFile(copy);
            read = ReadYearFile(bytes, FStore->Year(), DiaryNow().date().year());
        } catch (const Exception &e) {
            if (!FCopiesSeen.contains(HashBytes(bytes) ^ qHash(copy)))
                unreadable << copy + QStringLiteral(": ") + e.Message();
            FCopiesSeen.insert(HashBytes(bytes) ^ qHash(copy));
            continue;
        }
        if (FStore->HoldsVersion(read.Contents)) {
            held << copy;
            continue;
        }
        if (FCopiesSeen.contains(HashBytes(bytes)) || takenBefore(bytes))
            continue;
        FCopiesSeen.insert(HashBytes(bytes));
        offered << copy;
        offeredBytes << bytes;
        versions.push_back(std::move(read.Contents));
    }
    QStringList parts;
    if (!unreadable.isEmpty())
        parts << Text(wtext::kConflictCopiesNotRead).arg(pathLines(unreadable));
    QStringList taken;
    TYearMerge both;
    std::set<double> changed;
    std::set<double> bothDays;
    if (!offered.isEmpty() && AskMergeCopies(offered)) {
        // Events ran while the box waited: the year may be another now, its file changed. The
        // save makes its own check of the year file.
        if (FStore->FilePath() != path || !FStore->Active() || !FStore->LoadError().isEmpty())
            return;
        if (FEditor && FEditor->Source() == FStore)
            FEditor->Commit();
        for (size_t i = 0; i < versions.size(); ++i) {
            const TYearMerge merge = FStore->TakeInCopy(versions[i]);
            bothDays.insert(merge.BothTextDays.begin(), merge.BothTextDays.end());
            for (const double day : merge.ChangedDays) {
                if (!std::binary_search(merge.BothTextDays.begin(), merge.BothTextDays.end(), day))
                    changed.insert(day);
            }
            both.BothPreambles = both.BothPreambles || merge.BothPreambles;
            both.BothErrorData = both.BothErrorData || merge.BothErrorData;
            taken << offered[int(i)];
            rememberTaken(offeredBytes[qsizetype(i)]);
        }
        FStore->SaveWhenDue();
    }
    // A copy goes only once what it brought is in the year file, and that file still reads: the
    // conflict file the diary keeps beside a year file that no longer reads holds the year's
    // only copy, under the name its notice gave.
    if ((!taken.isEmpty() || !held.isEmpty()) && !YearUnsaved(FEditor, *FStore)
        && yearFileReads(path, FStore->Year())) {
        QStringList moved;
        QStringList stuck;
        for (const QString &copy : taken + held) {
            if (const std::optional<QString> aside = MoveIntoBackupFolder(FStore->BaseDir(), copy))
                moved << *aside;
            else if (taken.contains(copy))
                stuck << copy;
        }
        if (!taken.isEmpty() && !moved.isEmpty())
            parts << Text(wtext::kConflictCopiesMerged).arg(pathLines(moved));
        if (!stuck.isEmpty())
            parts << Text(wtext::kConflictCopiesNotMoved).arg(pathLines(stuck));
    }
    if (!changed.empty()) {
        parts << Text(wtext::kConflictCopiesChangedDays)
                     .arg(DescribeChangedDays(std::vector<double>(changed.begin(), changed.end())));
    }
    both.BothTextDays.assign(bothDays.begin(), bothDays.end());
    if (both.HoldsBothTexts()) {
        parts << Text(wtext::kConflictCopiesBothTexts)
                     .arg(Text(msg::kBothTextsSeparator), DescribeBothTexts(both));
    }
    if (!parts.isEmpty())
        ShowWindowNotice(parts.join(QStringLiteral("\r\n\r\n")));
}

bool TDiskWatch::AskMergeCopies(const QStringList &copies) const
{
    // Unattended, the copies stay as they are for the next start to offer again.
    return Ask({ TQuestionKind::MergeCopies, {},
               Text(wtext::kConflictCopiesFound).arg(pathLines(copies)),
               { { TAnswer::Yes, Text(wtext::kConflictCopiesMerge) },
                   { TAnswer::No, Text(wtext::kConflictCopiesLeave) } },
               TAnswer::Yes, TAnswer::No, copies })
        == TAnswer::Yes;
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
