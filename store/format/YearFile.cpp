// The year file's format: its bytes to a year's contents and back.
#include "YearFile.h"

#include "Cp932.h"
#include "DayNumber.h"
#include "Exceptions.h"
#include "LineBreaks.h"
#include "Messages.h"
#include "Numbers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

namespace {

constexpr QByteArrayView kCrLf("\r\n");

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

QByteArrayView skipBlanksAndControls(QByteArrayView s)
{
    qsizetype i = 0;
    while (i < s.size() && isBlankOrControl(s[i]))
        ++i;
    return s.sliced(i);
}

// Cuts the text into lines at CR LF, lone CR and lone LF; a break at the very end opens no
// further line. The callback also learns whether its line ended in CR LF.
template <typename Fn> void forEachLine(QByteArrayView data, Fn &&fn)
{
    const char *p = data.data();
    const char *const end = p + data.size();
    while (p < end) {
        const char *stop = linebreaks::FindBreak(p, end);
        const bool crLf = end - stop >= 2 && stop[0] == '\r' && stop[1] == '\n';
        fn(QByteArrayView(p, stop - p), crLf);
        p = stop + (crLf ? 2 : 1);
    }
}

// Blanks (byte 32 only) may stand around the parts of a day header's date.
void skipSpaces(QByteArrayView s, qsizetype &i)
{
    while (i < s.size() && s[i] == ' ')
        ++i;
}

// A run of decimal digits; reading stops once the value has reached 1000, so "20091" reads
// as 2009 and leaves the 1 behind.
bool readNumber(QByteArrayView s, qsizetype &i, int &value, int &digits)
{
    value = 0;
    digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9' && value < 1000) {
        value = value * 10 + (s[i] - '0');
        ++digits;
        ++i;
    }
    return digits > 0;
}

// The date text of a day header: year/month/day in that fixed order whatever the locale says,
// or month/day of this year.
std::optional<QDate> readHeaderDate(QByteArrayView s, int thisYear)
{
    qsizetype i = 0;
    int numbers[3] = {};
    int digits[3] = {};
    int count = 0;
    skipSpaces(s, i);
    if (!readNumber(s, i, numbers[0], digits[0]))
        return std::nullopt;
    count = 1;
    skipSpaces(s, i);
    if (i >= s.size() || s[i] != '/')
        return std::nullopt;
    ++i;
    skipSpaces(s, i);
    if (!readNumber(s, i, numbers[1], digits[1]))
        return std::nullopt;
    count = 2;
    skipSpaces(s, i);
    if (i < s.size()) {
        if (s[i] != '/')
            return std::nullopt;
        ++i;
        skipSpaces(s, i);
        if (!readNumber(s, i, numbers[2], digits[2]))
            return std::nullopt;
        count = 3;
        skipSpaces(s, i);
        if (i < s.size() && s[i] == '/') {
            ++i;
            skipSpaces(s, i);
        }
        if (i < s.size())
            return std::nullopt;
    }

    int year = 0;
    int month = numbers[0];
    int day = numbers[1];
    if (count == 2) {
        year = thisYear;
    } else {
        year = numbers[0];
        month = numbers[1];
        day = numbers[2];
        if (digits[0] <= 2) {
            // The hundred years that begin 50 years before now.
            const int start = thisYear - 50;
            year += start - start % 100;
            if (year < start)
                year += 100;
        }
    }
    if (year < 1 || year > 9999 || !QDate::isValid(year, month, day))
        return std::nullopt;
    return QDate(year, month, day);
}

bool startsWith2(QByteArrayView line, char first, char second)
{
    return line.size() >= 2 && line[0] == first && line[1] == second;
}

bool isDayHeader(QByteArrayView line, qsizetype &close)
{
    if (!startsWith2(line, '!', '['))
        return false;
    // "]" can be the second byte of a double-byte character, so scan by character.
    close = cp932::IndexOf(line, ']');
    return close >= 7;
}

bool isSettingLine(QByteArrayView line)
{
    return line.startsWith('!') && cp932::IndexOf(line, '=') >= 2;
}

void appendErrorLine(QByteArray &errorData, QByteArrayView line)
{
    if (!errorData.isEmpty())
        errorData += kCrLf;
    errorData += line;
}

// The text of a day block: its lines, each followed by CR LF. In a file written with CR LF the
// lines of a block mostly stand together, so they are taken as one piece of the file instead of
// line by line.
class TDayCollector {
public:
    void Add(QByteArrayView line, bool endsInCrLf)
    {
        if (endsInCrLf && FEnd == line.data()) {
            FEnd = line.data() + line.size() + 2;
            return;
        }
        Flush();
        if (endsInCrLf) {
            FBegin = line.data();
            FEnd = line.data() + line.size() + 2;
        } else {
            FText += line;
            FText += kCrLf;
        }
    }
    QByteArray Take()
    {
        Flush();
        return std::exchange(FText, QByteArray());
    }

private:
    void Flush()
    {
        if (FBegin != FEnd)
            FText += QByteArrayView(FBegin, FEnd - FBegin);
        FBegin = FEnd = nullptr;
    }
    QByteArray FText;
    const char *FBegin = nullptr;
    const char *FEnd = nullptr;
};

