// The store's year file on disk: loading, saving and reloading it.
#include "CommandLine.h"
#include "DayTexts.h"
#include "DiskCopies.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "Messages.h"
#include "Services.h"
#include "Text.h"
#include "YearFile.h"

#include <QDir>
#include <QFileInfo>
#include <map>
#include <optional>
#include <set>
#include <utility>

namespace {

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
        lines << Text(msg::kBothPreambles);
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
        throw EKivDiaryError(Text(msg::kNotActive));
    FContents.ErrorData.clear();
    FContents.Settings.clear();
    FLoadError.clear();
    FModifiedByLoad = false;
    FDiskFile.Forget(MemoryPath());
    std::optional<TBusyScope> busy(std::in_place, FBusy);
    try {
        const QString path = FilePath();
        TYearRead read;
        if (const std::optional<QByteArray> data = FDiskFile.Load(path))
            read = ReadYearFile(*data, FYear, DiaryNow().date().year());
        // A year file that moved on since this machine last read or wrote it is taken in as a
        // window left open would have: through the door, against the version this machine
        // last held (a sync engine may have set that one aside while the program was closed).
        TYearContents contents = read.Contents;
        bool kept = false;
        const TYearMemory &memory = FDiskFile.Memory();
        if (!memory.Versions.empty() && !(memory.Agreed() == read.Contents)) {
            FDiskFile.LookForOwnWriteSetAside(path, FExt, FYear);
            TYearMerge merge = MergeYears(
                memory, memory.Agreed(), read.Contents, memory.ForYearFile(read.Contents));
            kept = !merge.KeptDays.empty()
                || !SameText(merge.Contents.Preamble, read.Contents.Preamble)
                || !SameText(merge.Contents.ErrorData, read.Contents.ErrorData);
            if (!merge.KeptDays.empty()) {
                read.Messages << Text(msg::kReloadKeptDays) + crLf() + path + crLf()
                        + DescribeChangedDays(merge.KeptDays);
            }
            if (kept)
                contents = std::move(merge.Contents);
        }
        // The year file as the sync engine left it: the base of its next version.
        FDiskFile.Agree(read.Contents, false);
        TakeContents(std::move(contents));
        if (kept) {
            FModified = true;
            FModifiedByLoad = false;
        }
        for (const QString &message : read.Messages)
            ShowDiaryMessage(message);
    } catch (const std::exception &e) {
        FLoadError = ExceptionMessage(e);
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
            const QString days = unsavedDays(FDiskFile.Memory().Agreed(), Contents());
            throw EFCreateError(e.Message() + crLf() + Text(msg::kKeptInProcessOnly)
                + (days.isEmpty() ? QString() : crLf() + days));
        }
        throw EFCreateError(e.Message() + crLf() + Text(msg::kSavedInstead) + crLf() + *rescued);
    }
}

std::optional<QString> TKivDiary::RescueYear()
{
    return FDiskFile.Rescue(
        FilePath(), WriteYearFile(Contents(), FYear, FDayName, DiaryWeekdayNames()), DiaryNow());
}

TYearFilePlace TKivDiary::Place() const
{
    return { FilePath(), FBaseDir, { FPrefix, FExt }, FYear };
}

TKivDiary::TSaveOutcome TKivDiary::WriteYearFileInPlace()
{
    if (!FActive)
        throw EKivDiaryError(Text(msg::kNotActive));
    // A year whose file could not be read is never written over that file.
    if (!FLoadError.isEmpty()) {
        FModified = false;
        return TSaveOutcome::NeverWritten;
    }
    SortDays();

    TBusyScope busy(FBusy);
    if (FolderGuard && !FolderGuard(FullFolderPath(FBaseDir)))
        throw EKivDiaryError(Text(msg::kFolderHeldElsewhere) + crLf() + FullFolderPath(FBaseDir));
    // Another diary's folder put at the path gets nothing of this one.
    if (!FolderIsThisDiary())
        throw EKivDiaryError(Text(msg::kOtherDiaryAtPath) + crLf() + FullFolderPath(FBaseDir));
    const TYearFileDisk::TSave save
        = FDiskFile.Save(Place(), Contents(), FDayName, DiaryNow(), [this](TYearContents &&merged) {
              TakeContents(std::move(merged));
              FModified = true;
              FModifiedByLoad = false;
          });
    FModified = false;
    FModifiedByLoad = false;
    emit Saved();
    if (save.Outcome == TSaveOutcome::Merged)
        emit Merged();
    // What the save has to say comes once the year file is written.
    for (const QString &notice : save.Notices)
        ShowDiaryMessage(notice);
    return save.Outcome;
}

TKivDiary::TDiskChange TKivDiary::CheckFile()
{
    if (!FActive || FBusy > 0)
        return TDiskChange::None;
    return FDiskFile.Check(FilePath());
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
            FDiskFile.LookForOwnWriteSetAside(path, FExt, FYear);
            const TYearMemory &memory = FDiskFile.Memory();
            TYearMerge merge
                = MergeYears(memory, Contents(), read.Contents, memory.ForYearFile(read.Contents));
            const bool kept = !(merge.Contents == read.Contents);
            FDiskFile.Agree(read.Contents, false);
            TakeContents(std::move(merge.Contents));
            if (kept) {
                FModified = true;
                FModifiedByLoad = false;
            }
            if (!merge.KeptDays.empty()) {
                messages << Text(msg::kReloadKeptDays) + crLf() + path + crLf()
                        + DescribeChangedDays(merge.KeptDays);
            }
            messages << read.Messages;
        } catch (const std::exception &e) {
            failure = ExceptionMessage(e);
        } catch (...) {
            failure = Text(msg::kBadData);
        }
        if (failure.isEmpty()) {
            FLoadError.clear();
            FDiskFile.TookIn(seen);
            for (const QString &message : messages)
                ShowDiaryMessage(message);
        }
    }
    if (!failure.isEmpty()) {
        if (FDiskFile.WasReported(seen))
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
        FDiskFile.Reported(seen);
        ShowDiaryMessage(Text(msg::kChangedUnreadable) + crLf() + path + crLf() + failure + crLf()
            + Text(msg::kShownVersionKept));
        return false;
    }
    emit Reloaded();
    return true;
}

QString TKivDiary::MemoryPath() const
{
    if (FBaseDir.isEmpty() && FFileName.isEmpty())
        return QString();
    return DiaryMemoryFolder(FMemoryRoot, FIdentity, FullFolderPath(FBaseDir)) + FFileName
        + QLatin1String(".memory");
}

bool TKivDiary::FolderIsThisDiary()
{
    if (FIdentity.isEmpty())
        return true;
    const QString folder = FullFolderPath(FBaseDir);
    const QByteArray now = DiaryIdentityOf(folder);
    if (now == FIdentity)
        return true;
    if (now.isEmpty()) {
        // Its identity file removed, or a folder put at the path that names no diary (a new
        // one, or one an older version kept): given this diary's identity.
        (void)NameDiaryFolder(folder, FIdentity);
        return true;
    }
    // Two machines that named the same folder at once: the sync engine kept the other's name.
    // The year file still as this store last read or wrote it shows the same diary.
    if (FolderEntry(folder) == FFolderAtOpen
        && FDiskFile.Check(FilePath()) == TYearFileDisk::TChange::None) {
        FIdentity = now;
        FDiskFile.KeepMemoryAt(MemoryPath());
        return true;
    }
    return false;
}
