#pragma once

#include "FileWriter.h"

#include <QByteArrayView>
#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

// The diary's backups of its year files: the .bak beside the year file, which holds the version
// before the last save, and the dated backups in backup/ below the data folder, one a day and the
// newest kKeptBackupsPerYear of each year. Files put away (a taken-in sync copy) go to backup/ too.

// The year file's path with its extension replaced by ".bak" (or ".bak" appended when it has
// none): where the previous version of the year file is kept.
QString BackupPathOf(const QString &yearFilePath);
// Writes 'contents' (the year file as the diary verified it) to the .bak of the year file at
// path. A backup is a courtesy: when it cannot be made the save goes on without it. True when the
// .bak holds 'contents' in full.
bool MakeBackupFile(
    const QString &yearFilePath, QByteArrayView contents, const TFileAccess &access);

// Dated backups: backup/ + prefix + year + "-" + yyyymmdd + "-" + machine + ext below the data
// folder, where machine is MachineBackupTag(): each machine writes its own, so two machines
// syncing one folder never write the same file. Names without the machine part are those of
// earlier versions of the diary.
inline constexpr int kKeptBackupsPerYear = 30;
QString BackupFolder(const QString &baseDir);
// This machine's part of its backups' names, as "laptop-k3f9": the host name in letters, digits
// and "-", and four random ones, kept in the diary's state folder on this machine; only the host
// name when that folder cannot be written.
QString MachineBackupTag();
// This machine's backup of the day.
QString DatedBackupPath(
    const QString &baseDir, const QString &prefix, int year, const QString &ext, QDate day);
// The dated backups of one year, every machine's and the untagged ones, oldest day first: only
// names whose yyyymmdd is a day.
QStringList DatedBackupsOf(
    const QString &baseDir, const QString &prefix, int year, const QString &ext);

// Writes 'bytes' (the year file as the diary read or wrote it) to this machine's backup of today
// unless that exists, then removes all but the newest kKeptBackupsPerYear of this machine's
// backups of that year, counting the untagged ones; other machines prune their own.
// Returns false when the copy could not be made.
bool MakeDatedBackup(const QString &baseDir, const QString &prefix, int year, const QString &ext,
    QDate today, QByteArrayView bytes, const TFileAccess &access);

// Moves the copies sync engines made of the diary's backups when two machines wrote one at once
// (a .bak beside a year file, a dated backup) into backup/ under names that tell what they are:
// "backup/2026.bak-FEYNXDC-20261209-060034" for a copy of 2026.bak,
// "backup/2026-20261209-FEYNXDC.jnl" for one of a dated backup, after the device or person the
// engine named ("copy" when it named none) and the time it gave. Copies of year files are left
// where they are. Nothing is written over; the paths the copies went to.
QStringList TidyBackupCopies(const QString &baseDir, const QString &prefix, const QString &ext);

// Moves a file into the backup folder, or the sub-folder of it given as "name/" (made when
// missing), under a free name after its own name; the path taken, or nothing when it could not
// be moved.
std::optional<QString> MoveIntoBackupFolder(
    const QString &baseDir, const QString &path, const QString &subFolder = QString());
