// kivlog-cli stats and remind: a year at a glance in a terminal, and the opt-in daily reminder.
#include "CliStats.h"

#include "CliOutput.h"
#include "CliSearch.h"
#include "CommandLine.h"
#include "DayTexts.h"
#include "DiaryExport.h"
#include "DiaryStats.h"
#include "Exceptions.h"
#include "FileWriter.h"
#include "Messages.h"
#include "Services.h"
#include "Text.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTime>

using namespace diarysearch;
using namespace diarystats;

namespace {

// The shades of the month rows, from a day without text to the most written.
constexpr char kShades[] = ".-+*#";

QString dateJson(QDate date) { return jsonString(date.toString(u"yyyy/MM/dd")); }

QString stretchJson(const TStretch &stretch)
{
    if (stretch.Days == 0)
        return QStringLiteral("null");
    return QStringLiteral("{\"days\":%1,\"first\":%2,\"last\":%3}")
        .arg(QString::number(stretch.Days), dateJson(stretch.First), dateJson(stretch.Last()));
}

QString figuresJson(const TYearFigures &figures)
{
    QStringList months, words, floors;
    for (int month = 1; month <= 12; ++month) {
        QStringList days;
        for (QDate day(figures.Year, month, 1); day.month() == month; day = day.addDays(1))
            days << QString::number(figures.CharactersOn(day));
        months << u'[' + days.join(u',') + u']';
    }
    for (const TWordCount &word : figures.Words)
        words << QStringLiteral("{\"word\":%1,\"count\":%2}")
                     .arg(jsonString(word.Word), QString::number(word.Count));
    for (const int floor : figures.ShadeFloors)
        floors << QString::number(floor);
    const bool any = figures.DaysWritten > 0;
    return QStringLiteral("{\"year\":%1,\"days_written\":%2,\"characters\":%3,"
                          "\"longest_run\":%4,\"longest_gap\":%5,\"most_written_day\":%6,"
                          "\"most_written_month\":%7,\"shade_floors\":[%8],\"days\":[%9],"
                          "\"words\":[%10]}\n")
        .arg(QString::number(figures.Year), QString::number(figures.DaysWritten),
            QString::number(figures.Total), stretchJson(figures.LongestRun),
            stretchJson(figures.LongestGap),
            any ? QStringLiteral("{\"date\":%1,\"characters\":%2}")
                      .arg(dateJson(figures.MostWrittenDay),
                          QString::number(figures.CharactersOn(figures.MostWrittenDay)))
                : QStringLiteral("null"),
            any ? QStringLiteral("{\"month\":%1,\"characters\":%2}")
                      .arg(QString::number(figures.MostWrittenMonth),
                          QString::number(
                              figures.MonthTotals[size_t(figures.MostWrittenMonth - 1)]))
                : QStringLiteral("null"),
            floors.join(u','), months.join(u','), words.join(u','));
}

QString figuresText(const TYearFigures &figures)
{
    QString out = QString::number(figures.Year) + QStringLiteral("年\n");
    for (const QString &line : FactLines(figures))
        out += line + u'\n';
    // A ruler over the days: 1, 5, 10, ... 30.
    QString ruler(31, u' ');
    for (const int day : { 1, 5, 10, 15, 20, 25, 30 })
        ruler.replace(day - 1, day < 10 ? 1 : 2, QString::number(day));
    out += QStringLiteral("\n      ") + ruler.trimmed() + u'\n';
    for (int month = 1; month <= 12; ++month) {
        out += QStringLiteral("%1月  ").arg(month, 2);
        for (QDate day(figures.Year, month, 1); day.month() == month; day = day.addDays(1))
            out += QChar::fromLatin1(kShades[figures.ShadeOf(figures.CharactersOn(day))]);
        out += u'\n';
    }
    QStringList legend;
    for (int shade = 0; shade <= 4; ++shade) {
        if (const QString range = ShadeRange(figures, shade); !range.isEmpty())
            legend << QChar::fromLatin1(kShades[shade]) + u' ' + range;
    }
    out += QStringLiteral("      ") + legend.join(QStringLiteral("  ")) + u'\n';
    if (!figures.Words.empty()) {
        QStringList words;
        for (const TWordCount &word : figures.Words)
            words << QStringLiteral("%1 %2").arg(word.Word, QString::number(word.Count));
        out += u'\n' + Text(msg::kWordsHead) + QStringLiteral(": ")
            + words.join(QStringLiteral("、")) + u'\n';
    }
    return out;
}

} // namespace

