// kivlog-cli: looks into a year file, or rewrites it through the diary's own store; searches
// and exports the whole diary.
#ifdef KIVLOG_CLI_EXTRA
#include "CliImport.h"
#endif
#include "CliMenuEntry.h"
#include "CliOutput.h"
#include "CliSearch.h"
#include "CliStats.h"
#include "CommandLine.h"
#include "Cp932.h"
#include "DataFolderLock.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "FileReader.h"
#include "KivDiary.h"
#include "Services.h"
#include "SettingValues.h"
#include "YearFile.h"
#include "YearFileName.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#ifdef KIVLOG_CLI_EXTRA
#include <QGuiApplication>
#endif
#include <QScopeGuard>
#include <QStringList>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#ifndef KIVLOG_CLI_EXTRA
#include <dlfcn.h>
#include <unistd.h>
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;

const char kUsage[] = R"(Usage:
  kivlog-cli dump FILE
  kivlog-cli rewrite [--dayname on|off] FILE
  kivlog-cli check [-dFOLDER] [-pPREFIX] [-eEXT]
  kivlog-cli search [--full] [-dFOLDER] [-pPREFIX] [-eEXT] [--] WORD...
  kivlog-cli export [--format text|markdown|html|json|pdf] [--as-is]
                    [--from yyyy/mm/dd] [--to yyyy/mm/dd] [-dFOLDER] [-pPREFIX]
                    [-eEXT] [-o FILE]
  kivlog-cli onthisday [--date yyyy/mm/dd] [-dFOLDER] [-pPREFIX] [-eEXT]
  kivlog-cli import [-dFOLDER] [-pPREFIX] [-eEXT] [--dry-run] [--verbose]
                    [--format dayone|jrnl|rednotebook|days] SOURCE...
  kivlog-cli menu-entry [-dFOLDER] [-pPREFIX] [-eEXT] | --remove
  kivlog-cli stats [--json] [-dFOLDER] [-pPREFIX] [-eEXT] [YEAR]
  kivlog-cli remind --at HH:MM [-dFOLDER] [-pPREFIX] [-eEXT] | --off
  kivlog-cli --help | --version

FILE is a year file named prefix + four-digit year + extension, for example
Data/d2009.jnl, 2009.jnl or 2009. The folder, prefix, extension and year are
taken from it; the year must be 1900 or later. In the commands that read a
folder, -d, -p and -e take their value right after the letter (-dData, not
-d Data); on a folder without such year files they name what is missing and
exit with status 1.

dump     reads the year file and prints its contents as one JSON object (UTF-8):
         {"year", "modified", "preamble", "days": [{"date", "text"}], "settings",
          "error_data", "messages"}. Texts are decoded from CP932; line breaks are
         kept as \r\n. A file that does not exist shows as an empty year, and
         stderr says that it does not exist. Nothing is written.
rewrite  reads the year file and writes it back in the diary's own form, after
         copying the previous file to the .bak backup beside it. --dayname on
         writes weekday names in the day headers, off leaves them out; without
         it the file's own DAYNAME setting decides, as in the diary. Prints
         nothing on success. Refused (exit status 1) for a year file that does
         not exist and while a diary has the folder open.
check    reads every year file of the folder (prefix + four-digit year +
         extension; by default Data/ and .jnl, set as on the diary's command
         line: the value follows the letter, as in -d~/diary) and prints one line
         for each: whether it loads, its days, its rejected blocks, the conflict
         files beside it (the diary's own and a sync engine's conflict copies:
         Syncthing, Nextcloud, ownCloud, Dropbox) and its newest dated backup.
         Then it names each picture a line names whose file is missing from
         photos/ in the folder, and each picture file there that no line names.
         Nothing is written. Exit status 0 when every year file loads and none
         has a conflict file, 1 when one does not load, has a conflict file, a
         line names a missing picture or none is found, 2 on wrong usage or a
         missing folder.
