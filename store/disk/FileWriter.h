#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <cerrno>
#include <functional>
#include <optional>

class QIODevice;

// The one writer of whole files. The year file and its .bak, dated backups, conflict copies, the
// recovery file and exports are all written here, and nothing else in the programs opens a file
// for writing. Every write is unbuffered, so a short write (a full disk, a file-size limit) is
// seen; a file counts as written only once it is on the disk (fsync) and, when it is new, renamed
// into place; until then the previous file stands, or, written in place, is put back. A symbolic
// link is never written through: a link where a file is to be written makes the write fail,
// unless the caller asks for the file it leads to (WriteTargetOf) and writes that.

// The permissions and group a written file gets: the group when the user may give it, and no
// group permissions when not, so a copy is never more open than what it copies.
struct TFileAccess {
    unsigned Mode = 0600; // permission bits
    std::optional<unsigned> Group;
};

// The access of the plain file at path; when there is none, that of any new file of the user
// (0666 less the umask, the folder's group).
TFileAccess AccessOfFile(const QString &path);
// The same for a file of diary text (a year file and its copies, a recovery file), except that a
// new one is the user's alone: 0600 whatever the umask, which could otherwise take the user's
// own right to write it away.
TFileAccess AccessOfDiaryFile(const QString &path);

// The access of a file made from the diary's files at 'sources' (an export, a PDF) that is to
// stand at path: no more open than the most private of them, nor than a file standing at path;
// in their group when they share one. Without a source, the user's alone (0600).
TFileAccess AccessOfCopy(const QStringList &sources, const QString &path);

// The file a write to path is to replace: path, or, when path is a symbolic link, the file the
// links lead to, which is then written in its own folder while the links stay.
QString WriteTargetOf(const QString &path);

// Removes what writes to path that were cut off before their rename (a process killed) left
// beside it: the writer's own temporaries, "." + name + "-" + six letters or digits, plain files
// of this user only.
void RemoveLeftoverTemporaries(const QString &path);

struct TFileWrite {
    bool Ok = false;
    QString Path; // the name written
    QString Error; // why not, as the system says it
    int Errno = 0;
    explicit operator bool() const { return Ok; }
    // Failed in a folder that takes no new files: a file there may still be written over in
    // place.
    bool NoNewFiles() const { return !Ok && (Errno == EACCES || Errno == EPERM); }
};

// Writes a new file beside path and renames it over path. Fails without touching path when
// something other than a plain file stands there.
TFileWrite ReplaceFile(const QString &path, QByteArrayView bytes, const TFileAccess &access);

// Writes over the plain file at path without making a new file, for a folder that takes no new
// files. Nothing is cut off before the new bytes stand in full; when the write fails, 'previous'
// (the file's bytes before) is written back into the room the file already has.
TFileWrite OverwriteInPlace(const QString &path, QByteArrayView bytes, const TFileAccess &access,
    std::optional<QByteArrayView> previous);

// Writes a new file at path, never over anything that stands there.
TFileWrite WriteNewFile(const QString &path, QByteArrayView bytes, const TFileAccess &access);

// Free names: base itself, else base + "-2", "-3" ... the first name nothing stands at, taken at
// the moment the file goes there, so two writers never share one name.
TFileWrite WriteUnderFreeName(const QString &base, QByteArrayView bytes, const TFileAccess &access);
// Renames the file at path to the free name after the same rule; the name taken, or nothing when
// the rename failed.
std::optional<QString> MoveUnderFreeName(const QString &path, const QString &base);

// Whether new files can be made in the folder, as the system answers for this user (a read-only
// mount, another user's folder).
bool FolderTakesNewFiles(const QString &folder);
// The same, or for a folder that is missing, whether MakeFolders could make it there.
bool FolderCouldTakeNewFiles(const QString &folder);
// Makes the folder with every missing parent, each new one in 'mode' whatever the umask (by
// default the user's alone); folders that exist keep their modes. True when the folder is there.
bool MakeFolders(const QString &path, unsigned mode = 0700);

// The bytes that a writer needing a device (a PDF writer) makes, kept in memory so that one of
// the functions above puts them in place.
QByteArray WrittenToMemory(const std::function<void(QIODevice &device)> &write);
