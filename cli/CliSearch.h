#pragma once

#include "CommandLine.h"
#include "FileWriter.h"

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
// The same for a command that reads the year files: a folder without any is named on stderr and
// gives nullopt with exit status 1.
std::optional<TDataFolder> DiaryFolder(const TDataFolder &folder, int &status);

// The access of an export of the folder's year files to outPath: as private as they are.
TFileAccess ExportAccess(const TDataFolder &folder, const QString &outPath);

// -dFOLDER, -pPREFIX or -eEXT read into folder, alike in every command that reads a folder: the
// value follows the letter without a blank. A bare letter before a word that is no option
// ("-d ~/diary", given the next argument as 'next') is refused and explained on stderr; a bare
// letter otherwise is the empty value.
enum class TFolderOption { NotOne, Taken, Refused };
TFolderOption TakeFolderOption(const QString &arg, const QString *next, TDataFolder &folder);
// TakeFolderOption for an argument that must be a folder option: the exit status of wrong usage
// (said on stderr) when it is none or is refused, nothing when it was taken.
std::optional<int> FolderArgument(const QString &arg, const QString *next, TDataFolder &folder);
