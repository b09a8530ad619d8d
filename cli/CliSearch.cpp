// kivlog-cli search and export: every year file of a diary's folder, read without writing.
#include "CliSearch.h"

#include "CliOutput.h"
#include "CommandLine.h"
#include "Cp932.h"
#include "DayTexts.h"
#include "DiaryExport.h"
#include "DiaryPictures.h"
#include "DiaryReading.h"
#include "DiarySearch.h"
#include "DiskCopies.h"
#include "Exceptions.h"
#include "FileReader.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "PictureFiles.h"
#include "Services.h"
#include "YearFile.h"

#include <QFile>
#include <QFileInfo>
#include <QStringEncoder>
#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <unistd.h>

using namespace diarysearch;

namespace {

constexpr int kExitFound = 0;
constexpr int kExitNothing = 1;
constexpr int kExitUsage = 2;
// Characters of a day's line shown around its first hit: about a terminal line of Japanese.
constexpr qsizetype kExcerptChars = 40;

} // namespace

// The folder, prefix and extension as the store spells them ("/" after the folder, "." before
// the extension), or nullopt with the reason after a usage error.
std::optional<TDataFolder> StoreSpelling(const TDataFolder &folder, int &status)
{
    TKivDiary store;
    store.SetAutoSave(false);
    folder.ApplyTo(store);
    const QString dir = store.BaseDir().isEmpty() ? QStringLiteral(".") : store.BaseDir();
    // Another user's folder lists as empty: say why instead of "nothing found".
    if (::access(QFile::encodeName(dir).constData(), R_OK | X_OK) != 0 && errno == EACCES) {
        status = usageError(QStringLiteral("cannot read folder '%1': permission denied").arg(dir));
        return std::nullopt;
    }
    if (!QFileInfo(dir).isDir()) {
        status = usageError(QStringLiteral("no folder '%1'").arg(dir));
        return std::nullopt;
    }
    return TDataFolder::Of(store);
}

std::optional<TDataFolder> DiaryFolder(const TDataFolder &folder, int &status)
{
    std::optional<TDataFolder> store = StoreSpelling(folder, status);
    if (!store)
        return store;
    // A mistyped prefix or a folder emptied by a sync must not pass for a diary with nothing in
    // it: a backup script would get an empty export and no error.
    if (ListYearFiles(store->BaseDir, store->Prefix, store->Ext).isEmpty()) {
        print(stderr,
            QStringLiteral("kivlog-cli: no year file %1????%2 found in %3\n")
                .arg(store->Prefix, store->Ext, FullFolderPath(store->BaseDir)));
        status = 1;
        return std::nullopt;
    }
    return store;
}

TFileAccess ExportAccess(const TDataFolder &folder, const QString &outPath)
{
    QStringList years;
    for (const TYearFileRef &file : ListYearFiles(folder.BaseDir, folder.Prefix, folder.Ext))
        years << file.Path;
    return AccessOfCopy(years, outPath);
}

TFolderOption TakeFolderOption(const QString &arg, const QString *next, TDataFolder &folder)
{
    if (!arg.startsWith(u'-') || arg.startsWith(u"--") || !folder.TakeOption(arg))
        return TFolderOption::NotOne;
    // "-d ~/Data": the value after a blank would be taken for a word or a file of the command.
    if (arg.size() == 2 && next && !next->startsWith(u'-')) {
        usageError(QStringLiteral("%1 takes its value right after the letter, as in %1%2, not "
                                  "after a blank")
                       .arg(arg, *next));
        return TFolderOption::Refused;
    }
    return TFolderOption::Taken;
}

std::optional<int> FolderArgument(const QString &arg, const QString *next, TDataFolder &folder)
{
    switch (TakeFolderOption(arg, next, folder)) {
    case TFolderOption::Taken:
        return std::nullopt;
    case TFolderOption::Refused:
        return kExitUsage;
    case TFolderOption::NotOne:
        break;
    }
    return usageError(QStringLiteral("unknown argument '%1'").arg(arg));
}

