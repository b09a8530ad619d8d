#pragma once

#include "DiaryExport.h"

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>

// Writes the text as UTF-8.
void print(std::FILE *stream, const QString &text);

// Names the problem and the help option on stderr; returns the exit status of wrong usage, 2.
int usageError(const QString &problem);

// "1 day", "2 days": the count with the noun in the number it takes.
QString counted(qsizetype count, const QString &one, const QString &many);
