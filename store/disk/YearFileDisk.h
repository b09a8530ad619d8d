#pragma once

#include "DiskCopies.h"
#include "FileWriter.h"
#include "YearFile.h"
#include "YearFileName.h"
#include "YearMerge.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// What a save of a year file did.
enum class TYearSaveOutcome {
    // AutoSave off, nothing modified or the store inactive.
    NothingDue,
    // The year file holds the store's version.
    Saved,
    // Another version had come to the disk since the store last read or wrote the file: the
    // year file holds the two merged by day, and so does the store.
    Merged,
    // The year file did not read any more: the store's version is in a conflict file.
    KeptAside,
    // The year's file could not be read when it was loaded, so it is never written.
    NeverWritten,
};

// Where a year file lies: its path, its data folder (for the dated backups) and the names of
// the folder's year files.
struct TYearFilePlace {
    QString Path;
    QString BaseDir;
    TYearFileName Names;
    int Year = 0;
};

// One year file as a diary keeps track of it on disk: what the file was when the diary last
// read or wrote it, what the diary knows of the year's earlier texts there (the base of every
// merge), the damaged version it reported already and the copies it made of its own text beside
// it. Its save writes the year file, the .bak and the dated backup, and returns what it did and
// what it has to say; it shows nothing itself.
class TYearFileDisk {
public:
    struct TSave {
        TYearSaveOutcome Outcome = TYearSaveOutcome::Saved;
        // To be shown once the save is over: a message box lets events and other programs run,
        // and nothing they do to the file may fall between the last look at the disk and the
        // write that relies on it.
        QStringList Notices;
    };
    enum class TChange { None, Changed, Removed };

    // What this machine knows of the year: the versions of its file it agreed with, the texts
    // it held. Kept at 'memoryPath' (given to Forget) from run to run.
    const TYearMemory &Memory() const { return FMemory; }
    TYearMemory &Memory() { return FMemory; }
    // The year file read ('ownWrite' false) or written: the base of its next version. The
    // memory is kept on disk at once.
    void Agree(const TYearContents &contents, bool ownWrite);
    // The texts of a version taken in are held (kept on disk with the next agreement).
    void Saw(const TYearContents &contents) { FMemory.Saw(contents); }
    // Before the merge with the year file's next version at path: a conflict copy beside it
    // that holds one of this machine's writes tells that the next version was chosen over it.
    void LookForOwnWriteSetAside(const QString &path, const QString &ext, int year);

    // The memory kept at another path from now on (the diary's identity changed).
    void KeepMemoryAt(const QString &memoryPath)
    {
        FMemoryPath = memoryPath;
        Agree(FMemory.Agreed(), !FMemory.Versions.empty() && FMemory.Versions.back().OwnWrite);
    }
    // A year about to be read afresh: nothing is known of its file but what the memory at
    // 'memoryPath' holds (nothing when empty).
    void Forget(const QString &memoryPath);
    // The bytes of the year file at path, nothing when no file is there; the file's identity is
    // taken before the read, so a change during the read shows as a change later. Throws what
    // ReadWholeFile throws.
    std::optional<QByteArray> Load(const QString &path);

    // Writes 'contents' to the year file after a look at what stands there now. A version
    // written elsewhere meanwhile is merged with it by day; 'adopt' gets the merge before
    // anything is written, so the store holds it even when the write then fails. A file that no
    // longer reads as the year's is left as it is, 'contents' going into a conflict file beside
    // it. Throws EFCreateError when the year file (or that conflict file) cannot be written.
    TSave Save(const TYearFilePlace &place, TYearContents contents, bool dayNames,
        const QDateTime &now, const std::function<void(TYearContents &&merged)> &adopt);
    // Writes 'bytes', the whole year, into a file of the user's own when the year file cannot
    // be written; a rescue tried again with the same bytes names the same file. The path, or
    // nothing when no file took it.
    std::optional<QString> Rescue(
        const QString &path, const QByteArray &bytes, const QDateTime &now);

    // Compares the file at path with what the diary last read or wrote there.
    TChange Check(const QString &path);
    // A version read in place of the diary's ('seen' with the hash of its bytes).
    void TookIn(const TFileIdentity &seen);
    // A version at path that did not read, and was reported (or is to be reported no more).
    bool WasReported(const TFileIdentity &seen) const { return seen.SameStat(FReportedDamaged); }
    void Reported(const TFileIdentity &seen) { FReportedDamaged = seen; }

private:
    enum class TVerdict { Ours, Other, Damaged };
    struct TLook {
        TVerdict Verdict = TVerdict::Ours;
        std::optional<QByteArray> OnDisk;
        QString Unreadable;
        // For Other: that version as read, and its identity.
        std::optional<TYearRead> Other;
        TFileIdentity Seen;
    };
    TLook LookBeforeSave(const QString &path, int year);
    TFileAccess AccessForSave(const QString &path) const;
    // Today's dated backup of 'bytes'; the notice when it cannot be made, once per backup.
    std::optional<QString> MakeDatedBackupOnce(const TYearFilePlace &place, QDate today,
        const QByteArray &bytes, const TFileAccess &access);

    // The year file as last read or written, and a changed version that did not read and was
    // reported already.
    TFileIdentity FDisk;
    TYearMemory FMemory;
    QString FMemoryPath;
    TFileIdentity FReportedDamaged;
    // The diary's own version kept beside that damaged file, by the hash of its bytes.
    TFileIdentity FKeptOwnBeside;
    size_t FKeptOwnHash = 0;
    QStringList FReportedBackupFailures;
    // The last file the year was rescued to, and the hash of what it holds.
    QString FRescuedPath;
    size_t FRescuedHash = 0;
};
