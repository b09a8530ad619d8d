// The store's year file on disk: loading, saving and reloading it.
#include "DiskCopies.h"
#include "FileModes.h"
#include "KivDiary.h"
#include "Messages.h"
#include "Services.h"
#include "YearFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
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

QString backupPath(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    if (dot >= 0 && path.indexOf(u'/', dot) < 0)
        return path.left(dot) + QStringLiteral(".bak");
    return path + QStringLiteral(".bak");
}

// Writes 'data' over the plain file at 'path' without making a new file, for a folder that
// takes no new files. Nothing is cut off before the new text stands in full, so on a failure the
// previous bytes, when given, fit back into the room the file already has.
bool overwriteInPlace(const QString &path, QByteArrayView data,
    std::optional<QByteArrayView> previous = std::nullopt, const QString &modeOf = QString())
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return false;
    const auto writeWhole = [fd](QByteArrayView bytes) {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::pwrite(fd, bytes.data() + done,
                static_cast<size_t>(bytes.size() - done), static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0 && ::fsync(fd) == 0;
    };
    struct stat info { };
    const bool plain = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    const bool written = plain && (modeOf.isEmpty() || TakeModeOf(modeOf, fd)) && writeWhole(data);
    if (plain && !written && previous)
        (void)writeWhole(*previous);
    ::close(fd);
    return written;
}

// The backup is a courtesy: when it cannot be made the save goes on without it. Gives back the
// previous text when the backup holds it in full.
std::optional<QByteArray> makeBackup(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile old(path);
    if (!old.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray contents = old.readAll();
    if (old.error() != QFileDevice::NoError)
        return std::nullopt;
    const QString bak = backupPath(path);
    QSaveFile copy(bak);
    // Unbuffered: a buffered QSaveFile lets commit() succeed after a short write (a full disk),
    // which would rename a truncated file into place; unbuffered, write() reports it.
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        // No new file in this folder: an existing backup is written over instead.
        if (QFileInfo(bak).isFile() && overwriteInPlace(bak, contents, std::nullopt, path))
            return contents;
        return std::nullopt;
    }
    if (!TakeModeOf(path, copy.handle()) || copy.write(contents) != contents.size()) {
        copy.cancelWriting();
        return std::nullopt;
    }
    if (!copy.commit())
        return std::nullopt;
    return contents;
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
            read = ReadYearFile(data, FYear);
        }
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

void TKivDiary::SaveFile()
{
    if (!FActive)
        throw EKivDiaryError(text(msg::kNotActive));
    // A year whose file could not be read is never written over that file.
    if (!FLoadError.isEmpty()) {
        FModified = false;
        return;
    }
    SortDays();

    const QString path = FilePath();
    TBusyScope busy(FBusy);
    QByteArray onDisk;
    const TDiskVerdict verdict = VerifyBeforeSave(path, onDisk);
    // A version that arrived more open than the year file the diary read gets no wider
    // permissions in its copies than that year file had.
    QFileDevice::Permissions kept = CopyPermissions(path);
    if (FDisk.Exists)
        kept &= PermissionsOfMode(FDisk.Mode);
    QString otherKept;
    if (verdict == TDiskVerdict::Other) {
        otherKept = FreeConflictPath(path, DiaryNow());
        if (!WriteFileWithPermissions(otherKept, onDisk, kept))
            throw EFCreateError(text(msg::kCannotCreate).arg(otherKept));
    }
    const QFileInfo existing(path);
    std::optional<QByteArray> previous;
    if (verdict == TDiskVerdict::Damaged) {
        // Nothing is copied from a file that is not the diary's any more.
    } else if (existing.exists()) {
        previous = makeBackup(path);
        MakeDatedBackupOnce();
    } else {
        // Also for a year file that was deleted or moved away since it was read: it is written
        // again, and the notice asks nothing.
        ShowDiaryMessage(u'[' + path + text(msg::kCreateNoticeTail));
    }

    const QByteArray out = WriteYearFile(Contents(), FYear, FDayName);

    if (verdict == TDiskVerdict::Damaged) {
        const QString ownKept = FreeConflictPath(path, DiaryNow());
        if (!WriteFileWithPermissions(ownKept, out, kept))
            throw EFCreateError(text(msg::kCannotCreate).arg(ownKept));
        FModified = false;
        FModifiedByLoad = false;
        ShowDiaryMessage(text(msg::kChangedUnreadable) + crLf() + path + crLf()
            + text(msg::kOwnVersionKept) + crLf() + ownKept);
        return;
    }

    // Written beside the old file and renamed over it, so a failed write leaves the old file.
    // Whatever stands there that is no plain file (a folder, a pipe, a link to a device) is not
    // the diary's to replace: QSaveFile follows a link and would rename its file over a device.
    const bool replaceable = !existing.exists() || existing.isFile();
    QSaveFile file(path);
    bool written = false;
    if (replaceable && file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        written = file.write(out) == out.size() && file.commit();
        if (!written)
            file.cancelWriting();
    } else if (replaceable && previous) {
        // A folder that takes no new files, around a year file that may be written: with the
        // previous text whole in the backup, the year file is written in place.
        written = overwriteInPlace(path, out, *previous);
    }
    if (!written)
        throw EFCreateError(text(msg::kCannotCreate).arg(path));
    FDisk = StatFile(path);
    FDisk.Hash = HashBytes(out);
    FReportedDamaged = TFileIdentity();
    FModified = false;
    FModifiedByLoad = false;
    if (!otherKept.isEmpty())
        ShowDiaryMessage(text(msg::kOtherVersionKept) + crLf() + otherKept);
    emit Saved();
}

TKivDiary::TDiskVerdict TKivDiary::VerifyBeforeSave(const QString &path, QByteArray &onDisk)
{
    TFileIdentity seen = StatFile(path);
    if (!seen.Exists || seen.SameStat(FDisk))
        return TDiskVerdict::Ours;
    try {
        onDisk = ReadWholeFile(path);
    } catch (const Exception &) {
        FReportedDamaged = seen;
        return TDiskVerdict::Damaged;
    }
    seen.Hash = HashBytes(onDisk);
    if (FDisk.Exists && seen.Hash == FDisk.Hash && seen.Size == FDisk.Size) {
        // Touched or copied back unchanged: still the version this store holds.
        FDisk = seen;
        return TDiskVerdict::Ours;
    }
    try {
        CheckYearFileHeader(onDisk, FYear);
    } catch (const Exception &) {
        FReportedDamaged = seen;
        return TDiskVerdict::Damaged;
    }
    return TDiskVerdict::Other;
}

void TKivDiary::MakeDatedBackupOnce()
{
    const QDate today = DiaryNow().date();
    if (MakeDatedBackup(FBaseDir, FPrefix, FYear, FExt, today))
        return;
    // A backup is a safety net, not a reason to refuse the save; saying so once is enough.
    const QString target = DatedBackupPath(FBaseDir, FPrefix, FYear, FExt, today);
    if (FReportedBackupFailures.contains(target))
        return;
    FReportedBackupFailures << target;
    ShowDiaryMessage(text(msg::kBackupFailed) + crLf() + target);
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
            TYearRead read = ReadYearFile(data, FYear);
            TakeContents(std::move(read.Contents));
            messages.swap(read.Messages);
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
        if (!seen.SameStat(FReportedDamaged)) {
            FReportedDamaged = seen;
            ShowDiaryMessage(text(msg::kChangedUnreadable) + crLf() + path + crLf() + failure
                + crLf() + text(msg::kShownVersionKept));
        }
        return false;
    }
    emit Reloaded();
    return true;
}
