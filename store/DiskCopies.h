#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QFileDevice>
#include <QList>
#include <QString>
#include <QStringList>

// What a year file on disk was when the diary last read or wrote it, and the copies the diary
// keeps beside it: conflict files (another program's version, or the diary's own when the file
// on disk no longer reads) and dated backups in backup/ below the data folder.

struct TFileIdentity {
    bool Exists = false;
    qint64 Size = 0;
    qint64 MTimeNs = 0;
    quint64 Device = 0;
    quint64 Inode = 0;
    unsigned Mode = 0; // permission bits
    size_t Hash = 0; // of the bytes

    // The same file system entry, unchanged as far as the file system tells.
    bool SameStat(const TFileIdentity &other) const
    {
        return Exists == other.Exists
            && (!Exists
                || (Size == other.Size && MTimeNs == other.MTimeNs && Device == other.Device
                    && Inode == other.Inode));
    }
};

// The identity of the file at path without its hash; Exists is false for anything that is no
// plain file.
TFileIdentity StatFile(const QString &path);
// Tells versions of a file apart within one run; never stored.
size_t HashBytes(const QByteArray &bytes);

// The permissions a copy of the file at path gets: the file's own, or owner read and write
// only when it cannot be asked.
QFileDevice::Permissions CopyPermissions(const QString &path);

QFileDevice::Permissions PermissionsOfMode(unsigned mode);

// Writes bytes to a new file with the given permissions, atomically; false when that fails.
bool WriteFileWithPermissions(
    const QString &path, const QByteArray &bytes, QFileDevice::Permissions permissions);

// "2026.jnl.conflict-20261208-221530" beside the year file, with "-2", "-3" ... when that name
// is taken. The name does not end in the extension, so no year-file pattern takes it.
QString FreeConflictPath(const QString &yearFilePath, const QDateTime &now);
// The conflict files of a year file, oldest first.
QStringList ConflictFilesOf(const QString &yearFilePath);

// Dated backups: backup/ + prefix + year + "-" + yyyymmdd + ext, below the data folder.
inline constexpr int kKeptBackupsPerYear = 30;
QString BackupFolder(const QString &baseDir);
QString DatedBackupPath(
    const QString &baseDir, const QString &prefix, int year, const QString &ext, QDate day);
// The dated backups of one year, oldest first.
QStringList DatedBackupsOf(const QString &baseDir, const QString &prefix, int year,
    const QString &ext);

// Copies the year file as it is to today's backup unless that backup exists, then removes all
// but the newest kKeptBackupsPerYear backups of that year. Returns false when the copy could
// not be made; a missing year file needs none.
bool MakeDatedBackup(const QString &baseDir, const QString &prefix, int year, const QString &ext,
    QDate today);
