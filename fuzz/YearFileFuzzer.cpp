// Reads arbitrary bytes as a year file and checks what the store makes of them:
// - a failed read leaves no entries behind;
// - a successful read holds one preamble first and at most one non-empty entry per day of the year;
// - every line of the input is kept somewhere (day text, preamble, settings, error data) unless
//   it is a separator or a day header;
// - saving twice gives the same bytes; reading what was saved and saving again gives them too;
// - without rejected blocks, the read of the saved file holds what was read, each day text
//   trimmed and ended by one CR LF.
#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "KivDiary.h"
#include "Services.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>
#include <vector>

namespace {

struct TContents {
    QByteArray Preamble;
    std::vector<std::pair<double, QByteArray>> Days; // in date order
    QList<QByteArray> Settings;
    QByteArray ErrorData;
    bool operator==(const TContents &) const = default;
};

[[noreturn]] void fail(const char *what)
{
    fprintf(stderr, "year file fuzzer: %s\n", what);
    abort();
}

void check(bool condition, const char *what)
{
    if (!condition)
        fail(what);
}

QTemporaryDir &folder()
{
    static QTemporaryDir dir;
    return dir;
}

QString yearPath(int year) { return folder().path() + QStringLiteral("/%1.jnl").arg(year); }

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    check(file.open(QIODevice::WriteOnly | QIODevice::Truncate), "cannot write the input file");
    file.write(bytes);
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    check(file.open(QIODevice::ReadOnly), "saved file cannot be read");
    return file.readAll();
}

std::unique_ptr<TKivDiary> openYear(int year)
{
    auto store = std::make_unique<TKivDiary>();
    store->SetAutoSave(false);
    store->SetBaseDir(folder().path());
    store->SetExt(QStringLiteral(".jnl"));
    store->SetYear(year);
    store->Open();
    return store;
}

TContents contentsOf(const TKivDiary &store)
{
    const auto &days = store.Days();
    check(!days.empty() && days[0]->FDate == 0, "no preamble at the front");
    TContents c;
    c.Preamble = days[0]->FText;
    std::set<double> seen;
    for (size_t i = 1; i < days.size(); ++i) {
        const double date = days[i]->FDate;
        check(!days[i]->FText.isEmpty(), "empty day text stored");
        check(seen.insert(date).second, "two entries for one day");
        check(DayNumberToDate(date).year() == store.Year(), "day of another year stored");
        c.Days.emplace_back(date, days[i]->FText);
    }
    std::sort(c.Days.begin(), c.Days.end());
    c.Settings = store.Settings();
    c.ErrorData = store.ErrorData();
    return c;
}

QByteArray saveOf(TKivDiary &store, int year)
{
    store.MarkModified();
    store.SaveFile();
    check(!store.Modified(), "modified after a save");
    return readFile(yearPath(year));
}

QByteArray trimmedWithBreak(const QByteArray &text)
{
    qsizetype n = text.size();
    while (n > 0 && static_cast<unsigned char>(text[n - 1]) <= 32)
        --n;
    return text.left(n) + "\r\n";
}

QList<QByteArrayView> linesOf(QByteArrayView data)
{
    QList<QByteArrayView> lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < data.size(); ++i) {
        if (data[i] == '\r' || data[i] == '\n') {
            lines.append(data.sliced(start, i - start));
            if (data[i] == '\r' && i + 1 < data.size() && data[i + 1] == '\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < data.size())
        lines.append(data.sliced(start));
    return lines;
}

bool isDayHeader(QByteArrayView line)
{
    return line.startsWith("![") && cp932::IndexOf(line, ']') >= 7;
}

bool containsLine(const QByteArray &text, QByteArrayView line) { return text.contains(line); }

// Every input line after the first is kept somewhere. Lines of a day block that a later block
// of the same day replaced are gone by design, so the check runs only when every accepted day
// block became an entry of its own.
// Each rejected day header shows exactly one message, so the accepted ones are the others.
void checkEveryLineKept(const QByteArray &input, int shown, const TContents &c)
{
    const QList<QByteArrayView> lines = linesOf(input);
    int accepted = -shown;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (isDayHeader(lines[i]))
            ++accepted;
    }
    if (accepted != static_cast<int>(c.Days.size()))
        return;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArrayView line = lines[i];
        if (isDayHeader(line) || line.startsWith("!-") || line.isEmpty())
            continue;
        bool kept = containsLine(c.Preamble, line) || containsLine(c.ErrorData, line);
        for (const QByteArray &s : c.Settings)
            kept = kept || (line.size() > 1 && s == line.sliced(1));
        for (const auto &[date, text] : c.Days)
            kept = kept || containsLine(text, line)
                || (line.startsWith("!!") && containsLine(text, line.sliced(1)));
        if (!kept)
            fail("an input line was lost");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static int shown = 0;
    static TScopedDiaryServices services({ [](const QString &) { ++shown; },
        [] { return QDateTime(QDate(2026, 6, 15), QTime(12, 0)); },
        [](int) { return QStringLiteral("月"); } });
    check(folder().isValid(), "no temporary folder");

    const QByteArray input(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    // Take the year from the first line when it names one the store can hold, so that inputs
    // get past the year test.
    int year = 2009;
    double version = 0;
    quint16 headerYear = 0;
    const qsizetype firstEnd
        = std::min(input.indexOf('\r') < 0 ? input.size() : input.indexOf('\r'),
            input.indexOf('\n') < 0 ? input.size() : input.indexOf('\n'));
    if (TKivDiary::ParseHeader(input.left(firstEnd), version, headerYear) && headerYear >= 1900)
        year = headerYear;

    QFile::remove(yearPath(year));
    QFile::remove(folder().path() + QStringLiteral("/%1.bak").arg(year));
    writeFile(yearPath(year), input);

    shown = 0;
    std::unique_ptr<TKivDiary> first;
    try {
        first = openYear(year);
    } catch (const Exception &) {
        return 0;
    }
    const TContents read = contentsOf(*first);
    check(first->Modified() == !read.ErrorData.isEmpty(), "modified mark after the read");
    checkEveryLineKept(input, shown, read);

    const QByteArray saved = saveOf(*first, year);
    check(readFile(folder().path() + QStringLiteral("/%1.bak").arg(year)) == input,
        "backup differs from the file it backs up");
    check(saveOf(*first, year) == saved, "a second save differs from the first");

    std::unique_ptr<TKivDiary> second;
    try {
        second = openYear(year);
    } catch (const Exception &) {
        fail("the saved file cannot be read");
    }
    const TContents reread = contentsOf(*second);
    check(reread.ErrorData.isEmpty() && !second->Modified(), "the saved file has rejected blocks");
    if (read.ErrorData.isEmpty()) {
        TContents expected = read;
        for (auto &day : expected.Days)
            day.second = trimmedWithBreak(day.second);
        check(reread == expected, "save and read changed the contents");
    }
    const QByteArray savedAgain = saveOf(*second, year);
    if (read.ErrorData.isEmpty())
        check(savedAgain == saved, "the saved file does not save back to itself");

    auto third = openYear(year);
    check(contentsOf(*third) == reread, "a second round trip changed the contents");
    check(saveOf(*third, year) == savedAgain, "a second round trip changed the bytes");
    return 0;
}
