// kivlog-cli import: reads the sources, then takes their days into the diary through its store.
#include "CliImport.h"

#include "CliOutput.h"
#include "CliSearch.h"
#include "CommandLine.h"
#include "DataFolderLock.h"
#include "DayTexts.h"
#include "DiaryImport.h"
#include "Exceptions.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "Services.h"

#include <QDir>
#include <QFileInfo>

using namespace diaryimport;

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;

QString dayList(const QList<QDate> &days)
{
    QStringList out;
    for (const QDate day : days)
        out << FormatDate(QStringLiteral("yyyy/mm/dd"), day);
    return out.join(QStringLiteral(", "));
}

// A year's counts and the days that changed, by kind; with verbose also the characters left out.
QString yearLines(const TYearOutcome &year, bool verbose)
{
    if (!year.Error.isEmpty())
        return QStringLiteral("%1: nothing taken in, the year file does not read: %2\n")
            .arg(QString::number(year.Year), year.Error);
    QString line = QString::number(year.Year) + QStringLiteral(": ")
        + counted(year.Added.size(), QStringLiteral("day added"), QStringLiteral("days added"))
        + QStringLiteral("; ")
        + counted(
            year.Extended.size(), QStringLiteral("day extended"), QStringLiteral("days extended"))
        + QStringLiteral("; ")
        + counted(year.BothTexts.size(), QStringLiteral("day holds"), QStringLiteral("days hold"))
        + QStringLiteral(" both texts\n");
    for (const auto &[kind, days] : { std::pair { "added", &year.Added },
             { "extended", &year.Extended }, { "both texts", &year.BothTexts } }) {
        if (!days->isEmpty())
            line += QStringLiteral("  %1: %2\n").arg(QLatin1StringView(kind), dayList(*days));
    }
    if (!year.NotStored.isEmpty()) {
        line += QStringLiteral("  control characters left out, as the editor refuses them, on ")
            + counted(year.NotStored.size(), QStringLiteral("day"), QStringLiteral("days")) + u'\n';
    }
    if (verbose) {
        for (const QString &chars : year.NotStored)
            line += QStringLiteral("    ") + chars + u'\n';
    }
    if (!year.Changed.isEmpty())
        line += QStringLiteral("  stored as their Shift-JIS look-alikes: ")
            + CharacterCounts(year.Changed) + u'\n';
    if (!year.Referenced.isEmpty())
        line += QStringLiteral("  kept as character references: ")
            + CharacterCounts(year.Referenced) + u'\n';
    return line;
}

// A source's counts of what did not come in as it stands; with verbose each of them.
QString sourceLines(const TSource &source, bool verbose)
{
    QStringList counts;
    if (!source.Skipped.isEmpty())
        counts << counted(source.Skipped.size(), QStringLiteral("entry or file skipped"),
            QStringLiteral("entries and files skipped"));
    if (!source.Guessed.isEmpty())
        counts << counted(source.Guessed.size(), QStringLiteral("time zone guessed"),
            QStringLiteral("time zones guessed"));
    if (!source.Media.isEmpty())
        counts << counted(source.Media.size(), QStringLiteral("media file not copied"),
            QStringLiteral("media files not copied"));
    if (counts.isEmpty())
        return QString();
    QString out = source.Path + QStringLiteral(": ") + counts.join(QStringLiteral(", "))
        + (verbose ? QString() : QStringLiteral(" (--verbose names them)")) + u'\n';
    if (!verbose)
        return out;
    for (const TSkipped &skipped : source.Skipped)
        out += QStringLiteral("  skipped: %1: %2\n").arg(skipped.Where, skipped.Reason());
    for (const TSkipped &guess : source.Guessed)
        out += QStringLiteral("  guessed: %1: %2\n").arg(guess.Where, guess.Reason());
    for (const QString &media : source.Media)
        out += QStringLiteral("  not copied: ") + media + u'\n';
    return out;
}

} // namespace

