// Taking the diary's texts out of its year files, in the forms kivlog-cli and the window offer.
#include "DiaryExport.h"

#include "Cp932.h"
#include "DayTexts.h"
#include "DiarySearch.h"
#include "Exceptions.h"
#include "FileReader.h"
#include "Messages.h"
#include "Pictures.h"
#include "YearFile.h"

#include <algorithm>

namespace diaryexport {

namespace {

    // The text as an export shows it: LF line breaks, no trailing blank lines, control
    // characters visible.
    QString exportText(const QByteArray &bytes)
    {
        QString text = cp932::Decode(bytes);
        text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        text.replace(u'\r', u'\n');
        while (text.endsWith(u'\n') || text.endsWith(u' ') || text.endsWith(u'\t'))
            text.chop(1);
        return VisibleControls(text);
    }

    QString htmlEscaped(const QString &text) { return text.toHtmlEscaped(); }

    // A day's text as Markdown paragraphs in which nothing is markup, so that no line of it
    // (a fence, a heading, an underline, raw HTML) reaches past its own day: HTML's & < > as
    // entities; the characters that make inline markup anywhere backslash-escaped; indentation
    // as no-break spaces, which keep it visible and make no code block; then the first
    // character of a block marker escaped. Each line ends in a hard line break.
    QString markdownText(const QString &text)
    {
        QStringList lines = text.split(u'\n');
        for (QString &line : lines) {
            // Only a line of blanks is blank to Markdown (one of U+3000 is not).
            if (std::all_of(
                    line.cbegin(), line.cend(), [](QChar c) { return c == u' ' || c == u'\t'; })) {
                line.clear();
                continue;
            }
            QString out;
            qsizetype i = 0;
            for (; i < line.size() && (line[i] == u' ' || line[i] == u'\t'); ++i)
                out += QString(line[i] == u'\t' ? 4 : 1, QChar(0x00A0));
            const qsizetype start = i;
            qsizetype digits = 0;
            while (start + digits < line.size() && line[start + digits].isDigit()
                && line[start + digits].unicode() < 0x80)
                ++digits;
            for (; i < line.size(); ++i) {
                const QChar c = line[i];
                const bool blockMarker = i == start && QStringView(u"#+-=").contains(c);
                // "1." and "1)" begin an ordered list.
                const bool listNumber
                    = digits > 0 && i == start + digits && (c == u'.' || c == u')');
                if (c == u'&')
                    out += QStringLiteral("&amp;");
                else if (c == u'<')
                    out += QStringLiteral("&lt;");
                else if (c == u'>')
                    out += QStringLiteral("&gt;");
                else if (blockMarker || listNumber || QStringView(u"\\`*_[]|~").contains(c))
                    out += QString(u'\\') + c;
                else
                    out += c;
            }
            line = out + QStringLiteral("  ");
        }
        return lines.join(u'\n');
    }

    // The length of the code fence that the line is (up to three blanks, then three or more
    // backticks or tildes), with its character; 0 when it is none.
    qsizetype fenceOf(QStringView line, QChar &mark)
    {
        qsizetype i = 0;
        while (i < 3 && i < line.size() && line[i] == u' ')
            ++i;
        if (i == line.size() || (line[i] != u'`' && line[i] != u'~'))
            return 0;
        mark = line[i];
        qsizetype length = 0;
        while (i + length < line.size() && line[i + length] == mark)
            ++length;
        return length >= 3 ? length : 0;
    }

    // A day's text as written, its Markdown read as Markdown. Only a code fence that the day
    // leaves open is closed, or every day after it would be read as code.
    QString markdownAsWritten(const QString &text)
    {
        QChar open;
        qsizetype openLength = 0;
        for (const QStringView line : QStringView(text).split(u'\n')) {
            QChar mark;
            const qsizetype length = fenceOf(line, mark);
            if (openLength == 0 && length > 0) {
                open = mark;
                openLength = length;
            } else if (openLength > 0 && length >= openLength && mark == open
                && line.trimmed().size() == length) {
                openLength = 0;
            }
        }
        return openLength == 0 ? text : text + u'\n' + QString(openLength, open);
    }

    // The link an export gives a picture: where it is copied beside the export.
    QString pictureLink(const QString &name) { return PictureFolderOf(name) + name; }

