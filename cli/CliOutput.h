#pragma once

#include <QString>
#include <QStringList>
#include <cstdio>
#include <functional>

class QByteArray;
struct TYearContents;

// Writes the text as UTF-8.
void print(std::FILE *stream, const QString &text);

// Names the problem and the help option on stderr; returns the exit status of wrong usage, 2.
int usageError(const QString &problem);

QString jsonString(const QString &value);
// CP932 bytes as a JSON string; bytes that do not decode become U+FFFD.
QString jsonBytes(const QByteArray &bytes);
QString jsonList(const QStringList &items);
QString jsonMessages(const QStringList &messages);

// A year as read as one JSON object, with a line break after it: {"year", "modified",
// "preamble", "days": [{"date", "text"}], "settings", "error_data", "messages"}; modified as the
// diary would hold it after the read (rejected blocks to be written back). When keepDay is
// given, only the days it keeps are listed.
QString dumpJson(int year, const TYearContents &contents, const QStringList &messages,
    const std::function<bool(double)> &keepDay = {});
