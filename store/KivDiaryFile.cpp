// The store's year file on disk: loading, saving and reloading it.
#include "CommandLine.h"
#include "DayTexts.h"
#include "DiskCopies.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "Messages.h"
#include "Services.h"
#include "YearFile.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace {

QString text(const char *utf8) { return QString::fromUtf8(utf8); }

QString crLf() { return QStringLiteral("\r\n"); }

// Counts a running load or save, so that what a message box lets run meanwhile stays out.
class TBusyScope {
public:
    explicit TBusyScope(int &busy)
        : FBusy(busy)
    {
        ++FBusy;
    }
    ~TBusyScope() { --FBusy; }
    TBusyScope(const TBusyScope &) = delete;
    TBusyScope &operator=(const TBusyScope &) = delete;

private:
    int &FBusy;
};

// A folder that takes no new files: the file there may still be written over in place.
bool noNewFiles(const TFileWrite &failed)
{
    return failed.Errno == EACCES || failed.Errno == EPERM;
}

// The backup is a courtesy: when it cannot be made the save goes on without it. True when the
// backup holds 'contents' (the year file as the diary verified it) in full.
bool makeBackup(const QString &path, QByteArrayView contents, const TFileAccess &access)
{
    const QString bak = BackupPathOf(path);
    const TFileWrite written = ReplaceFile(bak, contents, access);
    if (written)
        return true;
    if (!noNewFiles(written) || !QFileInfo(bak).isFile() || QFileInfo(bak).isSymLink())
        return false;
    // An existing backup is written over instead, and put back when that fails.
    QFile old(bak);
    if (!old.open(QIODevice::ReadOnly))
        return false;
    const QByteArray older = old.readAll();
    if (old.error() != QFileDevice::NoError)
        return false;
    old.close();
    return bool(OverwriteInPlace(bak, contents, access, QByteArrayView(older)));
}

// The days whose text in 'now' is not the one last read or written ('base'), one a line: what
// is lost when the program ends before a save.
QString unsavedDays(const TYearContents &base, const TYearContents &now)
{
    std::map<double, QByteArray> before;
    for (const TDayText &day : base.Days)
        before[day.FDate] = day.FText;
    std::set<double> changed;
    for (const TDayText &day : now.Days) {
        const auto it = before.find(day.FDate);
        if (it == before.end() || it->second != day.FText)
            changed.insert(day.FDate);
        if (it != before.end())
            before.erase(it);
    }
    for (const auto &[date, text] : before)
        changed.insert(date); // emptied
    QStringList lines;
    for (const double date : changed)
        lines << FormatDayNumber(QStringLiteral("yyyy/mm/dd"), date);
    if (base.Preamble != now.Preamble)
        lines << text(msg::kBothPreambles);
    return lines.join(crLf());
}

} // namespace

bool TKivDiary::HoldsText(QByteArrayView text) { return HoldsDayText(text); }

QByteArray TKivDiary::EscapeText(const QByteArray &value) { return EscapeDayText(value); }

QByteArray TKivDiary::UnescapeText(const QByteArray &value) { return UnescapeDayText(value); }

bool TKivDiary::ParseHeader(const QByteArray &line, double &version, quint16 &year)
{
    return ParseYearFileHeader(line, version, year);
}

void TKivDiary::LoadFile()
{
    if (!FActive)
        throw EKivDiaryError(text(msg::kNotActive));
    FErrorData.clear();
    FSettings.clear();
    FLoadError.clear();
    FModifiedByLoad = false;
    FDisk = TFileIdentity();
    FHistory = TYearHistory();
    FReportedDamaged = TFileIdentity();
    std::optional<TBusyScope> busy(std::in_place, FBusy);
    try {
        const QString path = FilePath();
        TYearRead read;
        if (QFileInfo::exists(path)) {
            // Taken before the read: a change during the read then shows as a change later.
            TFileIdentity seen = StatFile(path);
            const QByteArray data = ReadWholeFile(path);
            seen.Hash = HashBytes(data);
            FDisk = seen;
            read = ReadYearFile(data, FYear, DiaryNow().date().year());
        }
        // The year file as the sync engine left it: what the other side is taken to have.
        FHistory.Read(read.Contents, true);
        TakeContents(std::move(read.Contents));
        for (const QString &message : read.Messages)
            ShowDiaryMessage(message);
    } catch (const Exception &e) {
        FLoadError = e.Message();
        throw;
    } catch (const std::exception &e) {
        FLoadError = QString::fromLocal8Bit(e.what());
        throw;
    }
    busy.reset();
    emit Loaded();
}

