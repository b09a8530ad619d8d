#pragma once

#include <QString>
#include <QStringList>

class TKivDiary;

// An argument of the diary's command line split into its value (from the third character on)
// and its option letter (the second character when the first is "-", else empty). The window
// and kivlog-cli read -d, -p and -e this way, the value following the letter without a blank.
void SplitOption(const QString &argument, QString &value, QString &option);

// A leading "~" or "~/" of a path stands for the home folder ($HOME), as in a shell. The shell
// expands it only at the start of a word, so "-d~/diary" and a launcher's arguments reach the
// program unexpanded. "~user" stays as it is.
QString ExpandHome(const QString &path);

// A folder as a full path against the current folder, ending in "/"; the current folder for
// an empty one.
QString FullFolderPath(const QString &folder);

// Where the diary keeps its year files, as its command line sets it: the window, its --help and
// kivlog-cli read the arguments here. Values are kept as given; the store adds the "/" after the
// folder and the "." before the extension when they are missing.
struct TDataFolder {
    QString BaseDir = QStringLiteral("Data/");
    QString Prefix;
    QString Ext = QStringLiteral(".jnl");

    static TDataFolder Of(const TKivDiary &store);
    // The store must be inactive.
    void ApplyTo(TKivDiary &store) const;

    // -dFOLDER, -pPREFIX or -eEXTENSION; false, taking nothing, for any other argument.
    bool TakeOption(const QString &argument);
    // A year-file path sets all three: its folder, its extension, and its name without the
    // extension and the four characters of the year in front of it. "*" and "?" in its last
    // part pick the first matching entry, in the spelling the file system stores.
    void TakeYearFile(const QString &argument);
    // The window's command line without the program's name, first to last, so that each of
    // the three ends with the last argument that set it. Other option letters and empty
    // arguments (a launcher's empty variable) are passed over.
    void TakeCommandLine(const QStringList &arguments);

    // The options that give the diary this folder (in full), prefix and extension from any
    // current folder, as a menu entry needs them: -p and -e only where they are not the defaults.
    QStringList Options() const;
};
