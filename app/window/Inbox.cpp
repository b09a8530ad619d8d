#include "Inbox.h"

#include "AppServices.h"
#include "DayTexts.h"
#include "DiaryImport.h"
#include "DiskCopies.h"
#include "KivDiary.h"
#include "KivDiaryEdit.h"
#include "ShownYear.h"
#include "WindowTexts.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

using namespace diaryimport;

namespace {

QString lines(const QStringList &items)
{
    QStringList out;
    for (const QString &item : items)
        out << QStringLiteral("> ") + item;
    return out.join(QStringLiteral("\r\n"));
}

QString version(const QFileInfo &info)
{
    return info.filePath() + u'\n' + QString::number(info.size()) + u'\n'
        + QString::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

TInbox::TInbox(TKivDiaryEdit *editor, TKivDiary *store, QObject *owner)
    : QObject(owner)
    , FEditor(editor)
    , FStore(store)
{
    // A sync tool writes a file in steps: the look waits until the folder has been quiet.
    FTimer.setSingleShot(true);
    FTimer.setInterval(1000);
    connect(&FTimer, &QTimer::timeout, this, [this] { RunGuarded([this] { Take(); }); });
    connect(&FWatcher, &QFileSystemWatcher::directoryChanged, this, &TInbox::Schedule);
}

QString TInbox::FolderOf(const QString &baseDir) { return InboxFolder(baseDir); }

void TInbox::Start()
{
    FStarted = true;
    Watch();
    // What came while the diary was closed.
    Take();
}

void TInbox::Stop()
{
    FStopped = true;
    FTimer.stop();
    FWatcher.disconnect(this);
}

void TInbox::Schedule()
{
    if (!FStopped)
        FTimer.start();
}

void TInbox::Watch()
{
    if (!FWatcher.directories().isEmpty())
        FWatcher.removePaths(FWatcher.directories());
    const QString base = FStore->BaseDir().isEmpty() ? QStringLiteral("./") : FStore->BaseDir();
    // The data folder tells when inbox/ is made; inbox/ and its sub-folders when a file comes.
    FWatcher.addPath(base);
    const QString inbox = FolderOf(FStore->BaseDir());
    if (!QFileInfo(inbox).isDir())
        return;
    FWatcher.addPath(inbox);
    QDirIterator it(inbox, QDir::Dirs | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        FWatcher.addPath(it.next());
}

void TInbox::Take()
{
    if (!FStarted || FStopped || FRunning || !FStore->Active() || FStore->Busy()) {
        if (!FStopped && FRunning)
            Schedule();
        return;
    }
    // A file is not taken in while the user writes: the year would switch beneath a word being
    // composed.
    if (FEditor && FEditor->Typing()) {
        Schedule();
        return;
    }
    FRunning = true;
    const TStoreNoticesInWindow notices;
    const auto done = qScopeGuard([this] {
        FRunning = false;
        emit Checked();
    });
    Watch();
    const QString inbox = FolderOf(FStore->BaseDir());
    QList<TSource> sources;
    QStringList unreadable;
    QDirIterator it(inbox, QDir::Files, QDirIterator::Subdirectories);
    QStringList files;
    while (it.hasNext()) {
        // A sync tool's file still coming in is hidden or named as a part; it is looked at once
        // it has its name.
        const QString path = it.next();
        if (!path.endsWith(u".part") && !path.endsWith(u".tmp") && !path.endsWith(u'~'))
            files << path;
    }
    files.sort();
    QHash<QString, QString> seen;
    bool waiting = false;
    for (const QString &path : std::as_const(files)) {
        const QFileInfo info(path);
        if (FReported.contains(version(info)))
            continue;
        QString error;
        if (LeadsOutside(path, inbox))
            error = QStringLiteral("%1 is a link to a file outside the inbox").arg(path);
        else if (!DayOfFileName(QDir(inbox).relativeFilePath(path)).isValid())
            error = QStringLiteral("%1 is named for no day (YYYY-MM-DD.txt or .md)").arg(path);
        // Also a file that will not come in is named once it rests, with the others.
        seen.insert(path, version(info));
        if (FSeen.value(path) != version(info)) {
            waiting = true;
            continue;
        }
        TSource source;
        if (error.isEmpty()) {
            source = ReadSource(path, TFormat::DayFiles);
        } else {
            source.Path = path;
            source.Error = error;
        }
        if (source.Error.isEmpty()) {
            sources << std::move(source);
            continue;
        }
        FReported.insert(version(info));
        unreadable << path;
    }
    FSeen = seen;
    if (waiting)
        Schedule();
    QStringList parts;
    if (!sources.isEmpty()) {
        if (FEditor && FEditor->Source() == FStore)
            FEditor->Commit();
        // The store's year switch saves each year as it is left, as the ordinary save does.
        QStringList days;
        QStringList notStored;
        QSet<int> unreadYears;
        for (const TYearOutcome &year : TakeInto(*FStore, JoinDays(sources))) {
            if (!year.Error.isEmpty())
                unreadYears.insert(year.Year);
            for (const QDate day : year.Added + year.Extended + year.BothTexts)
                days << FormatDate(QStringLiteral("yyyy/mm/dd"), day);
            for (const QString &chars : year.NotStored)
                notStored << Text(wtext::kImportNotStored).arg(chars);
        }
        FStore->SaveWhenDue();
        // A file goes only once what it brought is in the year file.
        if (!YearUnsaved(FEditor, *FStore)) {
            QStringList stuck;
            for (const TSource &source : std::as_const(sources)) {
                // A day whose year file does not read did not come in: its file stays.
                const bool taken = std::none_of(source.Days.begin(), source.Days.end(),
                    [&](const auto &day) { return unreadYears.contains(day.first.year()); });
                if (!taken) {
                    FReported.insert(version(QFileInfo(source.Path)));
                    unreadable << source.Path;
                } else if (!HoldsBytesRead(source)) {
                    // Written again since it was read: it stays, to be taken in once it rests.
                    FSeen.remove(source.Path);
                    Schedule();
                } else if (!MoveIntoBackupFolder(
                               FStore->BaseDir(), source.Path, QStringLiteral("inbox/"))) {
                    stuck << source.Path;
                }
            }
            if (!stuck.isEmpty())
                parts << Text(wtext::kInboxNotMoved).arg(lines(stuck));
        }
        days.sort();
        if (!days.isEmpty())
            parts << Text(wtext::kInboxTaken).arg(days.join(QStringLiteral("\r\n")));
        // Said as the window's import says it: the day, and each character by its code point.
        if (!notStored.isEmpty())
            parts << Text(wtext::kInboxNotStored).arg(notStored.join(QStringLiteral("\r\n")));
    }
    if (!unreadable.isEmpty())
        parts << Text(wtext::kInboxNotRead).arg(lines(unreadable));
    if (!parts.isEmpty())
        ShowWindowNotice(parts.join(QStringLiteral("\r\n\r\n")));
}