namespace {

// The headings of the days found, "yyyy/mm/dd(aaa)" as DayHeading writes them, in UTF-8: the
// weekday names taken once, the digits written straight into the output.
class TDayHeadings {
public:
    TDayHeadings()
    {
        const TWeekdayNames names = DiaryWeekdayNames();
        for (size_t i = 0; i < names.size(); ++i)
            FNames[i] = names[i].toUtf8();
    }
    void Append(double dayNumber, QByteArray &out) const
    {
        const QDate date = DayNumberToDate(dayNumber);
        if (date.year() < 1000 || date.year() > 9999) {
            out += DayHeading(dayNumber).toUtf8();
            return;
        }
        char digits[] = "0000/00/00(";
        const auto put = [&](int at, int value, int width) {
            for (int i = at + width - 1; i >= at; --i, value /= 10)
                digits[i] = char('0' + value % 10);
        };
        put(0, date.year(), 4);
        put(5, date.month(), 2);
        put(8, date.day(), 2);
        out.append(digits, 11);
        out += FNames[size_t(date.dayOfWeek() - 1)];
        out += ')';
    }

private:
    std::array<QByteArray, 7> FNames;
};

void reportSkipped(const QString &path, const QString &reason)
{
    print(stderr, QStringLiteral("kivlog-cli: %1 skipped: %2\n").arg(path, reason));
}

std::optional<double> parseDay(const QString &text)
{
    for (const QString &format : { QStringLiteral("yyyy/MM/dd"), QStringLiteral("yyyy-MM-dd") }) {
        const QDate date = QDate::fromString(text, format);
        if (date.isValid())
            return DateToDayNumber(date);
    }
    return std::nullopt;
}

} // namespace

int RunSearch(QStringList args)
{
    TDataFolder folder;
    QStringList words;
    bool optionsEnd = false;
    bool full = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!optionsEnd && arg == u"--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg == u"--full") {
            full = true;
        } else if (!optionsEnd && arg.startsWith(u'-') && arg.size() > 1) {
            // An empty value stays possible with "--" before the words.
            switch (TakeFolderOption(arg, i + 1 < args.size() ? &args[i + 1] : nullptr, folder)) {
            case TFolderOption::NotOne:
                return usageError(QStringLiteral("unknown option '%1'").arg(arg));
            case TFolderOption::Refused:
                return kExitUsage;
            case TFolderOption::Taken:
                break;
            }
        } else {
            words << arg;
        }
    }
    const TSearchQuery query(words.join(u' '));
    if (query.IsEmpty())
        return usageError(QStringLiteral("search needs a word to look for"));
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = DiaryFolder(folder, status);
    if (!spelled)
        return status;

    // The years are read, searched and let go on both cores, each to whichever is free, and
    // printed in order as soon as each and those before it are done: no more than two years'
    // texts are held.
    const QList<TYearFileRef> files
        = ListYearFiles(spelled->BaseDir, spelled->Prefix, spelled->Ext);
    struct TYearOut {
        QByteArray Out;
        QString Skipped;
        bool Done = false;
    };
    std::vector<TYearOut> outs(static_cast<size_t>(files.size()));
    const TDayHeadings headings;
    std::atomic<qsizetype> next = 0;
    std::mutex lock;
    std::condition_variable done;
    const auto searchYear = [&](qsizetype at) {
        const TYearFileRef &file = files[at];
        TYearOut out;
        QStringEncoder utf8(QStringEncoder::Utf8);
        try {
            for (const TSearchHit &hit : TSearchIndex::SearchYear(
                     { file.Year, file.Path, {} }, query, full ? -1 : kExcerptChars)) {
                headings.Append(hit.Date, out.Out);
                out.Out += ' ';
                const QString line = diaryexport::VisibleControls(hit.Line);
                // Encoded straight onto the year's output: at most three bytes a unit.
                const qsizetype start = out.Out.size();
                out.Out.resize(start + 3 * line.size() + 1);
                char *const end = utf8.appendToBuffer(out.Out.data() + start, line);
                *end = '\n';
                out.Out.truncate(end + 1 - out.Out.constData());
            }
        } catch (const std::exception &e) {
            out.Skipped = ExceptionMessage(e);
        }
        out.Done = true;
        const std::lock_guard<std::mutex> held(lock);
        outs[static_cast<size_t>(at)] = std::move(out);
        done.notify_all();
    };
    std::thread helper;
    if (files.size() > 1 && std::thread::hardware_concurrency() > 1) {
        helper = std::thread([&] {
            for (qsizetype at = next++; at < files.size(); at = next++)
                searchYear(at);
        });
    }
    bool found = false;
    for (qsizetype printed = 0; printed < files.size(); ++printed) {
        // This thread searches too until the year to print next is done.
        std::unique_lock<std::mutex> held(lock);
        while (!outs[static_cast<size_t>(printed)].Done) {
            held.unlock();
            const qsizetype at = next++;
            if (at < files.size()) {
                searchYear(at);
                held.lock();
            } else {
                held.lock();
                done.wait(held, [&] { return outs[static_cast<size_t>(printed)].Done; });
            }
        }
        const TYearOut out = std::move(outs[static_cast<size_t>(printed)]);
        held.unlock();
        if (!out.Skipped.isEmpty())
            reportSkipped(files[printed].Path, out.Skipped);
        found = found || !out.Out.isEmpty();
        std::fwrite(out.Out.constData(), 1, size_t(out.Out.size()), stdout);
    }
    if (helper.joinable())
        helper.join();
    return found ? kExitFound : kExitNothing;
}