QByteArrayView trimTrailing(QByteArrayView s)
{
    qsizetype n = s.size();
    while (n > 0 && isBlankOrControl(s[n - 1]))
        --n;
    return s.first(n);
}

// Position of the next CR LF followed by 'bangs' exclamation marks at or after 'from', or -1.
// Searched by LF with memchr: day texts are long and such lines are rare.
qsizetype findBreakBang(QByteArrayView s, qsizetype from, int bangs)
{
    const char *const begin = s.data();
    const char *const end = begin + s.size();
    for (const char *p = begin + from; p < end; ++p) {
        p = static_cast<const char *>(std::memchr(p, '\n', end - p));
        if (!p)
            return -1;
        if (p > begin + from && p[-1] == '\r' && end - p > bangs && p[1] == '!'
            && (bangs == 1 || p[2] == '!'))
            return p - 1 - begin;
    }
    return -1;
}

void appendEscaped(QByteArray &out, QByteArrayView s)
{
    if (s.isEmpty())
        return;
    if (s[0] == '!')
        out += '!';
    qsizetype from = 0;
    for (;;) {
        const qsizetype hit = findBreakBang(s, from, 1);
        if (hit < 0)
            break;
        out += s.sliced(from, hit + 3 - from);
        out += '!';
        from = hit + 3;
    }
    out += s.sliced(from);
}

} // namespace

bool HoldsDayText(QByteArrayView text) { return !trimTrailing(text).isEmpty(); }

bool HoldsDayText(QStringView text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() > 32; });
}

QByteArrayView WrittenDayText(QByteArrayView text) { return trimTrailing(text); }

QByteArray EscapeDayText(QByteArrayView value)
{
    QByteArray out;
    out.reserve(value.size() + 8);
    appendEscaped(out, value);
    return out;
}

QByteArray UnescapeDayText(const QByteArray &value)
{
    if (value.isEmpty())
        return value;
    QByteArrayView s(value);
    const bool leading = s.startsWith("!!");
    qsizetype from = 0;
    if (!leading && findBreakBang(s, 0, 2) < 0)
        return value;
    QByteArray out;
    out.reserve(value.size());
    if (leading)
        s = s.sliced(1);
    for (;;) {
        const qsizetype hit = findBreakBang(s, from, 2);
        if (hit < 0)
            break;
        out += s.sliced(from, hit + 3 - from);
        from = hit + 4;
    }
    out += s.sliced(from);
    return out;
}

bool ParseYearFileHeader(QByteArrayView line, double &version, quint16 &year)
{
    if (!line.startsWith("!JNL"))
        return false;
    QByteArrayView rest = skipBlanksAndControls(line.sliced(4));
    const qsizetype blank = rest.indexOf(' ');
    const QByteArrayView versionText = blank > 0 ? rest.first(blank) : QByteArrayView();
    double parsedVersion = 0;
    if (!TryStrToDouble(versionText, parsedVersion))
        return false;
    rest = skipBlanksAndControls(rest.sliced(blank + 1));
    // Nothing may follow the year, not even a blank.
    qint32 parsedYear = 0;
    if (!TryStrToInt32(rest, parsedYear, THexMarks::YearFileHeader))
        return false;
    version = parsedVersion;
    year = static_cast<quint16>(parsedYear);
    return true;
}

qsizetype CheckYearFileHeader(QByteArrayView all, int expectedYear)
{
    // A file of zero bytes has no first line to check; it is as unreadable as a bad one.
    qsizetype firstEnd = 0;
    while (firstEnd < all.size() && all[firstEnd] != '\r' && all[firstEnd] != '\n')
        ++firstEnd;
    double version = 0;
    quint16 year = 0;
    if (all.isEmpty() || !ParseYearFileHeader(all.first(firstEnd), version, year))
        throw EKivDiaryError(Text(msg::kBadData));
    if (version != 1)
        throw EKivDiaryError(
            Text(msg::kBadVersionHead) + FormatShortest(version) + Text(msg::kBadVersionTail));
    if (static_cast<int>(year) != expectedYear)
        throw EKivDiaryError(Text(msg::kYearMismatch));
    return firstEnd;
}

