#pragma once

#include <QStringList>

// kivlog-cli import: other programs' diaries into the folder's year files; arguments after the
// command's name. Returns the exit status and writes its own usage errors.
int RunImport(QStringList args);
