// Reads arbitrary bytes as a year file, in memory, and checks what the reading keeps:
// - a successful read holds at most one non-empty entry per day of the year;
// - every line of the input is kept somewhere (day text, preamble, settings, error data) unless
//   it is a separator or a day header.
#include "Cp932.h"
#include "Exceptions.h"
#include "FuzzSupport.h"

#include <cstdint>

namespace {

using fuzz::fail;

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
    fuzz::useDiaryServices();
    const QByteArrayView input(data, static_cast<qsizetype>(size));
    const int year = fuzz::yearOf(input);
    TYearRead read;
    try {
        read = ReadYearFile(input, year, fuzz::kThisYear);
    } catch (const Exception &) {
        return 0;
    }
    fuzz::checkDays(read.Contents, year);
    checkEveryLineKept(input, static_cast<int>(read.Messages.size()), read.Contents);
    return 0;
}