TYearRead ReadYearFile(QByteArrayView all, int year, int thisYear)
{
    const qsizetype firstEnd = CheckYearFileHeader(all, year);

    qsizetype restStart = firstEnd;
    if (restStart < all.size()) {
        if (all[restStart] == '\r' && restStart + 1 < all.size() && all[restStart + 1] == '\n')
            restStart += 2;
        else
            restStart += 1;
    }

    TYearRead read;
    TYearContents &contents = read.Contents;
    // Where each day of the year stands in the list: a later block of a day replaces the text
    // of the earlier one in its place.
    const double firstDay = DateToDayNumber(QDate(year, 1, 1));
    std::array<int, 366> placeOfDay;
    placeOfDay.fill(-1);

    enum class State { Preamble, Day, Rejected };
    State state = State::Preamble;
    TDayCollector day;
    bool escaped = false;
    double blockDate = 0;

    const auto finishBlock = [&] {
        if (state != State::Day)
            return;
        QByteArray collected = day.Take();
        // Only lines that begin with "!!" have anything to undo.
        if (!collected.isEmpty()) {
            if (escaped)
                collected = UnescapeDayText(collected);
            int &place = placeOfDay[static_cast<size_t>(blockDate - firstDay)];
            if (place < 0) {
                place = static_cast<int>(contents.Days.size());
                contents.Days.emplace_back(std::move(collected), blockDate);
            } else {
                contents.Days[static_cast<size_t>(place)].FText = std::move(collected);
            }
        }
        escaped = false;
    };

    forEachLine(all.sliced(restStart), [&](QByteArrayView line, bool endsInCrLf) {
        qsizetype close = -1;
        if (isDayHeader(line, close)) {
            finishBlock();
            const QByteArrayView dateText = line.sliced(2, close - 2);
            const std::optional<QDate> date = readHeaderDate(dateText, thisYear);
            if (!date) {
                read.Messages << u'"' + cp932::Decode(dateText) + u'"' + Text(msg::kBadDateTail);
            } else if (date->year() != year) {
                read.Messages << Text(msg::kDateOutOfRangeHead)
                        + FormatDate(QStringLiteral("yyyy/mm/dd"), *date, {})
                        + Text(msg::kDateOutOfRangeTail);
            } else {
                blockDate = DateToDayNumber(*date);
                state = State::Day;
                return;
            }
            if (!contents.ErrorData.isEmpty())
                contents.ErrorData += kCrLf;
            contents.ErrorData += '!';
            contents.ErrorData += line;
            state = State::Rejected;
            return;
        }
        switch (state) {
        case State::Preamble:
            if (startsWith2(line, '!', '-'))
                break;
            if (isSettingLine(line)) {
                contents.Settings.append(line.sliced(1).toByteArray());
                break;
            }
            if (!contents.Preamble.isEmpty())
                contents.Preamble += kCrLf;
            contents.Preamble += line;
            break;
        case State::Day:
            if (!startsWith2(line, '!', '-')) {
                escaped = escaped || startsWith2(line, '!', '!');
                day.Add(line, endsInCrLf);
            }
            break;
        case State::Rejected:
            appendErrorLine(contents.ErrorData, line);
            break;
        }
    });
    finishBlock();
    return read;
}

QByteArray WriteYearFile(
    const TYearContents &contents, int year, bool dayNames, const TWeekdayNames &weekdays)
{
    const QByteArrayView separator
        = dayNames ? QByteArrayView("!----------------") : QByteArrayView("!------------");
    std::array<QByteArray, 8> names; // encoded once per file, by Qt's day of week
    qsizetype estimate = 64 + contents.Preamble.size();
    for (const TDayText &entry : contents.Days)
        estimate += entry.FText.size() + 64;
    for (const QByteArray &setting : contents.Settings)
        estimate += setting.size() + 3;
    estimate += contents.ErrorData.size() + 32;

    QByteArray out;
    out.reserve(estimate);
    out += "!JNL 1.00 ";
    out += QByteArray::number(year);
    out += kCrLf;
    if (!contents.Settings.isEmpty()) {
        out += kCrLf;
        for (const QByteArray &setting : contents.Settings) {
            out += '!';
            out += setting;
            out += kCrLf;
        }
    }
    out += contents.Preamble;
    out += kCrLf;
    if (!contents.ErrorData.isEmpty()) {
        out += "!ErrorData\r\n";
        out += contents.ErrorData;
        out += "\r\n!End\r\n";
    }
    for (const TDayText &entry : contents.Days) {
        const QDate date = DayNumberToDate(entry.FDate);
        out += separator;
        out += kCrLf;
        char header[32];
        const int n = std::snprintf(
            header, sizeof header, "![%04d/%02d/%02d]", date.year(), date.month(), date.day());
        out += QByteArrayView(header, n);
        if (dayNames) {
            QByteArray &name = names[static_cast<size_t>(date.dayOfWeek())];
            if (name.isEmpty())
                name = cp932::Encode(FormatDate(QStringLiteral("ddd"), date, weekdays));
            out += '(';
            out += name;
            out += ')';
        }
        out += kCrLf;
        out += separator;
        out += kCrLf;
        appendEscaped(out, trimTrailing(entry.FText));
        out += kCrLf;
    }
    return out;
}