    // A day's text in Markdown or HTML with each picture line shown as its picture, the other
    // lines as 'line' makes them.
    QString withPictures(const QString &text, const std::function<QString(const QString &)> &line,
        const std::function<QString(const QString &)> &picture, QStringList &pictures)
    {
        QStringList lines = text.split(u'\n');
        for (QString &each : lines) {
            if (const std::optional<QString> name = PictureOfLine(each)) {
                each = picture(*name);
                if (!pictures.contains(*name))
                    pictures.append(*name);
            } else {
                each = line(each);
            }
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
div.text img { max-width: 100%; max-height: 80vh; vertical-align: top; }
</style>
</head>
<body>
<h1>%1</h1>
)";

} // namespace

QString VisibleControls(QStringView text)
{
    // Most lines hold no control at all and are taken as they are.
    if (std::none_of(text.begin(), text.end(), [](QChar c) {
            const char16_t u = c.unicode();
            return (u < 0x20 && u != u'\n' && u != u'\t') || (u >= 0x7F && u <= 0x9F);
        }))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\n' && u != u'\t') || u == 0x7F)
            out += QChar(u == 0x7F ? 0x2421 : 0x2400 + u);
        else if (u >= 0x80 && u <= 0x9F)
            out += QStringLiteral("<U+%1>").arg(u, 4, 16, QLatin1Char('0')).toUpper();
        else
            out += c;
    }
    return out;
}

std::optional<TFormat> FormatNamed(const QString &name)
{
    if (name == u"text")
        return TFormat::Text;
    if (name == u"markdown")
        return TFormat::Markdown;
    if (name == u"html")
        return TFormat::Html;
    if (name == u"json")
        return TFormat::Json;
    return std::nullopt;
}

bool TRange::HoldsYear(int year) const
{
    return !((From && year < DayNumberToDate(*From).year())
        || (To && year > DayNumberToDate(*To).year()));
}

TExport ExportFolder(const QString &baseDir, const QString &prefix, const QString &ext,
    TFormat format, const TRange &range, const TLiveYear *live)
{
    TExport result;
    const bool json = format == TFormat::Json;
    QStringList yearObjects;
    QString body;
    QList<diarysearch::TYearFileRef> files = diarysearch::ListYearFiles(baseDir, prefix, ext);
    // The live year is exported also when its file is not written yet.
    if (live && range.HoldsYear(live->Year)
        && std::none_of(files.cbegin(), files.cend(),
            [&](const diarysearch::TYearFileRef &file) { return file.Year == live->Year; })) {
        const auto after = std::find_if(files.begin(), files.end(),
            [&](const diarysearch::TYearFileRef &file) { return file.Year > live->Year; });
        files.insert(after, { live->Year, QString() });
    }
    for (const diarysearch::TYearFileRef &file : files) {
        if (!range.HoldsYear(file.Year))
            continue;
        TYearRead read;
        if (!file.Path.isEmpty()) {
            try {
                read = ReadYearFileAt(file.Path, file.Year);
            } catch (const Exception &e) {
                // The live year reads from the window, whatever became of its file.
                if (!live || live->Year != file.Year) {
                    result.Skipped.append({ file.Path, e.Message() });
                    continue;
                }
            }
        }
        if (live && live->Year == file.Year)
            read.Contents.Days = live->Days;
        std::erase_if(read.Contents.Days, [&](const TDayText &day) {
            return !range.Holds(day.FDate) || !HoldsDayText(day.FText);
        });
        std::sort(read.Contents.Days.begin(), read.Contents.Days.end(),
            [](const TDayText &a, const TDayText &b) { return a.FDate < b.FDate; });
        result.Days.insert(
            result.Days.end(), read.Contents.Days.cbegin(), read.Contents.Days.cend());
        if (json) {
            yearObjects << dumpJson(file.Year, read.Contents, read.Messages, [&](double day) {
                return range.Holds(day);
            }).trimmed();
            continue;
        }
        for (const TDayText &entry : read.Contents.Days) {
            const double day = entry.FDate;
            const QString text = exportText(entry.FText);
            const auto markdownPicture = [](const QString &name) {
                return QStringLiteral("![%1](%2)  ").arg(name, pictureLink(name));
            };
            if (format == TFormat::Text) {
                body += DayHeading(day) + u'\n' + text + QStringLiteral("\n\n");
            } else if (format == TFormat::Markdown) {
                body += QStringLiteral("## ") + DayHeading(day) + QStringLiteral("\n\n")
                    + withPictures(text, markdownText, markdownPicture, result.Pictures)
                    + QStringLiteral("\n\n");
            } else if (format == TFormat::MarkdownAsWritten) {
                const auto asWritten = [](const QString &line) { return line; };
                body += QStringLiteral("## ") + DayHeading(day) + QStringLiteral("\n\n")
                    + markdownAsWritten(
                        withPictures(text, asWritten, markdownPicture, result.Pictures))
                    + QStringLiteral("\n\n");
            } else {
                const auto htmlPicture = [](const QString &name) {
                    return QStringLiteral("<img src=\"%1\" alt=\"%2\">")
                        .arg(pictureLink(name), name);
                };
                body += QStringLiteral("<section id=\"d%1\">\n<h2>%2</h2>\n<div class=\"text\">")
                            .arg(DayNumberToDate(day).toString(Qt::ISODate),
                                htmlEscaped(DayHeading(day)))
                    + withPictures(text, htmlEscaped, htmlPicture, result.Pictures)
                    + QStringLiteral("</div>\n</section>\n");
            }
        }
    }

    const QString title = Text(msg::kDiaryTitle);
    if (json)
        result.Out = u'[' + yearObjects.join(QStringLiteral(",\n")) + QStringLiteral("]\n");
    else if (format == TFormat::Markdown || format == TFormat::MarkdownAsWritten)
        result.Out = QStringLiteral("# ") + title + QStringLiteral("\n\n") + body;
    else if (format == TFormat::Html)
        result.Out
            = QString::fromUtf8(kHtmlHead).arg(title) + body + QStringLiteral("</body>\n</html>\n");
    else
        result.Out = body;
    result.Replaced = result.Out.count(QChar(0xFFFD));
    return result;
}

} // namespace diaryexport