search   finds the days whose text holds every WORD, in every year file of the
         folder (default Data/, no prefix, extension .jnl; the value follows
         the option letter without a blank, as on the diary's command line).
         Letter case, full-width or half-width forms and hiragana or katakana
         do not count (りんご finds リンゴ and ﾘﾝｺﾞ). Prints one day a line,
         oldest first: yyyy/mm/dd(weekday) and about 40 characters of the line
         of its first hit around it ("…" where it is cut; --full prints the
         whole line), in UTF-8. Exit status 0 when a day was found, 1 when none
         was, 2 on wrong usage or a missing folder. Year files that cannot be
         read are named on stderr and passed over.
export   writes the diary, or the days from --from to --to, in UTF-8 to stdout
         or FILE: text or markdown (a heading a day), html (one page), json
         (a list of the objects dump prints, one a year), pdf (each day under
         its date heading, in the editor's font of the newest year, as the
         diary prints it; searchable text). Markdown escapes what would be
         markup in the days' texts; with --as-is it keeps them as written,
         for a diary written in Markdown. Bytes that are not
         CP932 are written as U+FFFD and counted on stderr. FILE is as private
         as the year files; a file holding a version of any diary (a year
         file, its .bak, a backup, a conflict file or copy, a file beginning
         with "!JNL ") is refused. Exit status 1 when a year file could not be
         read (it is left out), else 0.
onthisday
         prints the same month and day in every year file of the folder (as
         for search) that has text on it, newest first, one a line:
         yyyy/mm/dd(weekday) and the day's first line, in UTF-8. The day is
         --date, else today's diary day (it begins at about 08:00). 29 February
         shows the years that have one. Exit status 0 when a day was found, 1
         when none was, 2 on wrong usage or a missing folder. Nothing is written.
import   takes the days of other diaries into the folder's year files (folder,
         prefix and extension as for search): a Day One export (.zip, its
         folder or its JSON), jrnl's journal file or JSON export, a RedNotebook
         data folder, backup .zip or month file (YYYY-MM.txt), a folder of one
         file a day (YYYY-MM-DD, YYYY_MM_DD, YYYY.MM.DD, YYYYMMDD or
         YYYY/MM/DD, words after a blank allowed; .txt, .md or .markdown) or
         one such file; --format names the kind when the file does not tell.
         A day with text already keeps it first and the imported lines it
         lacks after it; a text this machine took in before (also in an
         earlier run) is not taken again, so a day tidied or cleared since
         stays so. Each year keeps the day headings of its own DAYNAME setting.
         Characters come in as the editor takes them: control characters are
         left out; the yen sign, the overline and what Shift-JIS lacks are
         kept as character references.
         Prints for each year the days added, the days that hold both texts
         and the characters changed or kept as references, by kind, then for
         each source how many entries or files were skipped, time zones
         guessed and media not copied; --verbose names each. --dry-run prints
         the same and writes nothing. Refused while a diary has the folder
         open; a missing folder is made as the diary's first start makes it.
         Exit status 0 when done (also when nothing was new), 1 when a source
         cannot be read (nothing is taken from it) or there is no day to take
         in, 2 on wrong usage.
