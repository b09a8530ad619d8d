#pragma once

#include <QByteArray>
#include <QString>

// Which diary a data folder holds, so that this machine's memory of its years and its recovery
// files are found again after a restart, a restore, a copy to another disk or a renamed machine,
// and never offered for another diary put at the same path.

// This machine's own folder for the diary's state ($XDG_STATE_HOME/kivlog/, else
// ~/.local/state/kivlog/), which no sync tool carries; it ends in "/".
QString DiaryStateFolder();
// This machine's own folder for the user's choices ($XDG_CONFIG_HOME/kivlog/, else
// ~/.config/kivlog/: the colours, the words left out of a year's words); it ends in "/".
QString DiaryConfigFolder();
// This machine's own folder for what the diary can always make again ($XDG_CACHE_HOME/kivlog/,
// else ~/.cache/kivlog/: the pictures' thumbnails); it ends in "/".
QString DiaryCacheFolder();

// The name of the file in the data folder that names its diary: one line, the diary's identity.
inline constexpr char kDiaryIdentityFile[] = ".kivlog-diary";

// The identity the data folder's file names, empty when there is none or it does not read.
QByteArray DiaryIdentityOf(const QString &dataFolder);
// The same, the file written first when the folder has none: a folder that holds year files
// already takes one made from its oldest year's first lines, so that two machines that find the
// same synced folder without one give it the same identity. Empty when the folder takes no file.
QByteArray ClaimDiaryIdentity(const QString &dataFolder, const QString &prefix, const QString &ext);

// The folder's device and inode as the file system tells them ("" when it is not there): the
// same folder, whatever path reaches it.
QByteArray FolderEntry(const QString &folder);

// Writes 'identity' as the folder's when it names none; false when it could not.
bool NameDiaryFolder(const QString &dataFolder, const QByteArray &identity);

// Where this machine keeps what it knows of the diary with 'identity' (or, without one, of the
// folder at its path), below 'root' (DiaryStateFolder() + "memory/" unless given): one folder a
// diary, ending in "/".
QString DiaryMemoryFolder(
    const QString &root, const QByteArray &identity, const QString &dataFolder);
