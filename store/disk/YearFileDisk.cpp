#include "YearFileDisk.h"

#include "Backups.h"
#include "Exceptions.h"
#include "FileReader.h"
#include "Messages.h"
#include "Services.h"
#include "Text.h"

#include <QFileInfo>
#include <algorithm>
#include <iterator>

namespace {

QString crLf() { return QStringLiteral("\r\n"); }

} // namespace

void TYearFileDisk::Forget(const QString &memoryPath)
{
    FDisk = TFileIdentity();
    FMemory = TYearMemory();
    FMemoryPath = memoryPath;
    FReportedDamaged = TFileIdentity();
    if (memoryPath.isEmpty() || !QFileInfo(memoryPath).isFile())
        return;
    try {
        // A memory that does not read is started afresh: it only helps the merge.
        if (std::optional<TYearMemory> memory = ReadYearMemory(ReadWholeFile(memoryPath)))
            FMemory = std::move(*memory);
    } catch (const Exception &) {
    }
}

void TYearFileDisk::Agree(const TYearContents &contents, bool ownWrite)
{
    const QByteArray before = WriteYearMemory(FMemory);
    FMemory.Agree(contents, ownWrite);
    if (FMemoryPath.isEmpty())
        return;
    const QByteArray after = WriteYearMemory(FMemory);
    if (after == before)
        return;
    // Without it the merge knows less after a restart; the year's text is not at stake.
    if (MakeFolders(QFileInfo(FMemoryPath).path()))
        (void)ReplaceFile(FMemoryPath, after, TFileAccess());
}

void TYearFileDisk::LookForOwnWriteSetAside(const QString &path, const QString &ext, int year)
{
    for (const QString &copy : ConflictCopiesOf(path, ext)) {
        try {
            const TYearRead read
                = ReadYearFile(ReadWholeFile(copy), year, DiaryNow().date().year());
            if (FMemory.NoteSetAside(read.Contents))
                return;
        } catch (const Exception &) {
        }
    }
}

std::optional<QByteArray> TYearFileDisk::Load(const QString &path)
{
    if (!QFileInfo::exists(path))
        return std::nullopt;
    TFileIdentity seen = StatFile(path);
    QByteArray data = ReadWholeFile(path);
    seen.Hash = HashBytes(data);
    FDisk = seen;
    return data;
}

