// kivlog-cli menu-entry: a menu starts programs in the home folder, so a diary kept anywhere
// but ~/Data/ needs its folder in the menu entry's command line. The user's entry has the
// installed entry's name and so takes its place in the menu.
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

namespace {

const char kEntryName[] = "kivlog.desktop";

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

// The diary beside this program, as installed; else the one on PATH.
QString diaryProgram()
{
    const QFileInfo beside(QCoreApplication::applicationDirPath() + QStringLiteral("/kivlog"));
    return beside.isExecutable() ? beside.absoluteFilePath() : QStringLiteral("kivlog");
}

int removeEntry(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        print(
            stderr, QStringLiteral("kivlog-cli: there is no menu entry %1 to remove\n").arg(path));
        return 1;
    }
    if (!QFile::remove(path)) {
        print(stderr, QStringLiteral("kivlog-cli: cannot remove %1\n").arg(path));
        return 1;
    }
    print(stdout,
        QStringLiteral("Removed %1: the menu starts the diary as installed again.\n").arg(path));
    return 0;
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
    entry.replace(QStringLiteral("\nExec=kivlog "),
        QStringLiteral("\nExec=") + DesktopExecLine(command) + u' ');

    MakeFolders(QFileInfo(path).path());
    const TFileWrite written = ReplaceFile(path, entry.toUtf8(), AccessOfFile(path));
    if (!written) {
        print(stderr, QStringLiteral("kivlog-cli: cannot write %1: %2\n").arg(path, written.Error));
        return 1;
    }
    print(stdout, QStringLiteral("Wrote %1: the menu starts the diary on %2\n").arg(path, full));
    return 0;
}
