#pragma once

#include <QStringList>

// kivlog-cli stats: a year's figures, its days as month rows of shades, and its most used words,
// as text or JSON. Arguments after the command's name; returns the exit status.
int RunStats(QStringList args);

// kivlog-cli remind: a daily reminder through a systemd user timer (--at HH:MM installs it,
// --off removes it), and --check, which the timer runs, for the notification itself.
int RunRemind(QStringList args);
