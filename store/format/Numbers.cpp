#include "Numbers.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace

bool TryStrToInt32(QByteArrayView text, qint32 &value, THexMarks marks)
{
    const bool setting = marks == THexMarks::Setting;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < n && (text[i] == '$' || (setting && (text[i] == 'x' || text[i] == 'X')))) {
        base = 16;
        ++i;
    } else if (i + 1 < n && text[i] == '0'
        && (text[i + 1] == 'x' || (setting && text[i + 1] == 'X'))) {
        base = 16;
        i += 2;
    }
    if (i >= n)
        return false;
    // The magnitude may reach 2^31 for the most negative value; stop long before qint64 overflows.
    constexpr qint64 limit = qint64(1) << 31;
    qint64 magnitude = 0;
    for (; i < n; ++i) {
        const int d = base == 16 ? hexDigit(text[i]) : (isDigit(text[i]) ? text[i] - '0' : -1);
        if (d < 0)
            return false;
        magnitude = magnitude * base + d;
        if (magnitude > limit)
            return false;
    }
    if (!negative && magnitude == limit)
        return false;
    value = static_cast<qint32>(negative ? -magnitude : magnitude);
    return true;
}

bool TryStrToDouble(QByteArrayView text, double &value)
{
    const qsizetype n = text.size();
    qsizetype i = 0;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const qsizetype mantissaStart = i;
    qsizetype digits = 0;
    bool point = false;
    for (; i < n; ++i) {
        if (isDigit(text[i]))
            ++digits;
        else if (text[i] == '.' && !point)
            point = true;
        else
            break;
    }
    if (digits == 0 && !point)
        return false;
    const qsizetype mantissaEnd = i;
    qsizetype exponentStart = i;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        exponentStart = i;
        if (i < n && (text[i] == '+' || text[i] == '-'))
            ++i;
        qsizetype expDigits = 0;
        while (i < n && isDigit(text[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != n)
        return false;

    // A mantissa of "." alone is zero whatever the exponent says.
    if (digits == 0) {
        value = negative ? -0.0 : 0.0;
        return true;
    }
    // from_chars takes neither a leading "+" nor a mantissa that begins or ends with ".", so
    // hand it a tidied copy.
    std::string number;
    number.reserve(static_cast<size_t>(n) + 2);
    if (negative)
        number += '-';
    if (text[mantissaStart] == '.')
        number += '0';
    number.append(text.data() + mantissaStart, static_cast<size_t>(mantissaEnd - mantissaStart));
    if (mantissaEnd < n) {
        number += 'e';
        number.append(text.data() + exponentStart, static_cast<size_t>(n - exponentStart));
    }
    double parsed = 0;
    const auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), parsed);
    if (ec == std::errc::result_out_of_range) {
        // Too small to hold reads as zero; too large to hold is no number.
        const bool tiny = mantissaEnd < n && text[exponentStart] == '-';
        if (!tiny)
            return false;
        parsed = negative ? -0.0 : 0.0;
    } else if (ec != std::errc() || end != number.data() + number.size()) {
        return false;
    }
    value = parsed;
    return true;
}

QString FormatShortest(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    if (value == 0)
        return QStringLiteral("0");
    // 15 significant digits in scientific form: d.dddddddddddddde+XX.
    char buffer[64];
    const auto result
        = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, 14);
    const std::string sci(buffer, result.ptr);
    const auto ePos = sci.find('e');
    const int exponent = std::atoi(sci.c_str() + ePos + 1);
    const bool negative = sci[0] == '-';
    std::string digits;
    for (size_t k = negative ? 1 : 0; k < ePos; ++k)
        if (sci[k] != '.')
            digits += sci[k];
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = negative ? "-" : "";
    if (exponent >= 15 || exponent < -5) {
        out += digits[0];
        if (digits.size() > 1) {
            out += '.';
            out.append(digits, 1, std::string::npos);
        }
        out += 'E';
        out += std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0.";
        out.append(static_cast<size_t>(-exponent - 1), '0');
        out += digits;
    } else {
        const size_t whole = static_cast<size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits;
            out.append(whole - digits.size(), '0');
        } else {
            out.append(digits, 0, whole);
            out += '.';
            out.append(digits, whole, std::string::npos);
        }
    }
    return QString::fromLatin1(out.data(), static_cast<qsizetype>(out.size()));
}