TYearFileDisk::TSave TYearFileDisk::Save(const TYearFilePlace &place, TYearContents contents,
    bool dayNames, const QDateTime &now, const std::function<void(TYearContents &&merged)> &adopt)
{
    const QString &path = place.Path;
    TSave result;
    QStringList &notices = result.Notices;
    TLook look = LookBeforeSave(path, place.Year);
    const TFileAccess access = AccessForSave(path);
    if (look.Verdict == TVerdict::Other) {
        // Another diary (or a sync engine carrying one's save) wrote the year meanwhile: its
        // days come in beside the store's, and the store now holds what it read there. Should
        // the write fail, the next save then starts from that version.
        const TYearRead &other = *look.Other;
        LookForOwnWriteSetAside(path, place.Names.Ext, place.Year);
        TYearMerge merge
            = MergeYears(FMemory, contents, other.Contents, FMemory.ForYearFile(other.Contents));
        QString told;
        if (merge.HoldsBothTexts())
            told = Text(msg::kMergedBothTexts) + crLf() + path + crLf() + DescribeBothTexts(merge);
        std::vector<double> changed;
        std::set_difference(merge.ChangedDays.begin(), merge.ChangedDays.end(),
            merge.BothTextDays.begin(), merge.BothTextDays.end(), std::back_inserter(changed));
        if (!changed.empty()) {
            // One merge is one notice: the days taken from the other version follow the days
            // that hold both texts under the changed-days notice's own second line, and the
            // line that the year file was written elsewhere stands once.
            const QString changedNotice = Text(msg::kMergedChangedDays);
            told += told.isEmpty() ? changedNotice + crLf() + path + crLf()
                                   : crLf() + changedNotice.section(crLf(), 1) + crLf();
            told += DescribeChangedDays(changed);
        }
        if (!told.isEmpty())
            notices << told;
        notices << other.Messages;
        contents = merge.Contents;
        adopt(std::move(merge.Contents));
        Agree(other.Contents, false);
        // The other version's mode and group are not the year's: a save after a failed write
        // here keeps the access the year had.
        look.Seen.Mode = access.Mode;
        look.Seen.Group = access.Group.value_or(look.Seen.Group);
        FDisk = look.Seen;
    }
    const QFileInfo existing(path);
    bool backedUp = false;
    if (look.Verdict == TVerdict::Damaged) {
        // Nothing is copied from a file that is not the diary's any more: the .bak and the dated
        // backups keep versions the diary read or wrote.
    } else if (look.OnDisk) {
        backedUp = MakeBackupFile(path, *look.OnDisk, access);
        if (std::optional<QString> notice
            = MakeDatedBackupOnce(place, now.date(), *look.OnDisk, access))
            notices << *notice;
    } else if (!existing.exists()) {
        // Also for a year file that was deleted or moved away since it was read: it is written
        // again, and the notice asks nothing.
        notices << u'[' + QFileInfo(path).absoluteFilePath() + Text(msg::kCreateNoticeTail);
    }

    const QByteArray out = WriteYearFile(contents, place.Year, dayNames, DiaryWeekdayNames());

    if (look.Verdict == TVerdict::Damaged) {
        // The same text kept once beside the same damaged file needs no second copy.
        const size_t hash = HashBytes(out);
        if (!FKeptOwnBeside.SameStat(FReportedDamaged) || FKeptOwnHash != hash) {
            const TFileWrite kept = WriteUnderFreeName(ConflictPathBase(path, now), out, access);
            if (!kept)
                throw EFCreateError(
                    Text(msg::kCannotCreate).arg(QFileInfo(kept.Path).absoluteFilePath()));
            FKeptOwnBeside = FReportedDamaged;
            FKeptOwnHash = hash;
            notices << Text(msg::kChangedUnreadable) + crLf() + QFileInfo(path).absoluteFilePath()
                    + crLf() + (look.Unreadable.isEmpty() ? QString() : look.Unreadable + crLf())
                    + Text(msg::kOwnVersionKept) + crLf() + QFileInfo(kept.Path).absoluteFilePath();
        }
        result.Outcome = TYearSaveOutcome::KeptAside;
        return result;
    }

    // Written beside the old file and renamed over it, so a failed write leaves the old file.
    // Whatever stands there that is no plain file (a folder, a pipe, a link) is not the diary's
    // to replace.
    // A year file linked in from elsewhere (a synced folder) is written there; the link stays.
    const QString target = WriteTargetOf(path);
    TFileWrite written = ReplaceFile(target, out, access);
    if (written.NoNewFiles() && backedUp && existing.isFile()) {
        // A folder that takes no new files, around a year file that may be written: with the
        // previous text whole in the backup, the year file is written in place.
        written = OverwriteInPlace(target, out, access, QByteArrayView(*look.OnDisk));
    }
    if (!written)
        throw EFCreateError(Text(msg::kCannotCreate).arg(QFileInfo(path).absoluteFilePath()));
    // Left by a save that was killed halfway; a sync tool would carry them everywhere.
    RemoveLeftoverTemporaries(target);
    RemoveLeftoverTemporaries(BackupPathOf(path));
    // The sync engines' copies of the backups of two machines go into backup/ under names
    // that say what they are.
    TidyBackupCopies(place.BaseDir, place.Names.Prefix, place.Names.Ext);
    FDisk = StatFile(path);
    FDisk.Hash = HashBytes(out);
    Agree(contents, true);
    FReportedDamaged = TFileIdentity();
    result.Outcome
        = look.Verdict == TVerdict::Other ? TYearSaveOutcome::Merged : TYearSaveOutcome::Saved;
    return result;
}

