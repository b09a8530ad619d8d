// Reads arbitrary bytes as a year file, in memory, and checks what the format makes of them:
// - a successful read holds at most one non-empty entry per day of the year;
// - every line of the input is kept somewhere (day text, preamble, settings, error data) unless
//   it is a separator or a day header;
// - what is written reads back without rejected blocks, and writes back to the same bytes;
// - without rejected blocks, reading what was written gives what was read, each day text
//   trimmed and ended by one CR LF.
#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "Services.h"
#include "YearFile.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace {

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

// The day texts as the store holds them: non-empty, one entry a day, all in the year.
void checkDays(const TYearContents &c, int year)
{
    std::set<double> seen;
    for (const TDayText &day : c.Days) {
        check(!day.FText.isEmpty(), "empty day text stored");
        check(seen.insert(day.FDate).second, "two entries for one day");
        check(DayNumberToDate(day.FDate).year() == year, "day of another year stored");
    }
}

void sortDays(TYearContents &c)
{
    std::sort(c.Days.begin(), c.Days.end(),
        [](const TDayText &a, const TDayText &b) { return a.FDate < b.FDate; });
}

TYearContents readBack(const QByteArray &bytes, int year)
{
    try {
        TYearRead read = ReadYearFile(bytes, year);
        check(read.Messages.isEmpty() && read.Contents.ErrorData.isEmpty(),
            "the written file has rejected blocks");
        checkDays(read.Contents, year);
        return std::move(read.Contents);
    } catch (const Exception &) {
        fail("the written file cannot be read");
    }
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
void checkEveryLineKept(QByteArrayView input, int shown, const TYearContents &c)
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
        for (const TDayText &day : c.Days)
            kept = kept || containsLine(day.FText, line)
                || (line.startsWith("!!") && containsLine(day.FText, line.sliced(1)));
        if (!kept)
            fail("an input line was lost");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static TScopedDiaryServices services({ [](const QString &) { fail("a message was shown"); },
        [] { return QDateTime(QDate(2026, 6, 15), QTime(12, 0)); },
        [](int) { return QStringLiteral("月"); } });

    const QByteArrayView input(data, static_cast<qsizetype>(size));
    // Take the year from the first line when it names one the store can hold, so that inputs
    // get past the year test.
    int year = 2009;
    double version = 0;
    quint16 headerYear = 0;
    qsizetype firstEnd = 0;
    while (firstEnd < input.size() && input[firstEnd] != '\r' && input[firstEnd] != '\n')
        ++firstEnd;
    if (ParseYearFileHeader(input.first(firstEnd), version, headerYear) && headerYear >= 1900)
        year = headerYear;

    // The decoding tables give what the system's converter gives, for any run of bytes.
    if (cp932::Decode(input) != cp932::iconvpath::Decode(input)
        || cp932::DecodeLossless(input) != cp932::iconvpath::DecodeLossless(input))
        fail("the tables decode otherwise than the system's converter");

    TYearRead first;
    try {
        first = ReadYearFile(input, year);
    } catch (const Exception &) {
        return 0;
    }
    TYearContents &read = first.Contents;
    checkDays(read, year);
    checkEveryLineKept(input, static_cast<int>(first.Messages.size()), read);

    // Both forms of day header read alike; the store sorts the days before it writes them.
    const bool dayNames = size % 2 == 0;
    sortDays(read);
    const QByteArray written = WriteYearFile(read, year, dayNames);
    const TYearContents reread = readBack(written, year);
    if (read.ErrorData.isEmpty()) {
        TYearContents expected = read;
        for (TDayText &day : expected.Days)
            day.FText = trimmedWithBreak(day.FText);
        check(reread == expected, "write and read changed the contents");
    }
    const QByteArray writtenAgain = WriteYearFile(reread, year, dayNames);
    if (read.ErrorData.isEmpty())
        check(writtenAgain == written, "the written file does not write back to itself");
    check(readBack(writtenAgain, year) == reread, "a second round trip changed the contents");
    return 0;
}
