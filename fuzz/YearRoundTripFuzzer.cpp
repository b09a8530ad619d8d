// Reads arbitrary bytes as a year file, in memory, writes what was read and reads that back:
// - what is written reads back without rejected blocks, and writes back to the same bytes;
// - without rejected blocks, reading what was written gives what was read, each day text
//   trimmed and ended by one CR LF.
#include "Exceptions.h"
#include "FuzzSupport.h"
#include "YearFile.h"

#include <algorithm>
#include <cstdint>

namespace {

using fuzz::check;

void sortDays(TYearContents &c)
{
    std::sort(c.Days.begin(), c.Days.end(),
        [](const TDayText &a, const TDayText &b) { return a.FDate < b.FDate; });
}

TYearContents readBack(const QByteArray &bytes, int year)
{
    try {
        TYearRead read = ReadYearFile(bytes, year, fuzz::kThisYear);
        check(read.Messages.isEmpty() && read.Contents.ErrorData.isEmpty(),
            "the written file has rejected blocks");
        fuzz::checkDays(read.Contents, year);
        return std::move(read.Contents);
    } catch (const Exception &) {
        fuzz::fail("the written file cannot be read");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::useDiaryServices();
    const QByteArrayView input(data, static_cast<qsizetype>(size));
    const int year = fuzz::yearOf(input);
    TYearContents read;
    try {
        read = ReadYearFile(input, year, fuzz::kThisYear).Contents;
    } catch (const Exception &) {
        return 0;
    }

    // Both forms of day header read alike; the store sorts the days before it writes them.
    const bool dayNames = size % 2 == 0;
    sortDays(read);
    const QByteArray written = WriteYearFile(read, year, dayNames, fuzz::weekdays());
    const TYearContents reread = readBack(written, year);
    if (read.ErrorData.isEmpty()) {
        TYearContents expected = read;
        for (TDayText &day : expected.Days)
            day.FText = WrittenDayText(day.FText).toByteArray() + "\r\n";
        check(reread == expected, "write and read changed the contents");
    }
    const QByteArray writtenAgain = WriteYearFile(reread, year, dayNames, fuzz::weekdays());
    if (read.ErrorData.isEmpty())
        check(writtenAgain == written, "the written file does not write back to itself");
    check(readBack(writtenAgain, year) == reread, "a second round trip changed the contents");
    return 0;
}
