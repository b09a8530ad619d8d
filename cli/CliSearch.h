#pragma once

#include <QStringList>

// kivlog-cli search and export; arguments after the command's name. Both return the exit
// status and write their own usage errors.
int RunSearch(QStringList args);
int RunExport(QStringList args);

// The lines of the tool's usage text that describe them.
extern const char kSearchExportUsage[];
