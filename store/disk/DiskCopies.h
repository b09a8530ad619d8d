#pragma once

#include "Backups.h"
#include "FileWriter.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What a year file on disk was when the diary last read or wrote it, and the copies the diary
// keeps beside it: conflict files (another program's version, or the diary's own when the file
// on disk no longer reads) and dated backups in backup/ below the data folder.

struct TFileIdentity {
    bool Exists = false;
    qint64 Size = 0;
    qint64 MTimeNs = 0;
    // No user tool sets the change time back, as cp -p, rsync -t and touch -r do the
    // modification time.
    qint64 CTimeNs = 0;
    quint64 Device = 0;
    quint64 Inode = 0;
    unsigned Mode = 0; // permission bits
    unsigned Group = 0;
    size_t Hash = 0; // of the bytes

    // The same file system entry, unchanged as far as the file system tells.
    bool SameStat(const TFileIdentity &other) const
    {
        return Exists == other.Exists
            && (!Exists
                || (Size == other.Size && MTimeNs == other.MTimeNs && CTimeNs == other.CTimeNs
                    && Device == other.Device && Inode == other.Inode));
    }
};

// The identity of the file at path without its hash; Exists is false for anything that is no
// plain file.
TFileIdentity StatFile(const QString &path);
// Tells versions of a file apart within one run; never stored.
size_t HashBytes(const QByteArray &bytes);

// "2026.jnl.conflict-20261208-221530" beside the year file; the file writer adds "-2", "-3" ...
// when that name is taken. The name does not end in the extension, so no year-file pattern
// takes it.
QString ConflictPathBase(const QString &yearFilePath, const QDateTime &now);
// The conflict files of a year file, oldest first.
QStringList ConflictFilesOf(const QString &yearFilePath);

// Whether 'name' is a copy a sync engine made of the year file 'yearFileName' (whose extension
// is 'ext') when two versions of it met: Syncthing's
// "2026.sync-conflict-20261209-060034-FEYNXDC.jnl", Nextcloud's and ownCloud's
// "2026 (conflicted copy 2026-12-09 060034).jnl", Dropbox's
// "2026 (Taro's conflicted copy 2026-12-09).jnl".
bool IsSyncConflictCopyName(const QString &name, const QString &yearFileName, const QString &ext);
// Whether the file at path holds a version of some diary's year, wherever it lies: a conflict
// file of a year file, a sync engine's conflict copy of one (by their names), or an existing
// file whose bytes begin with a year file's "!JNL ". Nothing is written over such a file.
bool IsDiaryVersionFile(const QString &path);
// What holds a version of the year file beside it: the diary's own conflict files, oldest first,
// then the sync engines' copies by name.
QStringList ConflictCopiesOf(const QString &yearFilePath, const QString &ext);
// Whether path names one of the diary's own files in its folder: a year file, the .bak of one,
// or anything below backup/ or inbox/. Such a file is written by the diary alone, or, in inbox/,
// taken into the diary as days.
bool IsDiaryOwnFile(
    const QString &baseDir, const QString &prefix, const QString &ext, const QString &path);
// The inbox/ folder of a data folder: files dropped there come into the diary by day.
QString InboxFolder(const QString &baseDir);

// The user's own data folder for the diary, outside every data folder: $XDG_DATA_HOME/kivlog/,
// else ~/.local/share/kivlog/.
QString UserDataFolder();
// Where the whole year goes when its year file cannot be written: rescued/ below the user's own
// data folder, as "rescued/2026.jnl.rescued-20261209-101530"; the file writer adds "-2", "-3" ...
// when that name is taken. Copied back over the year file, it is the year file.
QString RescueFolder();
QString RescuePathBase(const QString &yearFilePath, const QDateTime &now);
