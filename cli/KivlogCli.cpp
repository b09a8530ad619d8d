// kivlog-cli: looks into a year file, or rewrites it through the diary's own store.
#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "Services.h"

#include <QCoreApplication>
#include <QStringList>
#include <cstdio>
#include <optional>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

const char kUsage[] = R"(Usage:
  kivlog-cli dump FILE
  kivlog-cli rewrite [--dayname on|off] FILE
  kivlog-cli --help

FILE is a year file named prefix + four-digit year + extension, for example
Data/d2009.jnl, 2009.jnl or 2009. The folder, prefix, extension and year are
taken from it; the year must be 1900 or later.

dump     reads the year file and prints its contents as one JSON object (UTF-8):
         {"year", "modified", "preamble", "days": [{"date", "text"}], "settings",
          "error_data", "messages"}. Texts are decoded from CP932; line breaks are
         kept as \r\n. A file that does not exist shows as an empty year. Nothing
         is written.
rewrite  reads the year file and writes it back in the diary's own form, after
         copying the previous file to the .bak backup beside it. --dayname on
         (the default) writes weekday names in the day headers, off leaves them
         out. Prints nothing on success.

A year file that cannot be read prints {"error": ..., "messages": [...]} and
exits with status 1; wrong usage exits with status 2.
)";

void print(std::FILE *stream, const QString &text)
{
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

int usageError(const QString &problem)
{
    print(stderr, QStringLiteral("kivlog-cli: ") + problem + u'\n');
    print(stderr, QStringLiteral("Try 'kivlog-cli --help'.\n"));
    return kExitUsage;
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

QString dumpJson(const TKivDiary &store, const QStringList &messages)
{
    const auto &days = store.Days();
    QStringList dayItems;
    for (size_t i = 1; i < days.size(); ++i) {
        const QString date = DayNumberToDate(days[i]->FDate).toString(Qt::ISODate);
        dayItems << QStringLiteral("{\"date\":%1,\"text\":%2}")
                        .arg(jsonString(date), jsonBytes(days[i]->FText));
    }
    QStringList settings;
    for (const QByteArray &line : store.Settings())
        settings << jsonBytes(line);
    const QByteArray preamble = days.empty() ? QByteArray() : days.front()->FText;
    return QStringLiteral("{\"year\":%1,\"modified\":%2,\"preamble\":%3,\"days\":%4,"
                          "\"settings\":%5,\"error_data\":%6,\"messages\":%7}\n")
        .arg(QString::number(store.Year()),
            store.Modified() ? QStringLiteral("true") : QStringLiteral("false"),
            jsonBytes(preamble), jsonList(dayItems), jsonList(settings),
            jsonBytes(store.ErrorData()), jsonMessages(messages));
}

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
    const QString name = path.mid(slash + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString stem = dot >= 0 ? name.left(dot) : name;
    file.Ext = dot >= 0 ? name.mid(dot) : QString();
    const QString digits = stem.right(4);
    bool allDigits = digits.size() == 4;
    for (const QChar c : digits)
        allDigits = allDigits && c >= u'0' && c <= u'9';
    if (name.isEmpty() || !allDigits) {
        problem = QStringLiteral("'%1' is no year file: its name must be a prefix, a four-digit "
                                 "year and an extension, such as d2009.jnl")
                      .arg(path);
        return std::nullopt;
    }
    file.Year = digits.toInt();
    if (file.Year < 1900) {
        problem = QStringLiteral("'%1': the year %2 lies before 1900").arg(path, digits);
        return std::nullopt;
    }
    file.Prefix = stem.left(stem.size() - 4);
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
    QStringList messages;
    TScopedDiaryServices services({ [&](const QString &m) { messages << m; }, {}, {} });
    TKivDiary store;
    // Looking never writes: no save at a year switch, at Close or at the end.
    store.SetAutoSave(false);
    if (!openStore(store, file, messages))
        return kExitFailed;
    print(stdout, dumpJson(store, messages));
    return kExitOk;
}

int rewrite(const TYearFile &file, bool dayName)
{
    QStringList messages;
    TScopedDiaryServices services({ [&](const QString &m) {
                                       messages << m;
                                       print(stderr, m + u'\n');
                                   },
        {}, {} });
    TKivDiary store;
    if (!openStore(store, file, messages))
        return kExitFailed;
    store.SetDayName(dayName);
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

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments();
    args.removeFirst();

    if (args.contains(QStringLiteral("--help")) || args.contains(QStringLiteral("-h"))) {
        print(stdout, QString::fromUtf8(kUsage));
        return kExitOk;
    }
    if (args.isEmpty())
        return usageError(QStringLiteral("a command is missing: dump or rewrite"));

    const QString command = args.takeFirst();
    bool dayName = true;
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
    const std::optional<TYearFile> file = splitYearFilePath(args.front(), problem);
    if (!file)
        return usageError(problem);
    return command == u"dump" ? dump(*file) : rewrite(*file, dayName);
}
