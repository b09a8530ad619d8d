#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
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

// Second bytes of double-byte characters: 0x40-0x7E and 0x80-0xFC.
constexpr bool IsTrailByte(unsigned char c) noexcept { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// Bytes that do not decode are kept as code points of the supplementary private use plane,
// where CP932 maps nothing: a single byte b as U+F0000 + b, a lead byte and a second byte that
// make no character together as U+F0000 + lead * 256 + second. Encoding gives the bytes back.
constexpr char32_t kRawBytesBase = 0xF0000;
constexpr bool IsRawBytes(char32_t c) noexcept
{
    return c >= kRawBytesBase && c <= kRawBytesBase + 0xFCFC
        && (c - kRawBytesBase < 0x100 || IsLeadByte((c - kRawBytesBase) >> 8));
}

// Characters CP932 cannot hold are kept as character references, "&#x" and the code point in
// upper-case hexadecimal and ";" (U+1F600 as "&#x1F600;"). Reading takes any number of hex
// digits in either case, but only for a code point the writer would have written so: one with
// no CP932 form (no control character or surrogate), or the '&' itself, written "&#x26;" where
// the text that follows an '&' would otherwise read as a reference. Everything else is text.
// The bytes of a reference are found by their '&' (0x26), which is never a second byte.

// The code point of the reference at the start of bytes, with its length in bytes; 0 when they
// start with none.
char32_t ReferenceAt(QByteArrayView bytes, qsizetype *length);

// Whether text, which starts with '&', reads as a reference once stored as it is, together with
// next when text ends there (next is what will follow it in the same stored text).
bool StartsReference(QStringView text, QStringView next = {});

// Bytes to text. A byte that does not decode becomes U+FFFD.
QString Decode(QByteArrayView bytes);

// The same into out, which has room for bytes.size() units; returns the units written.
qsizetype DecodeInto(QByteArrayView bytes, char16_t *out);

// The tables Decode reads by, for a loop that decodes and does more in the same pass (it reads
// as DecodeInto does where no '&' may start a reference): the character of a byte of 0x80 or
// more standing alone, and of a byte with the next one at first * 256 + second; 0 where there
// is none, as for every first byte below 0x80 or standing alone.
struct TDecodeTables {
    const char16_t *Single;
    const char16_t *Pair;
};
TDecodeTables DecodeTables();

// Bytes to text without loss: what does not decode becomes raw-byte code points. When
// offsets is given it receives, for each UTF-16 unit of the text, the position of the first
// byte it came from, and bytes.size() at the end: unit i came from [offsets[i], offsets[i+1]).
QString DecodeLossless(QByteArrayView bytes, QList<qsizetype> *offsets = nullptr);

// Text to bytes. Raw-byte code points become their bytes, unless those would read back as
// something else (a lone lead byte before a second byte, bytes that make a character), and
// characters without a CP932 form become references: the bytes read back as the text. What
// no reference carries (a control character CP932 lacks, a lone surrogate) is left out; *ok
// tells whether anything was. next is the text that will follow these bytes in the same stored
// text, if any: what the last characters become may depend on it.
QByteArray Encode(QStringView text, bool *ok = nullptr, QStringView next = {});

// The text as it reads back once stored: each character in the form CP932 gives back for it
// (U+301C becomes U+FF5E; what would read back as another character of ASCII, the yen sign as a
// backslash, is kept as a reference instead). Characters that Encode leaves out are left
// out here too and appended to *refused, each once.
QString StoredForm(QStringView text, QString *refused = nullptr);

// Whether every character of the text has a CP932 form of its own, with no reference.
bool CanEncode(QStringView text);

// The same conversions through the system's converter, character by character: what the tables
// behind the functions above are built from and proven against.
namespace iconvpath {
    QString Decode(QByteArrayView bytes);
    QString DecodeLossless(QByteArrayView bytes, QList<qsizetype> *offsets = nullptr);
    QByteArray Encode(QStringView text, bool *ok = nullptr);
} // namespace iconvpath

} // namespace cp932