int RunStats(QStringList args)
{
    TDataFolder folder;
    bool json = false;
    int year = DayNumberToDate(DiaryToday()).year();
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        bool number = false;
        if (arg == u"--json") {
            json = true;
        } else if (const int asked = arg.toInt(&number); number && arg.size() == 4) {
            if (asked < 1900)
                return usageError(
                    QStringLiteral("the year must be 1900 or later, not %1").arg(arg));
            year = asked;
        } else if (const std::optional<int> wrong
            = FolderArgument(arg, args.isEmpty() ? nullptr : &args.front(), folder)) {
            return *wrong;
        }
    }
    int status = 2;
    const std::optional<TDataFolder> spelled = DiaryFolder(folder, status);
    if (!spelled)
        return status;

    TSearchIndex::TYearPtr texts;
    for (const TYearFileRef &file :
        ListYearFiles(spelled->BaseDir, spelled->Prefix, spelled->Ext)) {
        if (file.Year != year)
            continue;
        try {
            texts = TSearchIndex::ReadYear({ year, file.Path, StatFile(file.Path), 0 });
        } catch (const std::exception &e) {
            print(stderr,
                QStringLiteral("kivlog-cli: %1 is not read: %2\n")
                    .arg(file.Path, ExceptionMessage(e)));
            return 1;
        }
    }
    const TYearFigures figures
        = MakeFigures(texts ? *texts : TSearchIndex::TYearTexts(), year, ReadLeftOutWords());
    print(stdout, json ? figuresJson(figures) : figuresText(figures));
    if (!texts) {
        print(stderr,
            QStringLiteral("kivlog-cli: there is no year file of %1 in %2\n")
                .arg(QString::number(year), FullFolderPath(spelled->BaseDir)));
        return 1;
    }
    return 0;
}

namespace {

const char kUnitName[] = "kivlog-remind";
// The line that tells the units this command wrote.
const char kOwnMark[] = "X-Kivlog-Written-By=kivlog-cli remind\n";
// What the reminder says, gently, and only when today has no text yet.
const char kReminderText[] = "今日の日記はまだありません。";

QString unitFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
        + QStringLiteral("/systemd/user/");
}

QString unitPath(const char *kind)
{
    return unitFolder() + QLatin1String(kUnitName) + u'.' + QLatin1String(kind);
}

// A word of an ExecStart line: quoted, with systemd's specifiers and variables kept literal.
QString unitWord(QString word)
{
    word.replace(u'\\', QStringLiteral("\\\\")).replace(u'"', QStringLiteral("\\\""));
    word.replace(u'%', QStringLiteral("%%")).replace(u'$', QStringLiteral("$$"));
    return u'"' + word + u'"';
}

// systemctl --user with the arguments; the reason when it is missing or fails.
QString systemctl(const QStringList &arguments)
{
    const QString program = QStandardPaths::findExecutable(QStringLiteral("systemctl"));
    if (program.isEmpty())
        return QStringLiteral("systemctl was not found");
    QProcess run;
    run.setProcessChannelMode(QProcess::MergedChannels);
    run.start(program, QStringList { QStringLiteral("--user") } + arguments);
    if (!run.waitForFinished(30000) || run.exitStatus() != QProcess::NormalExit
        || run.exitCode() != 0)
        return QStringLiteral("systemctl --user %1 failed: %2")
            .arg(arguments.join(u' '), QString::fromLocal8Bit(run.readAll()).trimmed());
    return QString();
}

int installReminder(const QTime &at, const TDataFolder &folder)
{
    QStringList command { QCoreApplication::applicationFilePath(), QStringLiteral("remind"),
        QStringLiteral("--check") };
    // In full: the timer runs in the home folder.
    command += folder.Options();
    QStringList words;
    for (const QString &word : command)
        words << unitWord(word);
    const QString service = QStringLiteral("[Unit]\nDescription=KIV-N's Diary: a reminder when "
                                           "today's diary has no text\n%1\n[Service]\n"
                                           "Type=oneshot\nExecStart=%2\n")
                                .arg(QLatin1String(kOwnMark), words.join(u' '));
    const QString timer
        = QStringLiteral("[Unit]\nDescription=KIV-N's Diary: the daily reminder at %1\n%2\n"
                         "[Timer]\nOnCalendar=*-*-* %1:00\n\n[Install]\nWantedBy=timers.target\n")
              .arg(at.toString(u"HH:mm"), QLatin1String(kOwnMark));
    MakeFolders(unitFolder());
    for (const auto &[kind, text] : { std::pair { "service", service }, { "timer", timer } }) {
        const QString path = unitPath(kind);
        const TFileWrite written = ReplaceFile(path, text.toUtf8(), AccessOfFile(path));
        if (!written) {
            print(stderr,
                QStringLiteral("kivlog-cli: cannot write %1: %2\n").arg(path, written.Error));
            return 1;
        }
    }
    const QString timerName = QLatin1String(kUnitName) + QStringLiteral(".timer");
    QString failed = systemctl({ QStringLiteral("daemon-reload") });
    if (failed.isEmpty())
        failed = systemctl({ QStringLiteral("enable"), QStringLiteral("--now"), timerName });
    if (!failed.isEmpty()) {
        print(stderr,
            QStringLiteral("kivlog-cli: wrote %1 and %2, but the timer is not started: %3.\n"
                           "On a system with systemd, start it with:\n"
                           "  systemctl --user daemon-reload && systemctl --user enable --now %4\n")
                .arg(unitPath("timer"), unitPath("service"), failed, timerName));
        return failed.startsWith(u"systemctl was not found") ? 0 : 1;
    }
    print(stdout,
        QStringLiteral("The diary reminds you at %1 each day when today has no text yet (%2).\n")
            .arg(at.toString(u"HH:mm"), unitPath("timer")));
    return 0;
}

