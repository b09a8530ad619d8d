#pragma once

#include <QByteArrayView>
#include <QString>

// Number texts of year files and settings. Locale-free: "." is the decimal point everywhere.

// The marks that may stand before hexadecimal digits: a setting's value takes "$", "x", "X",
// "0x" and "0X"; the year in a year file's first line only "$" and "0x".
enum class THexMarks { Setting, YearFileHeader };

// A whole number in the 32-bit signed range: leading blanks, an optional sign, then decimal
// digits or hexadecimal digits after one of the marks. Nothing may follow.
bool TryStrToInt32(QByteArrayView text, qint32 &value, THexMarks marks = THexMarks::Setting);

// A decimal number: an optional sign, digits with an optional "." and further digits (at least
// one digit or the "." itself), an optional exponent ("E" or "e", an optional sign, digits).
// Nothing may stand before or after it.
bool TryStrToDouble(QByteArrayView text, double &value);

// The shortest decimal form with at most 15 significant digits: 2.50 gives "2.5", 2 gives "2".
// Very large and very small values use the form 1E20, 1E-7.
QString FormatShortest(double value);