QString jsonString(const QString &value)
{
    QString out;
    out.reserve(value.size() + 2);
    out += u'"';
    for (const QChar c : value) {
        switch (c.unicode()) {
        case u'"':
            out += QStringLiteral("\\\"");
            break;
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u'\b':
            out += QStringLiteral("\\b");
            break;
        case u'\f':
            out += QStringLiteral("\\f");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        case u'\r':
            out += QStringLiteral("\\r");
            break;
        case u'\t':
            out += QStringLiteral("\\t");
            break;
        default:
            if (c.unicode() < 0x20)
                out += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
            else
                out += c;
        }
    }
    out += u'"';
    return out;
}

QString jsonBytes(const QByteArray &bytes) { return jsonString(cp932::Decode(bytes)); }

QString jsonList(const QStringList &items) { return u'[' + items.join(u',') + u']'; }

QString jsonMessages(const QStringList &messages)
{
    QStringList items;
    for (const QString &m : messages)
        items << jsonString(m);
    return jsonList(items);
}

QString dumpJson(int year, const TYearContents &contents, const QStringList &messages,
    const std::function<bool(double)> &keepDay)
{
    QStringList dayItems;
    for (const TDayText &day : contents.Days) {
        if (keepDay && !keepDay(day.FDate))
            continue;
        const QString date = DayNumberToDate(day.FDate).toString(Qt::ISODate);
        // A day's pictures are listed by name after its text, where it has any.
        QStringList pictures;
        for (const QString &name : PicturesOfText(cp932::Decode(day.FText)))
            pictures << jsonString(name);
        dayItems << QStringLiteral("{\"date\":%1,\"text\":%2%3}")
                        .arg(jsonString(date), jsonBytes(day.FText),
                            pictures.isEmpty()
                                ? QString()
                                : QStringLiteral(",\"pictures\":") + jsonList(pictures));
    }
    QStringList settings;
    for (const QByteArray &line : contents.Settings)
        settings << jsonBytes(line);
    return QStringLiteral("{\"year\":%1,\"modified\":%2,\"preamble\":%3,\"days\":%4,"
                          "\"settings\":%5,\"error_data\":%6,\"messages\":%7}\n")
        .arg(QString::number(year),
            contents.ErrorData.isEmpty() ? QStringLiteral("false") : QStringLiteral("true"),
            jsonBytes(contents.Preamble), jsonList(dayItems), jsonList(settings),
            jsonBytes(contents.ErrorData), jsonMessages(messages));
}
