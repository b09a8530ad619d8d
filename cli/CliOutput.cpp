// Output of kivlog-cli: UTF-8 on the standard streams, and the JSON form of a year.
#include "CliOutput.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "YearFile.h"

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("kivlog-cli: ") + problem + u'\n');
    print(stderr, QStringLiteral("Try 'kivlog-cli --help'.\n"));
    return 2;
}

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
        dayItems << QStringLiteral("{\"date\":%1,\"text\":%2}")
                        .arg(jsonString(date), jsonBytes(day.FText));
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
