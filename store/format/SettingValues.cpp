#include "SettingValues.h"

#include "Cp932.h"

#include <algorithm>

bool DayNameSettingOn(const QByteArray &value) { return cp932::Decode(value).toUpper() == u"TRUE"; }

QByteArray DayNameSettingValue(bool on) { return on ? "TRUE" : "FALSE"; }

namespace {

bool isAscii(QByteArrayView bytes)
{
    return std::all_of(
        bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

} // namespace

// ASCII names (all the window writes) need no decoding.
bool SameSettingName(QByteArrayView a, QByteArrayView b)
{
    if (isAscii(a) && isAscii(b))
        return a.size() == b.size() && qstrnicmp(a.data(), a.size(), b.data(), b.size()) == 0;
    const QString left = cp932::Decode(a);
    const QString right = cp932::Decode(b);
    // Every byte that does not decode becomes U+FFFD, so such names would all look alike;
    // no CP932 character decodes to it.
    if (left.contains(QChar::ReplacementCharacter) || right.contains(QChar::ReplacementCharacter))
        return a == b;
    return left.compare(right, Qt::CaseInsensitive) == 0;
}

QByteArrayView SettingName(QByteArrayView line)
{
    const qsizetype eq = cp932::IndexOf(line, '=');
    return eq < 0 ? line : line.first(eq);
}
