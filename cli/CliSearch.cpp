// kivlog-cli search and export: every year file of a diary's folder, read without writing.
#include "CliSearch.h"

#include "CliOutput.h"
#include "CommandLine.h"
#include "Cp932.h"
#include "DayNumber.h"
#include "DiarySearch.h"
#include "DiskCopies.h"
#include "Exceptions.h"
#include "FileWriter.h"
#include "KivDiary.h"
#include "Services.h"
#include "YearFile.h"

#include <QFileInfo>
#include <algorithm>
#include <optional>

using namespace diarysearch;

namespace {

constexpr int kExitFound = 0;
constexpr int kExitNothing = 1;
constexpr int kExitUsage = 2;

} // namespace

// The folder, prefix and extension as the store spells them ("/" after the folder, "." before
// the extension), or nullopt with the reason after a usage error.
std::optional<TDataFolder> StoreSpelling(const TDataFolder &folder, int &status)
{
    TKivDiary store;
    store.SetAutoSave(false);
    folder.ApplyTo(store);
    const QString dir = store.BaseDir().isEmpty() ? QStringLiteral(".") : store.BaseDir();
    if (!QFileInfo(dir).isDir()) {
        status = usageError(QStringLiteral("no folder '%1'").arg(dir));
        return std::nullopt;
    }
    return TDataFolder::Of(store);
}

namespace {

QString dateText(double day) { return FormatDayNumber(QStringLiteral("yyyy/mm/dd(aaa)"), day); }

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

// The text as an export shows it: LF line breaks, no trailing blank lines.
QString exportText(const QByteArray &bytes)
{
    QString text = cp932::Decode(bytes);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(u'\r', u'\n');
    while (text.endsWith(u'\n') || text.endsWith(u' ') || text.endsWith(u'\t'))
        text.chop(1);
    return text;
}

QString htmlEscaped(const QString &text) { return text.toHtmlEscaped(); }

// A line break that Markdown keeps; a "#" at a line's start would make a heading of it.
QString markdownText(const QString &text)
{
    QStringList lines = text.split(u'\n');
    for (QString &line : lines) {
        if (line.startsWith(u'#'))
            line.prepend(u'\\');
        if (!line.trimmed().isEmpty())
            line += QStringLiteral("  ");
    }
    return lines.join(u'\n');
}

const char kHtmlHead[] = R"(<!DOCTYPE html>
<html lang="ja">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>%1</title>
<style>
body { margin: 2em auto; max-width: 40em; padding: 0 1em; color: #222; background: #fff;
  font-family: "Noto Serif CJK JP", "IPAexMincho", "IPAMincho", serif;
  line-height: 1.9; font-size: 16px; }
h1 { font-size: 1.5em; font-weight: normal; }
h2 { font-size: 1.1em; border-bottom: 1px solid #ccc; margin: 2.5em 0 0.8em; }
div.text { white-space: pre-wrap; line-break: strict; overflow-wrap: anywhere;
  text-align: justify; }
</style>
</head>
<body>
<h1>%1</h1>
)";

} // namespace

int RunSearch(QStringList args)
{
    TDataFolder folder;
    QStringList words;
    bool optionsEnd = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        if (!optionsEnd && arg == u"--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.startsWith(u'-') && arg.size() > 1) {
            if (!folder.TakeOption(arg))
                return usageError(QStringLiteral("unknown option '%1'").arg(arg));
            // "-d ~/Data": the value after a blank would be searched for, as check and export
            // refuse it. An empty value stays possible with "--" before the words.
            if (arg.size() == 2 && i + 1 < args.size() && !args[i + 1].startsWith(u'-'))
                return usageError(QStringLiteral("%1 takes its value right after the letter, "
                                                 "as in %1%2, not after a blank")
                                      .arg(arg, args[i + 1]));
        } else {
            words << arg;
        }
    }
    const TSearchQuery query(words.join(u' '));
    if (query.IsEmpty())
        return usageError(QStringLiteral("search needs a word to look for"));
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = StoreSpelling(folder, status);
    if (!spelled)
        return status;

    TSearchIndex index;
    index.SetFolder(spelled->BaseDir, spelled->Prefix, spelled->Ext);
    const TSearchResult result = index.Search(query);
    QString out;
    for (const TSearchHit &hit : result.Hits)
        out += dateText(hit.Date) + u' ' + hit.Line + u'\n';
    print(stdout, out);
    for (const TSkippedFile &skipped : result.Skipped)
        reportSkipped(skipped.Path, skipped.Reason);
    return result.Hits.empty() ? kExitNothing : kExitFound;
}

