#pragma once

#include <QString>
#include <QStringList>

// kivlog-cli menu-entry: the user's own menu entry for the diary, which starts it on a chosen
// data folder in place of the installed entry; --remove takes it back. Arguments after the
// command's name; returns the exit status.
int RunMenuEntry(QStringList args);

// The program and its arguments as an Exec line of a desktop entry holds them, quoted and
// escaped as the desktop entry format asks.
QString DesktopExecLine(const QStringList &command);
