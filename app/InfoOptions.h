#pragma once

#include <QString>
#include <optional>

// "--help" and "--version": answered on stdout before anything else happens, so that neither
// a window, nor the instance lock, nor the data folder comes into being for them.

// True when messages should be Japanese: the user's message locale (LC_ALL, else LC_MESSAGES,
// else LANG) is Japanese, or LANGUAGE names Japanese first while that locale is not "C".
bool UserWantsJapanese();

// The usage text, telling where the data folder is when the diary starts in currentFolder.
QString UsageText(bool japanese, const QString &currentFolder);

// Prints the usage or the version when an argument asks for it and returns the exit status;
// nothing otherwise.
std::optional<int> AnswerInfoOption(int argc, char **argv);