std::optional<QString> TYearFileDisk::Rescue(
    const QString &path, const QByteArray &bytes, const QDateTime &now)
{
    const size_t hash = HashBytes(bytes);
    // A save tried again without a new edit names the same file.
    if (!FRescuedPath.isEmpty() && FRescuedHash == hash) {
        try {
            if (ReadWholeFile(FRescuedPath) == bytes)
                return FRescuedPath;
        } catch (const Exception &) {
        }
    }
    if (!MakeFolders(RescueFolder()))
        return std::nullopt;
    const TFileWrite kept
        = WriteUnderFreeName(RescuePathBase(path, now), bytes, AccessForSave(path));
    if (!kept)
        return std::nullopt;
    FRescuedPath = kept.Path;
    FRescuedHash = hash;
    return kept.Path;
}

TFileAccess TYearFileDisk::AccessForSave(const QString &path) const
{
    // Another program's version may have come more open than the year file the diary last saw,
    // or in a mode the diary cannot read: its text and copies take the mode and group of that
    // year file as the diary last saw it.
    if (FDisk.Exists)
        return { FDisk.Mode, FDisk.Group };
    return AccessOfDiaryFile(path);
}

TYearFileDisk::TLook TYearFileDisk::LookBeforeSave(const QString &path, int year)
{
    TLook look;
    look.Seen = StatFile(path);
    if (!look.Seen.Exists)
        return look;
    // Read even when unchanged: the backups are made of the bytes looked at here.
    try {
        look.OnDisk = ReadWholeFile(path);
    } catch (const Exception &e) {
        if (look.Seen.SameStat(FDisk))
            return look; // the diary's own file, no longer readable to it
        look.Unreadable = e.Message();
        FReportedDamaged = look.Seen;
        look.Verdict = TVerdict::Damaged;
        return look;
    }
    if (look.Seen.SameStat(FDisk))
        return look;
    look.Seen.Hash = HashBytes(*look.OnDisk);
    if (FDisk.Exists && look.Seen.Hash == FDisk.Hash && look.Seen.Size == FDisk.Size) {
        // Touched or copied back unchanged: still the version this store holds.
        FDisk = look.Seen;
        return look;
    }
    try {
        look.Other = ReadYearFile(*look.OnDisk, year, DiaryNow().date().year());
    } catch (const Exception &e) {
        look.Unreadable = e.Message();
        FReportedDamaged = look.Seen;
        look.Verdict = TVerdict::Damaged;
        return look;
    }
    look.Verdict = TVerdict::Other;
    return look;
}

std::optional<QString> TYearFileDisk::MakeDatedBackupOnce(
    const TYearFilePlace &place, QDate today, const QByteArray &bytes, const TFileAccess &access)
{
    const QString &prefix = place.Names.Prefix;
    const QString &ext = place.Names.Ext;
    if (MakeDatedBackup(place.BaseDir, prefix, place.Year, ext, today, bytes, access))
        return std::nullopt;
    // A backup is a safety net, not a reason to refuse the save; saying so once is enough.
    const QString target = DatedBackupPath(place.BaseDir, prefix, place.Year, ext, today);
    if (FReportedBackupFailures.contains(target))
        return std::nullopt;
    FReportedBackupFailures << target;
    return Text(msg::kBackupFailed) + crLf() + target;
}

TYearFileDisk::TChange TYearFileDisk::Check(const QString &path)
{
    TFileIdentity seen = StatFile(path);
    if (seen.SameStat(FDisk))
        return TChange::None;
    if (!seen.Exists)
        return FDisk.Exists ? TChange::Removed : TChange::None;
    if (seen.SameStat(FReportedDamaged))
        return TChange::None;
    try {
        seen.Hash = HashBytes(ReadWholeFile(path));
    } catch (...) {
        // Unreadable now: a reload will say so.
        return TChange::Changed;
    }
    if (FDisk.Exists && seen.Hash == FDisk.Hash && seen.Size == FDisk.Size) {
        FDisk = seen;
        return TChange::None;
    }
    return TChange::Changed;
}

void TYearFileDisk::TookIn(const TFileIdentity &seen)
{
    FDisk = seen;
    FReportedDamaged = TFileIdentity();
}
