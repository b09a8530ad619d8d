#pragma once

#include "YearFile.h"

#include <QByteArray>
#include <QString>

// The whole of a plain file; throws EFOpenError naming the path when it cannot be read.
QByteArray ReadWholeFile(const QString &path);
// A year file as the store reads it: a missing file is an empty year. thisYear is the year now
// (the clock's when 0).
TYearRead ReadYearFileAt(const QString &path, int year, int thisYear = 0);
