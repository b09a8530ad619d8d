#include "KivDiary.h"

#include "CommandLine.h"
#include "Cp932.h"
#include "DayNumber.h"
#include "LineBreaks.h"
#include "Messages.h"
#include "Services.h"
#include "SettingValues.h"
#include "Text.h"
#include "YearFileName.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace {

// The escaping of day texts protects lines after CR LF only, so every other line break is made
// one before a text is compared or stored.
QByteArray toCrLf(const QByteArray &value)
{
    const char *const begin = value.constData();
    const char *const end = begin + value.size();
    if (linebreaks::OnlyCrLf(begin, end))
        return value;
    QByteArray out;
    out.reserve(value.size() + value.size() / 8 + 2);
    for (const char *p = begin; p < end; ++p) {
        if (*p == '\r') {
            out += "\r\n";
            if (p + 1 < end && p[1] == '\n')
                ++p;
        } else if (*p == '\n') {
            out += "\r\n";
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace

std::function<bool(const QString &folder)> TKivDiary::FolderGuard;

TKivDiary::TKivDiary(QObject *owner)
    : QObject(owner)
{
    SetYear(1900);
}

TKivDiary::~TKivDiary() { FinalSave(); }

bool TKivDiary::FinalSave()
{
    // Made by the destructor too, which must not throw: a final save that fails is reported
    // instead, naming the file and the reason, so the user knows the edits of this year were
    // not written.
    const auto report = [this](const QString &reason) {
        ShowDiaryMessage(Text(msg::kFinalSaveFailed) + QStringLiteral("\r\n")
            + QFileInfo(FilePath()).absoluteFilePath() + QStringLiteral("\r\n") + reason);
    };
    bool saved = false;
    try {
        SaveWhenDue();
        saved = true;
    } catch (const std::exception &e) {
        report(ExceptionMessage(e));
    }
    FAutoSave = false;
    return saved;
}

QByteArray TKivDiary::GetDayText(double date)
{
    CheckDayAccess(date);
    const int i = IndexOfDate(date);
    return i < 0 ? QByteArray() : FContents.Days[static_cast<size_t>(i - 1)].FText;
}

void TKivDiary::SetDayText(double date, const QByteArray &value)
{
    // An edit is unsaved also in a year whose load marked it modified.
    if (StoreDayText(date, toCrLf(value)))
        FModifiedByLoad = false;
}

bool TKivDiary::StoreDayText(double date, const QByteArray &normalized)
{
    CheckDayAccess(date);
    const int i = IndexOfDate(date);
    if (i < 0) {
        if (normalized.isEmpty())
            return false;
        FContents.Days.emplace_back(normalized, std::floor(date));
        FModified = true;
        return true;
    }
    TDayText &day = FContents.Days[static_cast<size_t>(i - 1)];
    if (day.FText == normalized)
        return false;
    if (normalized.isEmpty())
        FContents.Days.erase(FContents.Days.begin() + (i - 1));
    else
        day.FText = normalized;
    FModified = true;
    return true;
}

QByteArray TKivDiary::GetSetting(const QByteArray &name) const
{
    const qsizetype i = IndexOfSetting(name);
    if (i < 0)
        return QByteArray();
    return FContents.Settings[i].mid(name.size() + 1);
}

void TKivDiary::SetSetting(const QByteArray &name, const QByteArray &value)
{
    QByteArray line = name + '=' + value;
    const qsizetype i = IndexOfSetting(name);
    if (i < 0)
        FContents.Settings.append(std::move(line));
    else
        FContents.Settings[i] = std::move(line);
}

void TKivDiary::MarkModified()
{
    FModified = true;
    FModifiedByLoad = false;
}

void TKivDiary::CheckFolder(const QString &baseDir)
{
    if (!baseDir.isEmpty() && !QFileInfo(baseDir).isDir())
        throw EKivDiaryError(Text(msg::kNoFolder));
}

void TKivDiary::Open()
{
    CheckFolder(FBaseDir);
    // Opening a store that still holds a year (opened twice, or closed and opened again) would
    // stack a second preamble onto the entries: drop them first, as the year switch does,
    // saving them first when that is due.
    if (FLoaded || !FLoadError.isEmpty()) {
        SaveWhenDue();
        FModified = false;
        ClearDays();
    }
    FActive = true;
    // Which diary the folder holds: what this machine knows of its years is found by it.
    FIdentity = ClaimDiaryIdentity(FullFolderPath(FBaseDir), FPrefix, FExt);
    FFolderAtOpen = FolderEntry(FullFolderPath(FBaseDir));
    LoadFile();
}

void TKivDiary::Close()
{
    SaveWhenDue();
    FActive = false;
}

int TKivDiary::IndexOfDate(double date) const
{
    const double day = std::floor(date);
    // Entry 0 is the preamble.
    for (size_t i = 0; i < FContents.Days.size(); ++i) {
        if (FContents.Days[i].FDate == day)
            return static_cast<int>(i + 1);
    }
    return -1;
}

void TKivDiary::SortDays()
{
    std::sort(FContents.Days.begin(), FContents.Days.end(),
        [](const TDayText &a, const TDayText &b) { return std::floor(a.FDate - b.FDate) < 0; });
}

void TKivDiary::SetBaseDir(const QString &value)
{
    if (FActive)
        throw EKivDiaryError(Text(msg::kBaseDirActive));
    FBaseDir = value;
    if (!FBaseDir.isEmpty() && !FBaseDir.endsWith(u'/'))
        FBaseDir += u'/';
}

void TKivDiary::SetPrefix(const QString &value)
{
    if (FActive)
        throw EKivDiaryError(Text(msg::kPrefixActive));
    FPrefix = value;
    RecomputeFileName();
}

void TKivDiary::SetExt(const QString &value)
{
    if (FActive)
        throw EKivDiaryError(Text(msg::kExtActive));
    FExt = value;
    if (!FExt.isEmpty() && !FExt.startsWith(u'.'))
        FExt.prepend(u'.');
    RecomputeFileName();
}

void TKivDiary::SetYear(int value) { SwitchYear(value); }

void TKivDiary::SetFileName(const QString &value)
{
    if (FActive)
        throw EKivDiaryError(Text(msg::kFileNameActive));
    FFileName = value;
}

void TKivDiary::SetActive(bool value)
{
    if (value)
        Open();
    else
        Close();
}

void TKivDiary::SwitchYear(int year)
{
    if (year < 1900)
        throw EAbnormalYear(Text(msg::kAbnormalYear));
    if (year == FYear)
        return;
    SaveWhenDue();
    FModified = false;
    ClearDays();
    FYear = year;
    RecomputeFileName();
    if (FActive)
        LoadFile();
}

void TKivDiary::SwitchToYearOf(double date)
{
    // A date beyond the calendar has no year; it is refused like a year below 1900.
    if (!std::isfinite(date) || std::fabs(date) > 3.0e6)
        throw EAbnormalYear(Text(msg::kAbnormalYear));
    const int year = DayNumberToDate(date).year();
    if (year != FYear)
        SwitchYear(year);
}

void TKivDiary::CheckDayAccess(double date)
{
    if (!FActive)
        throw EKivDiaryError(Text(msg::kNotActive));
    SwitchToYearOf(date);
    // A year whose file could not be read holds no preamble; storing a day there would put it
    // where the preamble belongs, and saving would overwrite the file with next to nothing.
    if (!FLoadError.isEmpty())
        throw EKivDiaryError(FLoadError);
}

TKivDiary::TSaveOutcome TKivDiary::SaveWhenDue()
{
    if (!FAutoSave || !FModified || !FActive)
        return TSaveOutcome::NothingDue;
    return WriteYear();
}

void TKivDiary::RecomputeFileName() { FFileName = TYearFileName { FPrefix, FExt }.Of(FYear); }

void TKivDiary::ClearDays()
{
    FContents.Preamble.clear();
    FContents.Days.clear();
    FLoaded = false;
    FLoadError.clear();
}

void TKivDiary::TakeContents(TYearContents &&contents)
{
    // Nothing here throws.
    FContents = std::move(contents);
    FLoaded = true;
    FModified = !FContents.ErrorData.isEmpty();
    FModifiedByLoad = FModified;
}

TYearContents TKivDiary::OwnForMerge()
{
    if (!FActive)
        throw EKivDiaryError(Text(msg::kNotActive));
    if (!FLoadError.isEmpty())
        throw EKivDiaryError(FLoadError);
    SortDays();
    return Contents();
}

bool TKivDiary::HoldsVersion(const TYearContents &other)
{
    const TYearContents own = OwnForMerge();
    // A copy of this machine's own write was set aside by a sync engine: the year file's next
    // version did not grow from it.
    FDiskFile.Memory().NoteSetAside(other);
    const TYearMemory &memory = FDiskFile.Memory();
    return MergeYears(memory, own, other, memory.ForCopy(other)).Contents == own;
}

TYearMerge TKivDiary::TakeInVersion(const TYearContents &other, const TOtherVersion &known)
{
    TYearContents own = OwnForMerge();
    TYearMerge merge = MergeYears(FDiskFile.Memory(), own, other, known);
    // Once taken in, its texts are ones the year moved on from: taken in again, they add nothing.
    FDiskFile.Saw(other);
    if (merge.Contents == own)
        return merge;
    TakeContents(TYearContents(merge.Contents));
    // What came in is unsaved, like an edit.
    FModified = true;
    FModifiedByLoad = false;
    emit Merged();
    return merge;
}

TYearMerge TKivDiary::TakeInCopy(const TYearContents &copy)
{
    (void)OwnForMerge();
    FDiskFile.Memory().NoteSetAside(copy);
    return TakeInVersion(copy, FDiskFile.Memory().ForCopy(copy));
}

qsizetype TKivDiary::IndexOfSetting(const QByteArray &name) const
{
    for (qsizetype i = 0; i < FContents.Settings.size(); ++i) {
        const QByteArray &line = FContents.Settings[i];
        if (cp932::IndexOf(line, '=') < 0)
            continue;
        if (SameSettingName(SettingName(line), name))
            return i;
    }
    return -1;
}
