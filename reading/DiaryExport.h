#pragma once

#include "YearFile.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

// The diary's texts taken out of the year files: plain text, Markdown, HTML or JSON. Reads
// and never writes; the caller writes the result through the file writer.
namespace diaryexport {

// Markdown escapes every character that would be markup in the days' texts; MarkdownAsWritten
// keeps the texts as they are, for a diary written in Markdown.
enum class TFormat { Text, Markdown, MarkdownAsWritten, Html, Json };
// "text", "markdown", "html" or "json".
std::optional<TFormat> FormatNamed(const QString &name);

// Days from From to To, both included; an open end takes every day on that side.
struct TRange {
    std::optional<double> From;
    std::optional<double> To;
    bool Holds(double day) const { return (!From || day >= *From) && (!To || day <= *To); }
    bool HoldsYear(int year) const;
};

struct TSkipped {
    QString Path;
    QString Reason;
};

struct TExport {
    QString Out;
    // The days written out, oldest first, as the year files or the live year hold them.
    std::vector<TDayText> Days;
    // Year files that could not be read, with why; the export holds the others.
    QList<TSkipped> Skipped;
    // U+FFFD in the output: CP932 has none of its own, so each stands for bytes that did not
    // decode.
    qsizetype Replaced = 0;
    // The pictures a Markdown or HTML export shows, linked as photos/<year>/<name> beside it:
    // the writer copies them there (CopyPicturesBeside).
    QStringList Pictures;
};

// A year as a window shows it, unsaved text included: taken instead of that year's file.
struct TLiveYear {
    int Year = 0;
    std::vector<TDayText> Days;
};

// Every year file of the folder (as the store spells it) that the range touches, and the live
// year when given. Only days that hold text are written out.
TExport ExportFolder(const QString &baseDir, const QString &prefix, const QString &ext,
    TFormat format, const TRange &range, const TLiveYear *live = nullptr);

// The text with its control characters shown, so that printing it cannot move a terminal's
// cursor, clear its screen or ring it: C0 ones (but line feed and tab) as their control pictures
// U+2400-U+241F, DEL as U+2421, C1 ones as "<U+0085>".
QString VisibleControls(QStringView text);

} // namespace diaryexport

QString jsonString(const QString &value);
// CP932 bytes as a JSON string; bytes that do not decode become U+FFFD.
QString jsonBytes(const QByteArray &bytes);
QString jsonList(const QStringList &items);
QString jsonMessages(const QStringList &messages);

// A year as read as one JSON object, with a line break after it: {"year", "modified",
// "preamble", "days": [{"date", "text"}], "settings", "error_data", "messages"}; modified as the
// diary would hold it after the read (rejected blocks to be written back). When keepDay is
// given, only the days it keeps are listed.
QString dumpJson(int year, const TYearContents &contents, const QStringList &messages,
    const std::function<bool(double)> &keepDay = {});
