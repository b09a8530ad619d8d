#include "CommandLine.h"

#include "KivDiary.h"

#include <QDir>
#include <QFile>
#include <glob.h>
#include <pwd.h>
#include <unistd.h>

namespace {

QString folderPart(const QString &path) { return path.left(path.lastIndexOf(u'/') + 1); }

// From the last "." on, when no "/" follows it.
QString extensionOf(const QString &path)
{
    const qsizetype dot = path.lastIndexOf(u'.');
    return dot > path.lastIndexOf(u'/') ? path.mid(dot) : QString();
}

// The wildcards of a year-file path are "*" and "?" only: glob's other specials, "[" and "]",
// and its escape, the backslash, are escaped so that they stand for themselves.
QByteArray globPattern(const QString &argument)
{
    QByteArray pattern;
    for (const char c : QFile::encodeName(argument)) {
        if (c == '[' || c == ']' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

// The first entry that the argument names, wildcards in its last part allowed, in the
// spelling the file system stores; the argument as typed when nothing matches.
QString storedName(const QString &argument)
{
    glob_t found {};
    QString path = argument;
    if (::glob(globPattern(argument).constData(), 0, nullptr, &found) == 0 && found.gl_pathc > 0) {
        const QString match = QFile::decodeName(found.gl_pathv[0]);
        path = folderPart(argument) + match.mid(match.lastIndexOf(u'/') + 1);
    }
    ::globfree(&found);
    return path;
}

QString homeFolder()
{
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd *user = ::getpwuid(::getuid()))
            home = QFile::decodeName(user->pw_dir);
    }
    return home;
}

} // namespace

void SplitOption(const QString &argument, QString &value, QString &option)
{
    value = argument.size() >= 3 ? argument.mid(2) : QString();
    option.clear();
    if (argument.startsWith(u'-'))
        option = argument.mid(1, 1);
}

QString ExpandHome(const QString &path)
{
    if (path != u"~" && !path.startsWith(u"~/"))
        return path;
    const QString home = homeFolder();
    // Without a home folder the "~" stays, rather than the folder becoming the root.
    if (home.isEmpty())
        return path;
    return home + path.mid(1);
}

QString FullFolderPath(const QString &folder)
{
    QString full = QDir::cleanPath(QDir::current().absoluteFilePath(folder));
    if (!full.endsWith(u'/'))
        full += u'/';
    return full;
}

TDataFolder TDataFolder::Of(const TKivDiary &store)
{
    return TDataFolder { store.BaseDir(), store.Prefix(), store.Ext() };
}

void TDataFolder::ApplyTo(TKivDiary &store) const
{
    store.SetBaseDir(BaseDir);
    store.SetPrefix(Prefix);
    store.SetExt(Ext);
}

bool TDataFolder::TakeOption(const QString &argument)
{
    QString value;
    QString option;
    SplitOption(argument, value, option);
    if (option == u"d")
        BaseDir = ExpandHome(value);
    else if (option == u"p")
        Prefix = value;
    else if (option == u"e")
        Ext = value;
    else
        return false;
    return true;
}

void TDataFolder::TakeYearFile(const QString &argument)
{
    const QString path = storedName(ExpandHome(argument));
    BaseDir = folderPart(path);
    Ext = extensionOf(path);
    // Lengths count characters, so a prefix never ends inside a multi-byte character of the
    // name. The extension found here is empty or begins with its ".", as the store spells it.
    const qsizetype nameStart = path.lastIndexOf(u'/') + 1;
    const qsizetype prefixLength = path.size() - Ext.size() - nameStart - 4;
    Prefix = prefixLength > 0 ? path.mid(nameStart, prefixLength) : QString();
}

QStringList TDataFolder::Options() const
{
    QStringList options { QStringLiteral("-d") + FullFolderPath(BaseDir) };
    if (!Prefix.isEmpty())
        options << QStringLiteral("-p") + Prefix;
    if (Ext != TDataFolder().Ext)
        options << QStringLiteral("-e") + Ext;
    return options;
}

void TDataFolder::TakeCommandLine(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        QString value;
        QString option;
        SplitOption(argument, value, option);
        if (option.isEmpty())
            TakeYearFile(argument);
        else
            TakeOption(argument);
    }
}