void TKivDiary::SaveFile() { (void)WriteYear(); }

TKivDiary::TSaveOutcome TKivDiary::WriteYear()
{
    try {
        return WriteYearFileInPlace();
    } catch (const EFCreateError &e) {
        // The store keeps the edits and stays modified, so a later save tries the year file
        // again; should the program end first, the whole year is in a file of the user's own.
        const std::optional<QString> rescued = RescueYear();
        if (!rescued) {
            // No place takes the year: it lives in this process alone, and each save says so.
            const QString days = unsavedDays(FHistory.Base, Contents());
            throw EFCreateError(e.Message() + crLf() + text(msg::kKeptInProcessOnly)
                + (days.isEmpty() ? QString() : crLf() + days));
        }
        throw EFCreateError(e.Message() + crLf() + text(msg::kSavedInstead) + crLf() + *rescued);
    }
}

std::optional<QString> TKivDiary::RescueYear()
{
    const QByteArray out = WriteYearFile(Contents(), FYear, FDayName, DiaryWeekdayNames());
    const size_t hash = HashBytes(out);
    // A save tried again without a new edit names the same file.
    if (!FRescuedPath.isEmpty() && FRescuedHash == hash) {
        try {
            if (ReadWholeFile(FRescuedPath) == out)
                return FRescuedPath;
        } catch (const Exception &) {
        }
    }
    if (!MakeFolders(RescueFolder()))
        return std::nullopt;
    const TFileWrite kept = WriteUnderFreeName(
        RescuePathBase(FilePath(), DiaryNow()), out, AccessForSave(FilePath()));
    if (!kept)
        return std::nullopt;
    FRescuedPath = kept.Path;
    FRescuedHash = hash;
    return kept.Path;
}