int RunExport(QStringList args)
{
    TDataFolder folder;
    QString format = QStringLiteral("text");
    QString outPath;
    std::optional<double> from;
    std::optional<double> to;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        QString value;
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
                if (value != u"text" && value != u"markdown" && value != u"html"
                    && value != u"json")
                    return usageError(QStringLiteral("--format takes text, markdown, html or "
                                                     "json, not '%1'")
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
            } else if (!arg.startsWith(u'-') || !folder.TakeOption(arg)) {
                return usageError(QStringLiteral("unknown argument '%1'").arg(arg));
            }
        } catch (const std::invalid_argument &) {
            return usageError(QStringLiteral("%1 needs a value").arg(arg));
        }
    }
    if (from && to && *from > *to)
        return usageError(QStringLiteral("--from lies after --to"));
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = StoreSpelling(folder, status);
    if (!spelled)
        return status;
    // An export in place of a year file, its .bak or a dated backup would put a text no diary
    // reads where the diary keeps its versions.
    if (!outPath.isEmpty()
        && IsDiaryOwnFile(spelled->BaseDir, spelled->Prefix, spelled->Ext, outPath))
        return usageError(
            QStringLiteral("-o '%1' is a file the diary keeps; export elsewhere").arg(outPath));

    const auto inRange = [&](double day) { return (!from || day >= *from) && (!to || day <= *to); };
    const bool json = format == u"json";
    QStringList yearObjects;
    QString body;
    bool failed = false;
    for (const TYearFileRef &file :
        ListYearFiles(spelled->BaseDir, spelled->Prefix, spelled->Ext)) {
        if ((from && file.Year < DayNumberToDate(*from).year())
            || (to && file.Year > DayNumberToDate(*to).year()))
            continue;
        TYearRead read;
        try {
            read = ReadYearFileAt(file.Path, file.Year);
        } catch (const Exception &e) {
            reportSkipped(file.Path, e.Message());
            failed = true;
            continue;
        }
        if (json) {
            yearObjects << dumpJson(file.Year, read.Contents, read.Messages, inRange).trimmed();
            continue;
        }
        std::sort(read.Contents.Days.begin(), read.Contents.Days.end(),
            [](const TDayText &a, const TDayText &b) { return a.FDate < b.FDate; });
        for (const TDayText &entry : read.Contents.Days) {
            const double day = entry.FDate;
            if (!inRange(day))
                continue;
            const QString text = exportText(entry.FText);
            if (format == u"text") {
                body += dateText(day) + u'\n' + text + QStringLiteral("\n\n");
            } else if (format == u"markdown") {
                body += QStringLiteral("## ") + dateText(day) + QStringLiteral("\n\n")
                    + markdownText(text) + QStringLiteral("\n\n");
            } else {
                body += QStringLiteral("<section id=\"d%1\">\n<h2>%2</h2>\n<div class=\"text\">")
                            .arg(DayNumberToDate(day).toString(Qt::ISODate),
                                htmlEscaped(dateText(day)))
                    + htmlEscaped(text) + QStringLiteral("</div>\n</section>\n");
            }
        }
    }

    QString out;
    const QString title = QStringLiteral("日記");
    if (json)
        out = u'[' + yearObjects.join(QStringLiteral(",\n")) + QStringLiteral("]\n");
    else if (format == u"markdown")
        out = QStringLiteral("# ") + title + QStringLiteral("\n\n") + body;
    else if (format == u"html")
        out = QString::fromUtf8(kHtmlHead).arg(title) + body + QStringLiteral("</body>\n</html>\n");
    else
        out = body;

    // CP932 has no U+FFFD of its own: every one in the output stands for bytes that did not
    // decode.
    const qsizetype replaced = out.count(QChar(0xFFFD));
    if (replaced > 0) {
        print(stderr,
            QStringLiteral("kivlog-cli: %1 bytes that are not CP932 were written as U+FFFD\n")
                .arg(replaced));
    }
    if (outPath.isEmpty()) {
        print(stdout, out);
    } else {
        const TFileWrite written = ReplaceFile(outPath, out.toUtf8(), AccessOfFile(outPath));
        if (!written) {
            print(stderr,
                QStringLiteral("kivlog-cli: cannot write %1: %2\n").arg(outPath, written.Error));
            return kExitNothing;
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
    for (const QString &arg : args) {
        if (!folder.TakeOption(arg))
            return usageError(QStringLiteral("unknown argument '%1'").arg(arg));
    }
    int status = kExitUsage;
    const std::optional<TDataFolder> spelled = StoreSpelling(folder, status);
    if (!spelled)
        return status;
    bool allLoad = true;
    const QList<TYearFileRef> files
        = ListYearFiles(spelled->BaseDir, spelled->Prefix, spelled->Ext);
    // A mistyped prefix or a folder emptied by a sync must not pass as a healthy diary.
    if (files.isEmpty()) {
        print(stderr,
            QStringLiteral("kivlog-cli: no year file %1????%2 found in %3\n")
                .arg(spelled->Prefix, spelled->Ext, FullFolderPath(spelled->BaseDir)));
        return 1;
    }
    for (const TYearFileRef &file : files) {
        QString state;
        try {
            const TYearContents contents = ReadYearFileAt(file.Path, file.Year).Contents;
            // Each rejected block begins with its day header, kept with one more "!".
            const QByteArray &rejected = contents.ErrorData;
            state = QStringLiteral("ok; %1 days; %2 rejected blocks")
                        .arg(contents.Days.size())
                        .arg(rejected.startsWith("!![") + rejected.count("\r\n!!["));
        } catch (const Exception &e) {
            allLoad = false;
            state = QStringLiteral("does not load: ") + e.Message();
        }
        const QStringList backups
            = DatedBackupsOf(spelled->BaseDir, spelled->Prefix, file.Year, spelled->Ext);
        print(stdout,
            QStringLiteral("%1: %2; conflict files: %3; newest backup: %4\n")
                .arg(file.Path, state, noneOr(ConflictFilesOf(file.Path)),
                    backups.isEmpty() ? QStringLiteral("none") : backups.last()));
    }
    return allLoad ? 0 : 1;
}