int RunOnThisDay(QStringList args)
{
    TDataFolder folder;
    std::optional<double> day;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == u"--date" || arg.startsWith(u"--date=")) {
            if (arg == u"--date" && args.isEmpty())
                return usageError(QStringLiteral("--date needs a value"));
            const QString value = arg == u"--date" ? args.takeFirst() : arg.mid(7);
            day = parseDay(value);
            if (!day)
                return usageError(
                    QStringLiteral("'%1' is no date of the form yyyy/mm/dd").arg(value));
        } else if (const std::optional<int> wrong
            = FolderArgument(arg, args.isEmpty() ? nullptr : &args.front(), folder)) {
            return *wrong;
        }
    }
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = DiaryFolder(folder, status);
    if (!spelled)
        return status;

    TSearchIndex index;
    index.SetFolder(spelled->BaseDir, spelled->Prefix, spelled->Ext);
    const QList<TSkippedFile> skipped = index.Refresh();
    QString out;
    for (const TDayEntry &entry :
        diaryreading::OnThisDay(index, DayNumberToDate(day.value_or(DiaryToday())))) {
        out += DayHeading(entry.Date) + u' ' + diaryreading::FirstLines(entry.Text, 1).value(0)
            + u'\n';
    }
    print(stdout, out);
    for (const TSkippedFile &file : skipped)
        reportSkipped(file.Path, file.Reason);
    return out.isEmpty() ? kExitNothing : kExitFound;
}

int RunExport(QStringList args)
{
    TDataFolder folder;
    QString format = QStringLiteral("text");
    QString outPath;
    std::optional<double> from;
    std::optional<double> to;
    bool asWritten = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        QString value;
        if (arg == u"--as-is") {
            asWritten = true;
            continue;
        }
        const auto takeValue = [&](const QString &name) {
            if (arg.startsWith(name + u'=')) {
                value = arg.mid(name.size() + 1);
                return true;
            }
            if (arg != name)
                return false;
            if (args.isEmpty())
                throw std::invalid_argument("");
            value = args.takeFirst();
            return true;
        };
        try {
            if (takeValue(QStringLiteral("--format"))) {
                if (!diaryexport::FormatNamed(value) && value != u"pdf")
                    return usageError(QStringLiteral("--format takes text, markdown, html, "
                                                     "json or pdf, not '%1'")
                                          .arg(value));
                format = value;
            } else if (takeValue(QStringLiteral("--from")) || takeValue(QStringLiteral("--to"))) {
                const std::optional<double> day = parseDay(value);
                if (!day)
                    return usageError(
                        QStringLiteral("'%1' is no date of the form yyyy/mm/dd").arg(value));
                (arg.startsWith(u"--from") ? from : to) = day;
            } else if (takeValue(QStringLiteral("-o"))) {
                outPath = ExpandHome(value);
            } else if (const std::optional<int> wrong
                = FolderArgument(arg, args.isEmpty() ? nullptr : &args.front(), folder)) {
                return *wrong;
            }
        } catch (const std::invalid_argument &) {
            return usageError(QStringLiteral("%1 needs a value").arg(arg));
        }
    }
    if (from && to && *from > *to)
        return usageError(QStringLiteral("--from lies after --to"));
    if (asWritten && format != u"markdown")
        return usageError(QStringLiteral("--as-is goes with --format markdown"));
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = DiaryFolder(folder, status);
    if (!spelled)
        return status;
    // An export in place of a year file, its .bak, a dated backup or a conflict copy, of this
    // diary or another, would put a text no diary reads where a version of a diary was.
    if (!outPath.isEmpty()
        && (IsDiaryOwnFile(spelled->BaseDir, spelled->Prefix, spelled->Ext, outPath)
            || IsDiaryVersionFile(outPath)))
        return usageError(
            QStringLiteral("-o '%1' is a file the diary keeps; export elsewhere").arg(outPath));

#ifdef KIVLOG_CLI_EXTRA
    if (format == u"pdf")
        return ExportPdf(*spelled, { from, to }, outPath);
