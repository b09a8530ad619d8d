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

// Dated backups: backup/ + prefix + year + "-" + yyyymmdd + ext, below the data folder.
inline constexpr int kKeptBackupsPerYear = 30;
QString BackupFolder(const QString &baseDir);
QString DatedBackupPath(
    const QString &baseDir, const QString &prefix, int year, const QString &ext, QDate day);
// The dated backups of one year, oldest first: only names whose yyyymmdd is a day.
QStringList DatedBackupsOf(
    const QString &baseDir, const QString &prefix, int year, const QString &ext);

// Writes 'bytes' (the year file as the diary read or wrote it) to today's backup unless that
// backup exists, then removes all but the newest kKeptBackupsPerYear backups of that year.
// Returns false when the copy could not be made.
bool MakeDatedBackup(const QString &baseDir, const QString &prefix, int year, const QString &ext,
    QDate today, QByteArrayView bytes, const TFileAccess &access);

// Moves a file into the backup folder, or the sub-folder of it given as "name/" (made when
// missing), under a free name after its own name; the path taken, or nothing when it could not
// be moved.
std::optional<QString> MoveIntoBackupFolder(
    const QString &baseDir, const QString &path, const QString &subFolder = QString());
