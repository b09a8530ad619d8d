#pragma once

#include <QString>

// The program's user-facing texts stand once each as UTF-8 constants (Messages.h for the store,
// WindowTexts.h for the window); Text() makes one of them a QString, the one way they are read.
inline QString Text(const char *utf8) { return QString::fromUtf8(utf8); }