menu-entry
         writes the user's own menu entry for the diary (kivlog.desktop in
         ~/.local/share/applications/, or below $XDG_DATA_HOME), which takes
         the place of the installed one and starts the diary on the folder,
         prefix and extension given (as for search) instead of ~/Data/. An
         entry it did not write there (a per-user install's) waits aside and
         is never written over; --remove removes the command's own entry and
         puts back the one that was there. The entry hides itself from the
         menu once the diary it starts is gone. Exit status 0 when it was
         written or removed, 1 when not (or there was no entry of its own to
         remove), 2 on wrong usage or a missing folder.

stats    prints the figures of YEAR (by default this year) from its year file
         in the folder (as for search): the days written, the characters
         written (blanks and line breaks not counted), the longest run of
         written days and the longest gap between two, the most written day and
         month; then a row a month, a character a day, shaded by the characters
         of that day (".", then "-" "+" "*" "#" for the year's four quarters),
         and the most used words: runs of kanji, of katakana and Latin words,
         without dates, weekday names, lines that are only a date and lines
         standing alike on many days (a template's). The words listed in
         ~/.config/kivlog/words-left-out (below $XDG_CONFIG_HOME when set), one
         a line, are left out too. --json prints one object instead. Exit status
         0, 1 when the year has no year file or it cannot be read, 2 on wrong
         usage or a missing folder. Nothing is written.
remind   --at HH:MM writes a systemd user timer and its service
         (kivlog-remind.timer and .service in ~/.config/systemd/user/) and
         enables it with systemctl --user: each day at that time, when today's
         diary day holds no text in its year file (in the folder given, as for
         search), a desktop notification says so (notify-send, else gdbus).
         Without systemctl the files are written and the commands to start
         them printed. --off stops and removes them. Nothing is installed
         unless asked. Exit status 0 when done, 1 when not, 2 on wrong usage.

A year file that cannot be read prints {"error": ..., "messages": [...]} and
exits with status 1; wrong usage exits with status 2.
)";

QString errorJson(const QString &error, const QStringList &messages)
{
    return QStringLiteral("{\"error\":%1,\"messages\":%2}\n")
        .arg(jsonString(error), jsonMessages(messages));
}

struct TYearFile {
    QString BaseDir;
    QString Prefix;
    QString Ext;
    int Year = 0;
};

// prefix + four-digit year + extension, in any folder.
std::optional<TYearFile> splitYearFilePath(const QString &path, QString &problem)
{
    TYearFile file;
    const qsizetype slash = path.lastIndexOf(u'/');
    file.BaseDir = path.left(slash + 1);
    const std::optional<TYearFileName::TSplit> split
        = TYearFileName::Split(QStringView(path).mid(slash + 1));
    if (!split) {
        problem = QStringLiteral("'%1' is no year file: its name must be a prefix, a four-digit "
                                 "year and an extension, such as d2009.jnl")
                      .arg(path);
        return std::nullopt;
    }
    file.Year = split->Year;
    file.Prefix = split->Name.Prefix;
    file.Ext = split->Name.Ext;
    if (file.Year < 1900) {
        // "10000.jnl" is the prefix "1" and the year 0000: say so, not only that it is too early.
        problem = QStringLiteral("'%1' reads as the prefix '%2' and the year %3, which lies "
                                 "before 1900")
                      .arg(path, file.Prefix, TYearFileName::Digits(file.Year));
        return std::nullopt;
    }
    return file;
}

// The store is set up exactly as the window sets it up from its command line: folder, prefix
// and extension, then the year, then Open loads the file.
bool openStore(TKivDiary &store, const TYearFile &file, const QStringList &messages)
{
    try {
        store.SetBaseDir(file.BaseDir);
        store.SetPrefix(file.Prefix);
        store.SetExt(file.Ext);
        store.SetYear(file.Year);
        store.Open();
        return true;
    } catch (const Exception &e) {
        store.SetAutoSave(false);
        print(stdout, errorJson(e.Message(), messages));
        return false;
    }
}

int dump(const TYearFile &file)
{
    // Spelled as the store spells it: the folder ends in "/", the extension begins with ".".
    const QString path = file.BaseDir + TYearFileName { file.Prefix, file.Ext }.Of(file.Year);
    TYearRead read;
    try {
        TKivDiary::CheckFolder(file.BaseDir);
        read = ReadYearFileAt(path, file.Year);
    } catch (const Exception &e) {
        print(stdout, errorJson(e.Message(), {}));
        return kExitFailed;
    }
    print(stdout, dumpJson(file.Year, read.Contents, read.Messages));
    // An empty year and a mistyped name look alike on stdout.
    if (!QFileInfo::exists(path))
        print(stderr,
            QStringLiteral("kivlog-cli: %1 does not exist; shown as an empty year %2\n")
                .arg(path, QString::number(file.Year)));
    return kExitOk;
}

int rewrite(const TYearFile &file, std::optional<bool> dayName)
{
    // A mistyped year would otherwise come into being as an empty year file.
    const QString path = file.BaseDir + TYearFileName { file.Prefix, file.Ext }.Of(file.Year);
    if (!QFileInfo::exists(path)) {
        print(stderr,
            QStringLiteral("kivlog-cli: %1 does not exist; rewrite writes only a year "
                           "file that is there\n")
                .arg(path));
        return kExitFailed;
    }
    QStringList messages;
    TScopedDiaryServices services({ [&](const QString &m) {
                                       messages << m;
                                       print(stderr, m + u'\n');
                                   },
        {}, {} });
    // A diary that holds the folder keeps the year in memory and saves it later: a rewrite
    // under it would be lost or clash with that save. Held to the end, so no diary starts on
    // the folder halfway through.
    TDataFolderLock lock;
    const QString folder = file.BaseDir.isEmpty() ? QDir::currentPath() : file.BaseDir;
    if (lock.Acquire(folder) == TDataFolderLock::TState::InUse) {
        print(stderr,
            QStringLiteral("kivlog-cli: the data folder %1 is in use by a diary%2; close it "
                           "before a rewrite\n")
                .arg(folder,
                    lock.HolderPid() > 0 ? QStringLiteral(" (process %1)").arg(lock.HolderPid())
                                         : QString()));
        return kExitFailed;
    }
    // The store writes by path: should another folder stand there by the time it writes, the
    // lock goes with it, and a diary holding that one keeps the file from being written.
    TKivDiary::FolderGuard
        = [&lock](const QString &at) { return lock.Follow(at) != TDataFolderLock::TState::InUse; };
    const auto unguarded = qScopeGuard([] { TKivDiary::FolderGuard = nullptr; });
    TKivDiary store;
    if (!openStore(store, file, messages))
        return kExitFailed;
    store.SetDayName(dayName.value_or(DayNameSettingOn(store.GetSetting(setting::kDayName))));
    store.MarkModified();
    try {
        store.Close();
    } catch (const Exception &e) {
        store.SetAutoSave(false);
        print(stdout, errorJson(e.Message(), messages));
        return kExitFailed;
    }
    return kExitOk;
}

} // namespace

// export --format pdf: laid out with fonts, which takes a graphical application.
bool exportsPdf(int argc, char *argv[])
{
    bool pdf = false;
    for (int i = 2; argc > 1 && std::strcmp(argv[1], "export") == 0 && i < argc; ++i) {
        pdf = pdf || std::strcmp(argv[i], "--format=pdf") == 0
            || (std::strcmp(argv[i], "--format") == 0 && i + 1 < argc
                && std::strcmp(argv[i + 1], "pdf") == 0);
    }
    return pdf;
}

int cliMain(int argc, char *argv[])
{
    // A file-size limit then makes a write fail with EFBIG, and the writer puts back what it
    // was writing over, instead of the process dying halfway through.
    std::signal(SIGXFSZ, SIG_IGN);
    // None shows a window, so no display is needed.
    const bool pdf = exportsPdf(argc, argv);
    if (pdf && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#ifdef KIVLOG_CLI_EXTRA
    std::unique_ptr<QCoreApplication> app = pdf ? std::make_unique<QGuiApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
#else
    const auto app = std::make_unique<QCoreApplication>(argc, argv);
#endif
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        print(stdout, QString::fromUtf8(kUsage));
        return kExitOk;
    }
    if (args.contains(QStringLiteral("--version"))) {
        print(stdout, QStringLiteral("kivlog-cli (KIV-N's Diary) " KIVLOG_VERSION "\n"));
        return kExitOk;
    }
    if (args.isEmpty())
        return usageError(QStringLiteral(
            "a command is missing: dump, rewrite, search, export, onthisday, import, check, "
            "menu-entry, stats or remind"));

    const QString command = args.takeFirst();
    if (command == u"search")
        return RunSearch(args);
    if (command == u"export")
        return RunExport(args);
    if (command == u"check")
        return RunCheck(args);
    if (command == u"onthisday")
        return RunOnThisDay(args);
#ifdef KIVLOG_CLI_EXTRA
    if (command == u"import")
        return RunImport(args);
#endif
    if (command == u"menu-entry")
        return RunMenuEntry(args);
    if (command == u"stats")
        return RunStats(args);
    if (command == u"remind")
        return RunRemind(args);
    std::optional<bool> dayName;
    if (command == u"rewrite") {
        while (!args.isEmpty() && args.front().startsWith(u"--dayname")) {
            QString value;
            const QString option = args.takeFirst();
            if (option == u"--dayname") {
                if (args.isEmpty())
                    return usageError(QStringLiteral("--dayname needs a value: on or off"));
                value = args.takeFirst();
            } else if (option.startsWith(u"--dayname=")) {
                value = option.mid(10);
            } else {
                return usageError(QStringLiteral("unknown option '%1'").arg(option));
            }
            if (value != u"on" && value != u"off")
                return usageError(QStringLiteral("--dayname takes on or off, not '%1'").arg(value));
            dayName = value == u"on";
        }
    } else if (command != u"dump") {
        return usageError(QStringLiteral("unknown command '%1'").arg(command));
    }
    if (args.size() != 1)
        return usageError(args.isEmpty()
                ? QStringLiteral("the year file is missing")
                : QStringLiteral("one year file only, not %1 arguments").arg(args.size()));
    if (args.front().startsWith(u'-') && args.front().size() > 1)
        return usageError(QStringLiteral("unknown option '%1'").arg(args.front()));

    QString problem;
    const std::optional<TYearFile> file = splitYearFilePath(ExpandHome(args.front()), problem);
    if (!file)
        return usageError(problem);
    return command == u"dump" ? dump(*file) : rewrite(*file, dayName);
}

#ifdef KIVLOG_CLI_EXTRA

// The whole of kivlog-cli, for the commands the program itself hands over.
extern "C" [[gnu::visibility("default")]] int KivlogCliMain(int argc, char *argv[])
{
    return cliMain(argc, argv);
}

#else

int main(int argc, char *argv[])
{
    if (!(argc > 1 && std::strcmp(argv[1], "import") == 0) && !exportsPdf(argc, argv))
        return cliMain(argc, argv);
    // The module lies beside the program in the build and in the library folder once installed.
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = length > 0 ? std::string(self, size_t(length)) : std::string(argv[0]);
    dir.erase(dir.find_last_of('/') + 1);
    std::string tried;
    for (const std::string &path :
        { dir + "kivlog-cli-extra.so", dir + KIVLOG_CLI_EXTRA_FROM_BIN "/kivlog-cli-extra.so" }) {
        if (void *module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (const auto run
                = reinterpret_cast<int (*)(int, char **)>(::dlsym(module, "KivlogCliMain")))
                return run(argc, argv);
        }
        tried += std::string("\n  ") + ::dlerror();
    }
    std::fprintf(
        stderr, "kivlog-cli: cannot load the part that runs %s:%s\n", argv[1], tried.c_str());
    return kExitFailed;
}

#endif
