#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// "-h" or "--help", and "--version": answered on stdout before anything else happens, so that
// neither a window, nor the instance lock, nor the data folder comes into being for them.

// True when messages should be Japanese: the user's message locale (LC_ALL, else LC_MESSAGES,
// else LANG) is Japanese, or LANGUAGE names Japanese first while that locale is not "C".
bool UserWantsJapanese();

// The usage text, ending with the full path of the data folder that this start would use.
QString UsageText(bool japanese, const QString &dataFolder);

// The data folder of a start with these arguments in the current folder, as a full path, read
// as the window reads its command line: Data/ unless -dFOLDER or a year file's folder says
// otherwise, the last of them winning.
QString DataFolderFor(const QStringList &arguments);

// Prints the usage or the version when an argument asks for it and returns the exit status;
// nothing otherwise.
std::optional<int> AnswerInfoOption(int argc, char **argv);
