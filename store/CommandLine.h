#pragma once

#include <QString>

// An argument of the diary's command line split into its value (from the third character on)
// and its option letter (the second character when the first is "-", else empty). The window
// and kivlog-cli read -d, -p and -e this way, the value following the letter without a blank.
void SplitOption(const QString &argument, QString &value, QString &option);
