// kivlog-cli menu-entry: a menu starts programs in the home folder, so a diary kept anywhere
// but ~/Data/ needs its folder in the menu entry's command line. The user's entry has the
// installed entry's name and so takes its place in the menu. A per-user install puts its own
// entry at the same path: the command sets that aside while its entry stands and puts it back
// on --remove, and never writes over or removes an entry it did not write.
#include "CliMenuEntry.h"

#include "CliOutput.h"
#include "CliSearch.h"
#include "CommandLine.h"
#include "FileWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

const char kEntryName[] = "kivlog.desktop";
// The line that tells the entries this command wrote from the install's and the user's own.
const char kOwnMark[] = "\nX-Kivlog-Written-By=kivlog-cli menu-entry\n";

QString quotedArgument(const QString &argument)
{
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = !argument.isEmpty();
    for (const QChar c : argument)
        plain = plain && !reserved.contains(c);
    if (plain)
        return argument;
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        quoted += c;
    }
    return quoted + u'"';
}

QString entryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/applications/") + QLatin1String(kEntryName);
}

// Where the entry that stood at entryPath() waits while the user's entry takes its place:
// outside the menu's folders, so that the menu does not show it twice.
QString setAsidePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/kivlog/") + QLatin1String(kEntryName) + QStringLiteral(".replaced");
}

bool standsThere(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

// rename(2), which replaces what stands at 'to' in one step.
bool movedOver(const QString &from, const QString &to)
{
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
}

bool writtenHere(const QString &path)
{
    const QFileInfo info(path);
    if (info.isSymLink() || !info.isFile())
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(kOwnMark);
}

// The diary beside this program, as installed; else the one on PATH.
QString diaryProgram()
{
    const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/kivlog"));
    return beside.isExecutable() ? beside.absoluteFilePath() : QStringLiteral("kivlog");
}

int removeEntry(const QString &path)
{
    if (!standsThere(path)) {
        print(
            stderr, QStringLiteral("kivlog-cli: there is no menu entry %1 to remove\n").arg(path));
        return 1;
    }
    if (!writtenHere(path)) {
        print(stderr,
            QStringLiteral("kivlog-cli: %1 was not written by kivlog-cli menu-entry (an install "
                           "put it there, or you did); it stays\n")
                .arg(path));
        return 1;
    }
    // The entry set aside goes back in one rename, so the menu is never without one.
    const QString aside = setAsidePath();
    if (standsThere(aside)) {
        if (!movedOver(aside, path)) {
            print(stderr,
                QStringLiteral("kivlog-cli: cannot put back %1 as %2: %3\n")
                    .arg(aside, path, QString::fromLocal8Bit(std::strerror(errno))));
            return 1;
        }
        print(stdout,
            QStringLiteral("Removed %1 and put back the entry that was there before: the menu "
                           "starts the diary as installed again.\n")
                .arg(path));
        return 0;
    }
    if (!QFile::remove(path)) {
        print(stderr, QStringLiteral("kivlog-cli: cannot remove %1\n").arg(path));
        return 1;
    }
    const QString installed = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
        QStringLiteral("applications/") + QLatin1String(kEntryName));
    if (installed.isEmpty()) {
        print(stdout,
            QStringLiteral("Removed %1: no installed entry of the diary is left in the menu.\n")
                .arg(path));
    } else {
        print(stdout,
            QStringLiteral("Removed %1: the menu starts the diary as installed again (%2).\n")
                .arg(path, installed));
    }
    return 0;
}

// Puts the entry at path, setting aside one that this command did not write.
TFileWrite placeEntry(const QString &path, const QByteArray &entry)
{
    MakeFolders(QFileInfo(path).path());
    if (!standsThere(path))
        return WriteNewFile(path, entry, AccessOfFile(path));
    if (writtenHere(path))
        return ReplaceFile(path, entry, AccessOfFile(path));
    const QString aside = setAsidePath();
    MakeFolders(QFileInfo(aside).path());
    // An older entry set aside is one an install has since put there again: the newer goes back.
    if (!movedOver(path, aside)) {
        TFileWrite failed;
        failed.Path = path;
        failed.Errno = errno;
        failed.Error = QStringLiteral("cannot set the entry there aside as %1: %2")
                           .arg(aside, QString::fromLocal8Bit(std::strerror(errno)));
        return failed;
    }
    const TFileWrite written = WriteNewFile(path, entry, AccessOfFile(aside));
    if (!written)
        movedOver(aside, path);
    return written;
}

} // namespace

QString DesktopExecLine(const QStringList &command)
{
    QStringList quoted;
    for (const QString &argument : command)
        quoted << quotedArgument(argument).replace(u'%', QStringLiteral("%%"));
    // A value of the file is itself escaped: each backslash of the quoting is doubled.
    return quoted.join(u' ').replace(u'\\', QStringLiteral("\\\\"));
}

int RunMenuEntry(QStringList args)
{
    const QString path = entryPath();
    if (args == QStringList { QStringLiteral("--remove") })
        return removeEntry(path);
    TDataFolder folder;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (const std::optional<int> wrong
            = FolderArgument(args[i], i + 1 < args.size() ? &args[i + 1] : nullptr, folder)) {
            return *wrong;
        }
    }
    int status = 2;
    const std::optional<TDataFolder> spelled = StoreSpelling(folder, status);
    if (!spelled)
        return status;
    const QString full = FullFolderPath(spelled->BaseDir);
    // A line break would end the Exec line.
    for (const QChar c : full + spelled->Prefix + spelled->Ext) {
        if (c.category() == QChar::Other_Control)
            return usageError(QStringLiteral("a menu entry cannot hold the control characters "
                                             "of '%1'")
                                  .arg(full + spelled->Prefix + spelled->Ext));
    }

    const QStringList command = QStringList { diaryProgram() } + spelled->Options();
    QFile installed(QStringLiteral(":/kivlog.desktop"));
    installed.open(QIODevice::ReadOnly);
    QString entry = QString::fromUtf8(installed.readAll());
    // TryExec hides the entry once the program is gone (the package removed), where a menu
    // would otherwise offer a start that fails.
    QString tryExec = command.first();
    tryExec.replace(u'\\', QStringLiteral("\\\\"));
    entry.replace(QStringLiteral("\nExec=kivlog "),
        QStringLiteral("\nTryExec=") + tryExec + QStringLiteral("\nExec=")
            + DesktopExecLine(command) + u' ');
    if (!entry.endsWith(u'\n'))
        entry += u'\n';
    entry += QLatin1String(kOwnMark + 1);

    const TFileWrite written = placeEntry(path, entry.toUtf8());
    if (!written) {
        print(stderr, QStringLiteral("kivlog-cli: cannot write %1: %2\n").arg(path, written.Error));
        return 1;
    }
    print(stdout, QStringLiteral("Wrote %1: the menu starts the diary on %2\n").arg(path, full));
    if (standsThere(setAsidePath())) {
        print(stdout,
            QStringLiteral("The entry that was there before waits as %1; --remove puts it back.\n")
                .arg(setAsidePath()));
    }
    return 0;
}
