#pragma once

#include <QString>

// Gives the open file 'fd', a copy of the file at 'original', the original's permissions before
// anything is written into it, so that the backup or recovery copy of a private diary is as
// private as the diary. The copy takes the original's group when the user may give it, and
// otherwise no group permissions. False when the copy would stay more open than the original;
// the caller then leaves it unwritten. True when there is no original.
bool TakeModeOf(const QString &original, int fd);