int removeReminder()
{
    bool found = false;
    for (const char *kind : { "timer", "service" }) {
        QFile unit(unitPath(kind));
        if (!unit.open(QIODevice::ReadOnly))
            continue;
        if (!unit.readAll().contains(kOwnMark)) {
            print(stderr,
                QStringLiteral("kivlog-cli: %1 was not written by kivlog-cli remind; it stays\n")
                    .arg(unit.fileName()));
            return 1;
        }
        found = true;
    }
    if (!found) {
        print(stderr, QStringLiteral("kivlog-cli: no reminder is installed\n"));
        return 1;
    }
    // Stopped first, while systemd still knows the unit; a missing systemctl leaves nothing to
    // stop.
    systemctl({ QStringLiteral("disable"), QStringLiteral("--now"),
        QLatin1String(kUnitName) + QStringLiteral(".timer") });
    for (const char *kind : { "timer", "service" }) {
        if (QFileInfo::exists(unitPath(kind)) && !QFile::remove(unitPath(kind))) {
            print(stderr, QStringLiteral("kivlog-cli: cannot remove %1\n").arg(unitPath(kind)));
            return 1;
        }
    }
    systemctl({ QStringLiteral("daemon-reload") });
    print(stdout, QStringLiteral("The daily reminder is removed.\n"));
    return 0;
}

// The timer's work: a desktop notification when today's diary day holds no text in its year
// file, through notify-send or else the notification service on the session bus.
int checkToday(const TDataFolder &folder)
{
    const QDate today = DayNumberToDate(DiaryToday());
    try {
        for (const TDayEntry &day :
            ReadYearFile(folder.BaseDir, folder.Prefix, folder.Ext, today.year())) {
            if (DayNumberToDate(day.Date) == today && !day.Text.trimmed().isEmpty())
                return 0;
        }
    } catch (const std::exception &e) {
        print(stderr, QStringLiteral("kivlog-cli: %1\n").arg(ExceptionMessage(e)));
        return 1;
    }
    const QString title = QStringLiteral("KIV-N's Diary");
    const QString body = Text(kReminderText);
    const std::pair<QString, QStringList> ways[] = {
        { QStringLiteral("notify-send"),
            { QStringLiteral("--app-name=") + title, QStringLiteral("--icon=kivlog"), title,
                body } },
        { QStringLiteral("gdbus"),
            { QStringLiteral("call"), QStringLiteral("--session"),
                QStringLiteral("--dest=org.freedesktop.Notifications"),
                QStringLiteral("--object-path=/org/freedesktop/Notifications"),
                QStringLiteral("--method=org.freedesktop.Notifications.Notify"), title,
                QStringLiteral("0"), QStringLiteral("kivlog"), title, body, QStringLiteral("[]"),
                QStringLiteral("{}"), QStringLiteral("-1") } },
    };
    for (const auto &[program, arguments] : ways) {
        const QString found = QStandardPaths::findExecutable(program);
        if (!found.isEmpty() && QProcess::execute(found, arguments) == 0)
            return 0;
    }
    print(stderr,
        QStringLiteral("kivlog-cli: no notification could be shown (neither notify-send nor "
                       "gdbus answered): %1\n")
            .arg(body));
    return 1;
}

} // namespace

int RunRemind(QStringList args)
{
    if (args == QStringList { QStringLiteral("--off") })
        return removeReminder();
    TDataFolder folder;
    std::optional<QTime> at;
    bool check = false;
    while (!args.isEmpty()) {
        const QString arg = args.takeFirst();
        if (arg == u"--check") {
            check = true;
        } else if (arg == u"--at" || arg.startsWith(u"--at=")) {
            if (arg == u"--at" && args.isEmpty())
                return usageError(QStringLiteral("--at needs a time such as 21:00"));
            const QString value = arg == u"--at" ? args.takeFirst() : arg.mid(5);
            at = QTime::fromString(value, u"H:mm");
            if (!at->isValid())
                return usageError(QStringLiteral("'%1' is no time of the form HH:MM").arg(value));
        } else if (const std::optional<int> wrong
            = FolderArgument(arg, args.isEmpty() ? nullptr : &args.front(), folder)) {
            return *wrong;
        }
    }
    if (check == at.has_value())
        return usageError(QStringLiteral("remind takes --at HH:MM or --off"));
    int status = 2;
    const std::optional<TDataFolder> spelled = StoreSpelling(folder, status);
    if (!spelled)
        return status;
    if (check)
        return checkToday(*spelled);
    return installReminder(*at, *spelled);
}
