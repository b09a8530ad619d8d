#pragma once

#include "CommandLine.h"

#include <QString>
#include <QStringList>
#include <optional>

// kivlog-cli search and export; arguments after the command's name. Both return the exit
// status and write their own usage errors.
int RunSearch(QStringList args);
int RunExport(QStringList args);
// export --format pdf, after RunExport has read the arguments: FILE or, when empty, stdout.
namespace diaryexport {
struct TRange;
}
int ExportPdf(const TDataFolder &folder, const diaryexport::TRange &range, const QString &outPath);
// kivlog-cli onthisday: the same day in every year of the folder, newest first.
int RunOnThisDay(QStringList args);
// kivlog-cli check: every year file of the folder, one line each.
int RunCheck(QStringList args);

// The folder, prefix and extension as the store spells them ("/" after the folder, "." before
// the extension), or nullopt with the exit status of a usage error (a missing folder).
std::optional<TDataFolder> StoreSpelling(const TDataFolder &folder, int &status);