#endif
    const diaryexport::TExport exported
        = diaryexport::ExportFolder(spelled->BaseDir, spelled->Prefix, spelled->Ext,
            asWritten ? diaryexport::TFormat::MarkdownAsWritten : *diaryexport::FormatNamed(format),
            { from, to });
    for (const diaryexport::TSkipped &skipped : exported.Skipped)
        reportSkipped(skipped.Path, skipped.Reason);
    const bool failed = !exported.Skipped.isEmpty();
    const QString &out = exported.Out;
    if (exported.Replaced > 0) {
        print(stderr,
            QStringLiteral("kivlog-cli: %1 written as U+FFFD\n")
                .arg(counted(exported.Replaced, QStringLiteral("byte that is not CP932 was"),
                    QStringLiteral("bytes that are not CP932 were"))));
    }
    if (outPath.isEmpty()) {
        print(stdout, out);
    } else {
        const TFileWrite written
            = ReplaceFile(outPath, out.toUtf8(), ExportAccess(*spelled, outPath));
        if (!written) {
            print(stderr,
                QStringLiteral("kivlog-cli: cannot write %1: %2\n").arg(outPath, written.Error));
            return kExitNothing;
        }
        // The pictures the export links to go beside it, as its links say.
        for (const QString &missing : CopyPicturesBeside(
                 spelled->BaseDir, exported.Pictures, QFileInfo(outPath).absolutePath())) {
            print(stderr, QStringLiteral("kivlog-cli: picture not copied: %1\n").arg(missing));
        }
    }
    return failed ? kExitNothing : kExitFound;
}

namespace {

QString noneOr(const QStringList &items)
{
    return items.isEmpty() ? QStringLiteral("none") : items.join(QStringLiteral(", "));
}

} // namespace

int RunCheck(QStringList args)
{
    TDataFolder folder;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (const std::optional<int> wrong
            = FolderArgument(args[i], i + 1 < args.size() ? &args[i + 1] : nullptr, folder)) {
            return *wrong;
        }
    }
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = DiaryFolder(folder, status);
    if (!spelled)
        return status;
    bool allLoad = true;
    bool anyConflict = false;
    const QList<TYearFileRef> files
        = ListYearFiles(spelled->BaseDir, spelled->Prefix, spelled->Ext);
    for (const TYearFileRef &file : files) {
        QString state;
        try {
            const TYearContents contents = ReadYearFileAt(file.Path, file.Year).Contents;
            // Each rejected block begins with its day header, kept with one more "!".
            const QByteArray &rejected = contents.ErrorData;
            const qsizetype blocks = rejected.startsWith("!![") + rejected.count("\r\n!![");
            state = QStringLiteral("ok; ")
                + counted(contents.Days.size(), QStringLiteral("day"), QStringLiteral("days"))
                + QStringLiteral("; ")
                + counted(
                    blocks, QStringLiteral("rejected block"), QStringLiteral("rejected blocks"));
        } catch (const Exception &e) {
            allLoad = false;
            state = QStringLiteral("does not load: ") + e.Message();
        }
        const QStringList backups
            = DatedBackupsOf(spelled->BaseDir, spelled->Prefix, file.Year, spelled->Ext);
        // A version that lives only in a copy beside the year file is as wrong as a year that
        // does not load.
        const QStringList copies = ConflictCopiesOf(file.Path, spelled->Ext);
        anyConflict = anyConflict || !copies.isEmpty();
        print(stdout,
            QStringLiteral("%1: %2; conflict files: %3; newest backup: %4\n")
                .arg(file.Path, state, noneOr(copies),
                    backups.isEmpty() ? QStringLiteral("none") : backups.last()));
    }
    // Pictures: a line whose file is missing is as wrong as a conflict; a file no line names is
    // only said (the diary puts it into backup/ once it has stood unnamed for a while).
    const diarypictures::TPictureAudit pictures
        = diarypictures::AuditPictures(spelled->BaseDir, spelled->Prefix, spelled->Ext);
    for (const diarypictures::TNamedPicture &picture : pictures.Missing) {
        print(stdout,
            QStringLiteral("%1: missing; named on %2\n")
                .arg(PicturePath(spelled->BaseDir, picture.Name),
                    DayNumberToDate(picture.Date).toString(QStringLiteral("yyyy/MM/dd"))));
    }
    for (const QString &name : pictures.Unnamed) {
        print(stdout,
            QStringLiteral("%1: named by no line\n").arg(PicturePath(spelled->BaseDir, name)));
    }
    return allLoad && !anyConflict && pictures.Missing.empty() ? 0 : 1;
}
