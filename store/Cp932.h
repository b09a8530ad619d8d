#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// Code page 932 (Microsoft's Shift-JIS): the bytes of every text the diary keeps.
namespace cp932 {

// Lead bytes of double-byte characters: 0x81-0x9F and 0xE0-0xFC.
constexpr bool IsLeadByte(unsigned char c) noexcept
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Position (0-based) of the first byte c at or after 'from' that is not the second byte of a
// double-byte character, or -1. 'from' must stand on a character boundary.
qsizetype IndexOf(QByteArrayView s, char c, qsizetype from = 0) noexcept;

// Position (0-based) of the last such byte, or -1.
qsizetype LastIndexOf(QByteArrayView s, char c) noexcept;

// Bytes to text. A byte that does not decode becomes U+FFFD.
QString Decode(QByteArrayView bytes);

// Text to bytes. Characters that cannot be encoded are left out; *ok tells whether any were.
QByteArray Encode(QStringView text, bool *ok = nullptr);

// Whether every character of the text can be encoded.
bool CanEncode(QStringView text);

} // namespace cp932