TKivDiary::TSaveOutcome TKivDiary::WriteYearFileInPlace()
{
    if (!FActive)
        throw EKivDiaryError(text(msg::kNotActive));
    // A year whose file could not be read is never written over that file.
    if (!FLoadError.isEmpty()) {
        FModified = false;
        return TSaveOutcome::NeverWritten;
    }
    SortDays();

    const QString path = FilePath();
    TBusyScope busy(FBusy);
    if (FolderGuard && !FolderGuard(FullFolderPath(FBaseDir)))
        throw EKivDiaryError(text(msg::kFolderHeldElsewhere) + crLf() + FullFolderPath(FBaseDir));
    // What the save has to say waits until the year file is written: a message box lets events
    // and other programs run, and nothing they do to the file may fall between the last look at
    // the disk and the write that relies on it.
    QStringList notices;
    std::optional<QByteArray> onDisk;
    QString unreadable;
    std::optional<TYearRead> other;
    TFileIdentity otherSeen;
    const TDiskVerdict verdict = VerifyBeforeSave(path, onDisk, unreadable, other, otherSeen);
    const TFileAccess access = AccessForSave(path);
    if (verdict == TDiskVerdict::Other) {
        // Another diary (or a sync engine carrying one's save) wrote the year meanwhile: its
        // days come in beside the store's, and the store now holds what it read there. Should
        // the write fail, the next save then starts from that version.
        TYearMerge merge
            = MergeYears(FHistory, Contents(), other->Contents, FHistory.Known(other->Contents));
        if (merge.HoldsBothTexts()) {
            notices << text(msg::kMergedBothTexts) + crLf() + path + crLf()
                    + DescribeBothTexts(merge);
        }
        std::vector<double> changed;
        std::set_difference(merge.ChangedDays.begin(), merge.ChangedDays.end(),
            merge.BothTextDays.begin(), merge.BothTextDays.end(), std::back_inserter(changed));
        if (!changed.empty()) {
            notices << text(msg::kMergedChangedDays) + crLf() + path + crLf()
                    + DescribeChangedDays(changed);
        }
        notices << other->Messages;
        FHistory.GaveWay(Contents(), merge);
        TakeContents(std::move(merge.Contents));
        FModified = true;
        FModifiedByLoad = false;
        FHistory.Read(other->Contents, true);
        // The other version's mode and group are not the year's: a save after a failed write
        // here keeps the access the year had.
        otherSeen.Mode = access.Mode;
        otherSeen.Group = access.Group.value_or(otherSeen.Group);
        FDisk = otherSeen;
    }
    const QFileInfo existing(path);
    bool backedUp = false;
    if (verdict == TDiskVerdict::Damaged) {
        // Nothing is copied from a file that is not the diary's any more: the .bak and the dated
        // backups keep versions the diary read or wrote.
    } else if (onDisk) {
        backedUp = makeBackup(path, *onDisk, access);
        MakeDatedBackupOnce(*onDisk, access, notices);
    } else if (!existing.exists()) {
        // Also for a year file that was deleted or moved away since it was read: it is written
        // again, and the notice asks nothing.
        notices << u'[' + QFileInfo(path).absoluteFilePath() + text(msg::kCreateNoticeTail);
    }
    const auto showNotices = [&] {
        for (const QString &notice : std::as_const(notices))
            ShowDiaryMessage(notice);
    };

    TYearContents contents = Contents();
    const QByteArray out = WriteYearFile(contents, FYear, FDayName, DiaryWeekdayNames());

    if (verdict == TDiskVerdict::Damaged) {
        // The same text kept once beside the same damaged file needs no second copy.
        const size_t hash = HashBytes(out);
        if (!FKeptOwnBeside.SameStat(FReportedDamaged) || FKeptOwnHash != hash) {
            const TFileWrite kept
                = WriteUnderFreeName(ConflictPathBase(path, DiaryNow()), out, access);
            if (!kept)
                throw EFCreateError(
                    text(msg::kCannotCreate).arg(QFileInfo(kept.Path).absoluteFilePath()));
            FKeptOwnBeside = FReportedDamaged;
            FKeptOwnHash = hash;
            notices << text(msg::kChangedUnreadable) + crLf() + QFileInfo(path).absoluteFilePath()
                    + crLf() + (unreadable.isEmpty() ? QString() : unreadable + crLf())
                    + text(msg::kOwnVersionKept) + crLf() + QFileInfo(kept.Path).absoluteFilePath();
        }
        FModified = false;
        FModifiedByLoad = false;
        emit Saved();
        showNotices();
        return TSaveOutcome::KeptAside;
    }

    // Written beside the old file and renamed over it, so a failed write leaves the old file.
    // Whatever stands there that is no plain file (a folder, a pipe, a link) is not the diary's
    // to replace.
    // A year file linked in from elsewhere (a synced folder) is written there; the link stays.
    const QString target = WriteTargetOf(path);
    TFileWrite written = ReplaceFile(target, out, access);
    if (!written && noNewFiles(written) && backedUp && existing.isFile()) {
        // A folder that takes no new files, around a year file that may be written: with the
        // previous text whole in the backup, the year file is written in place.
        written = OverwriteInPlace(target, out, access, QByteArrayView(*onDisk));
    }
    if (!written)
        throw EFCreateError(text(msg::kCannotCreate).arg(QFileInfo(path).absoluteFilePath()));
    // Left by a save that was killed halfway; a sync tool would carry them everywhere.
    RemoveLeftoverTemporaries(target);
    RemoveLeftoverTemporaries(BackupPathOf(path));
    FDisk = StatFile(path);
    FDisk.Hash = HashBytes(out);
    FHistory.Wrote(contents);
    FReportedDamaged = TFileIdentity();
    FModified = false;
    FModifiedByLoad = false;
    emit Saved();
    if (verdict == TDiskVerdict::Other)
        emit Merged();
    showNotices();
    return verdict == TDiskVerdict::Other ? TSaveOutcome::Merged : TSaveOutcome::Saved;
}

TFileAccess TKivDiary::AccessForSave(const QString &path) const
{
    // Another program's version may have come more open than the year file the diary last saw,
    // or in a mode the diary cannot read: its text and copies take the mode and group of that
    // year file as the diary last saw it.
    if (FDisk.Exists)
        return { FDisk.Mode, FDisk.Group };
    return AccessOfDiaryFile(path);
}

TKivDiary::TDiskVerdict TKivDiary::VerifyBeforeSave(const QString &path,
    std::optional<QByteArray> &onDisk, QString &unreadable, std::optional<TYearRead> &other,
    TFileIdentity &seen)
{
    seen = StatFile(path);
    if (!seen.Exists)
        return TDiskVerdict::Ours;
    // Read even when unchanged: the backups are made of the bytes looked at here.
    try {
        onDisk = ReadWholeFile(path);
    } catch (const Exception &e) {
        if (seen.SameStat(FDisk))
            return TDiskVerdict::Ours; // the diary's own file, no longer readable to it
        unreadable = e.Message();
        FReportedDamaged = seen;
        return TDiskVerdict::Damaged;
    }
    if (seen.SameStat(FDisk))
        return TDiskVerdict::Ours;
    seen.Hash = HashBytes(*onDisk);
    if (FDisk.Exists && seen.Hash == FDisk.Hash && seen.Size == FDisk.Size) {
        // Touched or copied back unchanged: still the version this store holds.
        FDisk = seen;
        return TDiskVerdict::Ours;
    }
    try {
        other = ReadYearFile(*onDisk, FYear, DiaryNow().date().year());
    } catch (const Exception &e) {
        unreadable = e.Message();
        FReportedDamaged = seen;
        return TDiskVerdict::Damaged;
    }
    return TDiskVerdict::Other;
}

