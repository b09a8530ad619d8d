#pragma once

#include "DayNumber.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>
#include <vector>

// One entry of a year: a day number and that day's text (CP932 bytes, CR LF line breaks).
// Entry 0 of a store is the preamble, with day number 0.
class TDayText {
public:
    TDayText(QByteArray text, double date)
        : FDate(date)
        , FText(std::move(text))
    {
    }
    bool operator==(const TDayText &) const = default;
    double FDate;
    QByteArray FText;
};

// What a year file holds, as bytes of CP932: the free text before the first day, the days
// (each at most once, in the order the file or the store has them), the NAME=value settings and
// the lines that could not be read as day blocks.
struct TYearContents {
    QByteArray Preamble;
    std::vector<TDayText> Days;
    QList<QByteArray> Settings;
    QByteArray ErrorData;
    bool operator==(const TYearContents &) const = default;
};

struct TYearRead {
    TYearContents Contents;
    // One message for each day block that was set aside, in the order of the file.
    QStringList Messages;
};

// Reads the bytes of the given year's file. Throws EKivDiaryError when the first line does not
// name a year file of that year; damaged day blocks go to the error data and the messages.
// thisYear is the calendar year now: a day header without a year ("![1/5]") is of that year,
// and a two-digit year stands in the hundred years that begin 50 years before it.
TYearRead ReadYearFile(QByteArrayView bytes, int year, int thisYear);
// The bytes of the year file, day headers with or without the weekday name (from weekdays,
// which must be writable in CP932). Days are written in the order given.
QByteArray WriteYearFile(
    const TYearContents &contents, int year, bool dayNames, const TWeekdayNames &weekdays);

// The first line: throws what makes the whole file unreadable as the given year's, else returns
// where the first line ends.
qsizetype CheckYearFileHeader(QByteArrayView bytes, int year);
bool ParseYearFileHeader(QByteArrayView line, double &version, quint16 &year);
QByteArray EscapeDayText(QByteArrayView text);
// Whether a day's text leaves anything in the year file, which drops its trailing blanks and
// control characters.
bool HoldsDayText(QByteArrayView text);
// The same for a day's text as read: whatever is more than a blank or control byte once stored
// (the ideographic space is) holds text.
bool HoldsDayText(QStringView text);
// What the year file keeps of a day's text: all but its trailing blanks and control characters.
QByteArrayView WrittenDayText(QByteArrayView text);
QByteArray UnescapeDayText(const QByteArray &text);