int RunImport(QStringList args)
{
    TDataFolder folder;
    TFormat format = TFormat::Auto;
    bool dryRun = false;
    bool verbose = false;
    bool optionsEnd = false;
    QStringList paths;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (optionsEnd || !arg.startsWith(u'-') || arg.size() == 1) {
            paths << ExpandHome(arg);
        } else if (arg == u"--") {
            optionsEnd = true;
        } else if (arg == u"--dry-run") {
            dryRun = true;
        } else if (arg == u"--verbose") {
            verbose = true;
        } else if (arg == u"--format" || arg.startsWith(u"--format=")) {
            if (arg == u"--format" && args.isEmpty())
                return usageError(QStringLiteral("--format needs a value"));
            const QString value = arg == u"--format" ? args.takeFirst() : arg.mid(9);
            const std::optional<TFormat> named = FormatNamed(value);
            if (!named)
                return usageError(QStringLiteral("--format takes dayone, jrnl, rednotebook or "
                                                 "days, not '%1'")
                                      .arg(value));
            format = *named;
        } else if (const std::optional<int> wrong
            = FolderArgument(arg, args.isEmpty() ? nullptr : &args.front(), folder)) {
            return *wrong;
        }
    }
    if (paths.isEmpty())
        return usageError(QStringLiteral("import needs a file or folder to read"));
    // Before the diary's first start its folder is not there yet: an import makes it as that
    // start would (a dry run writes nothing, and says so).
    TKivDiary probe;
    folder.ApplyTo(probe);
    if (!probe.BaseDir().isEmpty() && !QFileInfo::exists(probe.BaseDir())) {
        const QString full = FullFolderPath(probe.BaseDir());
        if (dryRun)
            return usageError(QStringLiteral("no folder '%1' (the diary's first start or an "
                                             "import without --dry-run makes it)")
                                  .arg(probe.BaseDir()));
        if (!MakeFolders(full))
            return usageError(QStringLiteral("cannot make folder '%1'").arg(full));
        print(stderr, QStringLiteral("kivlog-cli: made the data folder %1\n").arg(full));
    }
    int status = 2;
    const std::optional<TDataFolder> spelled = StoreSpelling(folder, status);
    if (!spelled)
        return status;

    QList<TSource> sources;
    bool failed = false;
    for (const QString &path : std::as_const(paths)) {
        TSource source = ReadSource(path, format);
        if (!source.Error.isEmpty()) {
            failed = true;
            print(stderr,
                QStringLiteral("kivlog-cli: %1 cannot be read, nothing taken from it: %2\n")
                    .arg(path, source.Error));
            continue;
        }
        sources << std::move(source);
    }
    const std::map<QDate, QString> days = JoinDays(sources);

    QStringList messages;
    TScopedDiaryServices services({ [&](const QString &m) {
                                       messages << m;
                                       print(stderr, m + u'\n');
                                   },
        {}, {} });
    // Held to the end, so no diary starts on the folder halfway through.
    TDataFolderLock lock;
    const QString lockFolder = spelled->BaseDir.isEmpty() ? QDir::currentPath() : spelled->BaseDir;
    if (!dryRun && !days.empty() && lock.Acquire(lockFolder) == TDataFolderLock::TState::InUse) {
        print(stderr,
            QStringLiteral("kivlog-cli: the data folder %1 is in use by a diary%2; close it "
                           "before an import\n")
                .arg(lockFolder,
                    lock.HolderPid() > 0 ? QStringLiteral(" (process %1)").arg(lock.HolderPid())
                                         : QString()));
        return kExitFailed;
    }
    QList<TYearOutcome> outcomes;
    if (!days.empty()) {
        TKivDiary store;
        store.SetAutoSave(!dryRun);
        try {
            spelled->ApplyTo(store);
            store.SetYear(days.begin()->first.year());
            store.Open();
            // The pictures are in place before a line names them.
            if (!dryRun) {
                for (const QString &why : CopyPictures(sources, spelled->BaseDir))
                    print(stderr, QStringLiteral("kivlog-cli: picture not copied: %1\n").arg(why));
            }
            outcomes = TakeInto(store, days);
            store.Close();
        } catch (const Exception &e) {
            store.SetAutoSave(false);
            print(stderr, QStringLiteral("kivlog-cli: import stopped: %1\n").arg(e.Message()));
            return kExitFailed;
        } catch (const std::bad_alloc &) {
            store.SetAutoSave(false);
            print(stderr, QStringLiteral("kivlog-cli: import stopped: out of memory\n"));
            return kExitFailed;
        }
    }

    QString out;
    for (const TYearOutcome &year : std::as_const(outcomes)) {
        out += yearLines(year, verbose);
        failed = failed || !year.Error.isEmpty();
    }
    for (const TSource &source : std::as_const(sources))
        out += sourceLines(source, verbose);
    // Nothing to take in is no success: the source was likely not the one meant.
    if (outcomes.isEmpty() && !failed) {
        out += QStringLiteral("no day to take in\n");
        failed = true;
    }
    if (dryRun)
        out += QStringLiteral("dry run: nothing written\n");
    print(stdout, out);
    return failed ? kExitFailed : kExitDone;
}