void TKivDiary::MakeDatedBackupOnce(
    const QByteArray &bytes, const TFileAccess &access, QStringList &notices)
{
    const QDate today = DiaryNow().date();
    if (MakeDatedBackup(FBaseDir, FPrefix, FYear, FExt, today, bytes, access))
        return;
    // A backup is a safety net, not a reason to refuse the save; saying so once is enough.
    const QString target = DatedBackupPath(FBaseDir, FPrefix, FYear, FExt, today);
    if (FReportedBackupFailures.contains(target))
        return;
    FReportedBackupFailures << target;
    notices << text(msg::kBackupFailed) + crLf() + target;
}

TKivDiary::TDiskChange TKivDiary::CheckFile()
{
    if (!FActive || FBusy > 0)
        return TDiskChange::None;
    const QString path = FilePath();
    TFileIdentity seen = StatFile(path);
    if (seen.SameStat(FDisk))
        return TDiskChange::None;
    if (!seen.Exists)
        return FDisk.Exists ? TDiskChange::Removed : TDiskChange::None;
    if (seen.SameStat(FReportedDamaged))
        return TDiskChange::None;
    try {
        seen.Hash = HashBytes(ReadWholeFile(path));
    } catch (...) {
        // Unreadable now: a reload will say so.
        return TDiskChange::Changed;
    }
    if (FDisk.Exists && seen.Hash == FDisk.Hash && seen.Size == FDisk.Size) {
        FDisk = seen;
        return TDiskChange::None;
    }
    return TDiskChange::Changed;
}

bool TKivDiary::ReloadFile()
{
    if (!FActive || FBusy > 0)
        return false;
    const QString path = FilePath();
    TFileIdentity seen = StatFile(path);
    QString failure;
    {
        TBusyScope busy(FBusy);
        QStringList messages;
        try {
            const QByteArray data = ReadWholeFile(path);
            seen.Hash = HashBytes(data);
            // What the store holds stays until the other version has been read whole.
            TYearRead read = ReadYearFile(data, FYear, DiaryNow().date().year());
            // Through the door: what the store saved that the other version lacks was never
            // seen there, and stays, unsaved, for the next save to write back.
            SortDays();
            TYearMerge merge
                = MergeYears(FHistory, Contents(), read.Contents, FHistory.Known(read.Contents));
            const bool kept = !(merge.Contents == read.Contents);
            FHistory.GaveWay(Contents(), merge);
            FHistory.Read(read.Contents, true);
            TakeContents(std::move(merge.Contents));
            if (kept) {
                FModified = true;
                FModifiedByLoad = false;
            }
            if (!merge.KeptDays.empty()) {
                messages << text(msg::kReloadKeptDays) + crLf() + path + crLf()
                        + DescribeChangedDays(merge.KeptDays);
            }
            messages << read.Messages;
        } catch (const Exception &e) {
            failure = e.Message();
        } catch (const std::exception &e) {
            failure = QString::fromLocal8Bit(e.what());
        } catch (...) {
            failure = text(msg::kBadData);
        }
        if (failure.isEmpty()) {
            FLoadError.clear();
            FDisk = seen;
            FReportedDamaged = TFileIdentity();
            for (const QString &message : messages)
                ShowDiaryMessage(message);
        }
    }
    if (!failure.isEmpty()) {
        if (seen.SameStat(FReportedDamaged))
            return false;
        // With nothing unsaved, the shown version would stand in memory only, and any end of
        // the program would lose it: it goes into a conflict file at once, which the save of a
        // year file that no longer reads makes and names.
        if (!Unsaved() && FLoadError.isEmpty()) {
            try {
                SaveFile();
                return false;
            } catch (...) {
                // Not kept in a file: it stays shown, and the message says so.
            }
        }
        FReportedDamaged = seen;
        ShowDiaryMessage(text(msg::kChangedUnreadable) + crLf() + path + crLf() + failure + crLf()
            + text(msg::kShownVersionKept));
        return false;
    }
    emit Reloaded();
    return true;
}
