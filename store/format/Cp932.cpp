#include "Cp932.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <mutex>

namespace cp932 {

qsizetype IndexOf(QByteArrayView s, char c, qsizetype from) noexcept
{
    for (qsizetype i = from; i < s.size(); ++i) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (s[i] == c)
            return i;
        if (IsLeadByte(b))
            ++i; // the second byte of a double-byte character never matches
    }
    return -1;
}

qsizetype LastIndexOf(QByteArrayView s, char c) noexcept
{
    qsizetype found = -1;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] == c)
            found = i;
        else if (IsLeadByte(static_cast<unsigned char>(s[i])))
            ++i;
    }
    return found;
}

namespace iconvpath {

    namespace {

        // One conversion descriptor per direction and thread, opened on first use.
        class TConverter {
        public:
            TConverter(const char *to, const char *from)
                : FHandle(iconv_open(to, from))
            {
            }
            ~TConverter()
            {
                if (FHandle != reinterpret_cast<iconv_t>(-1))
                    iconv_close(FHandle);
            }
            TConverter(const TConverter &) = delete;
            TConverter &operator=(const TConverter &) = delete;
            iconv_t Handle() const { return FHandle; }

        private:
            iconv_t FHandle;
        };

        TConverter &decoder()
        {
            thread_local TConverter conv("UTF-16LE", "CP932");
            return conv;
        }

        TConverter &encoder()
        {
            thread_local TConverter conv("CP932", "UTF-16LE");
            return conv;
        }

    } // namespace

    QString Decode(QByteArrayView bytes)
    {
        QString out;
        if (bytes.isEmpty())
            return out;
        // Every CP932 byte gives at most one UTF-16 unit.
        out.resize(bytes.size());
        iconv_t cd = decoder().Handle();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *in = const_cast<char *>(bytes.data());
        size_t inLeft = static_cast<size_t>(bytes.size());
        char *outStart = reinterpret_cast<char *>(out.data());
        char *outPtr = outStart;
        size_t outLeft = static_cast<size_t>(out.size()) * 2;
        while (inLeft > 0) {
            if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG)
                break; // cannot happen: one unit per byte at most
            // EILSEQ or EINVAL (a lead byte at the end): one byte that does not decode.
            *reinterpret_cast<char16_t *>(outPtr) = u'\uFFFD';
            outPtr += 2;
            outLeft -= 2;
            ++in;
            --inLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize((outPtr - outStart) / 2);
        return out;
    }

    namespace {

        // One character of 1 or 2 bytes to its UTF-16 unit, or 0 when it does not decode.
        char16_t decodeOne(const char *bytes, size_t length)
        {
            char16_t unit = 0;
            iconv_t cd = decoder().Handle();
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            char *in = const_cast<char *>(bytes);
            char *out = reinterpret_cast<char *>(&unit);
            size_t outLeft = sizeof unit;
            if (iconv(cd, &in, &length, &out, &outLeft) == static_cast<size_t>(-1) || length != 0
                || outLeft != 0)
                return 0;
            return unit;
        }

        void appendRawBytes(QString &text, unsigned value)
        {
            const char32_t c = kRawBytesBase + value;
            text += QChar(QChar::highSurrogate(c));
            text += QChar(QChar::lowSurrogate(c));
        }

    } // namespace

    QString DecodeLossless(QByteArrayView bytes, QList<qsizetype> *offsets)
    {
        QString out;
        out.reserve(bytes.size());
        if (offsets) {
            offsets->clear();
            offsets->reserve(bytes.size() + 1);
        }
        for (qsizetype i = 0; i < bytes.size();) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            const qsizetype length = (IsLeadByte(b) && i + 1 < bytes.size()
                                         && IsTrailByte(static_cast<unsigned char>(bytes[i + 1])))
                ? 2
                : 1;
            const qsizetype before = out.size();
            if (b < 0x80) {
                out += QChar(char16_t(b));
            } else if (const char16_t unit = decodeOne(bytes.data() + i, size_t(length))) {
                out += QChar(unit);
            } else {
                appendRawBytes(out,
                    length == 2 ? b * 256u + static_cast<unsigned char>(bytes[i + 1])
                                : unsigned(b));
            }
            if (offsets) {
                for (qsizetype k = before; k < out.size(); ++k)
                    offsets->append(k == before ? i : i + length);
            }
            i += length;
        }
        if (offsets)
            offsets->append(bytes.size());
        return out;
    }

    QByteArray Encode(QStringView text, bool *ok)
    {
        if (ok)
            *ok = true;
        QByteArray out;
        if (text.isEmpty())
            return out;
        out.resize(text.size() * 2);
        iconv_t cd = encoder().Handle();
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char *in = reinterpret_cast<char *>(const_cast<QChar *>(text.data()));
        size_t inLeft = static_cast<size_t>(text.size()) * 2;
        char *outPtr = out.data();
        size_t outLeft = static_cast<size_t>(out.size());
        while (inLeft > 0) {
            if (iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
                break;
            if (errno == E2BIG)
                break; // cannot happen: two bytes per unit at most
            // A character without a CP932 form, unless it stands for raw bytes; a surrogate pair
            // counts as one.
            const auto unit = *reinterpret_cast<const char16_t *>(in);
            const size_t skip
                = (QChar::isHighSurrogate(unit) && inLeft >= 4
                      && QChar::isLowSurrogate(*reinterpret_cast<const char16_t *>(in + 2)))
                ? 4
                : 2;
            const char32_t c = skip == 4
                ? QChar::surrogateToUcs4(unit, *reinterpret_cast<const char16_t *>(in + 2))
                : char32_t(unit);
            if (IsRawBytes(c)) {
                const unsigned value = c - kRawBytesBase;
                if (value > 0xFF) {
                    *outPtr++ = static_cast<char>(value >> 8);
                    --outLeft;
                }
                *outPtr++ = static_cast<char>(value & 0xFF);
                --outLeft;
            } else if (ok) {
                *ok = false;
            }
            in += skip;
            inLeft -= skip;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        out.resize(outPtr - out.data());
        return out;
    }

} // namespace iconvpath

namespace {

    // The system's converter asked about every character, so the tables hold exactly its
    // mapping: the decoding tables once at build time, the encoding ones as texts need them,
    // under a lock (any thread may encode, and the save at exit may still do so).
    struct TDecodeTable {
        // The character of a byte on its own; 0 when it is none. Bytes below 0x80 are themselves.
        char16_t Single[256];
        // The character of a lead byte and a second byte, indexed lead * 256 + second; 0 when
        // the two make none.
        char16_t Pair[0x10000];
    };

    // Per UTF-16 unit from 0x80 on: a single byte (below 0x100), a lead byte and a second byte
    // (lead * 256 + second, 0x8100 or more), or 0 when it has no CP932 form. Filled a block of
    // 256 units at a time as texts need it: start-up encodes a few weekday names only.
    struct TEncodeTable {
        std::uint16_t Forms[0x10000];
        std::atomic<bool> Built[256];
        std::mutex Building;
    };

    constexpr TDecodeTable decodeTableStorage =
#include "Cp932DecodeTable.inc"
        ;
    TEncodeTable encodeTableStorage;

    // One character through the converter: the number of bytes it gave, or 0 when it took the
    // input for no character (or for more or less than one).
    size_t convertOne(iconv_t cd, const void *input, size_t inSize, void *output, size_t outSize)
    {
        char *in = static_cast<char *>(const_cast<void *>(input));
        char *out = static_cast<char *>(output);
        size_t outLeft = outSize;
        if (iconv(cd, &in, &inSize, &out, &outLeft) == static_cast<size_t>(-1) || inSize != 0) {
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            return 0;
        }
        return outSize - outLeft;
    }

    void buildEncodeBlock(TEncodeTable &table, unsigned block)
    {
        const std::lock_guard<std::mutex> lock(table.Building);
        if (table.Built[block].load(std::memory_order_relaxed))
            return;
        const iconv_t cd = iconv_open("CP932", "UTF-16LE");
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        unsigned char bytes[4];
        // A surrogate is a unit of a pair, never a character of its own.
        for (unsigned c = std::max(block * 256, 0x80u); c < block * 256 + 256; ++c) {
            const char16_t unit = static_cast<char16_t>(c);
            if (QChar::isSurrogate(unit))
                continue;
            const size_t length = convertOne(cd, &unit, 2, bytes, sizeof bytes);
            // The converter gives the yen sign as a backslash and the overline as a tilde: read
            // back, a price would change. They are kept as references instead.
            if (length == 1 && bytes[0] < 0x80)
                continue;
            if (length == 1)
                table.Forms[c] = bytes[0];
            else if (length == 2)
                table.Forms[c] = static_cast<std::uint16_t>(bytes[0] * 256 + bytes[1]);
        }
        iconv_close(cd);
        table.Built[block].store(true, std::memory_order_release);
    }

    // Inline in the encoder's loop, where it runs for every character.
    [[gnu::always_inline]] inline std::uint16_t encodedForm(char16_t unit)
    {
        TEncodeTable &table = encodeTableStorage;
        if (!table.Built[unit >> 8].load(std::memory_order_acquire))
            buildEncodeBlock(table, unit >> 8);
        return table.Forms[unit];
    }

    const TDecodeTable &decodeTable() { return decodeTableStorage; }

    void appendRawBytes(char16_t *&out, unsigned value)
    {
        const char32_t c = kRawBytesBase + value;
        *out++ = QChar::highSurrogate(c);
        *out++ = QChar::lowSurrogate(c);
    }

    // Eight bytes below 0x80 in a row (none of them an '&' where references may occur): plain
    // text, copied as it is.
    template <bool References> bool plainRun(const unsigned char *p)
    {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if constexpr (References) {
            const std::uint64_t amps = word ^ 0x2626262626262626u; // a zero byte for each '&'
            word |= (amps - 0x0101010101010101u) & ~amps;
        }
        return (word & 0x8080808080808080u) == 0;
    }

    // Whether the bytes hold an '&', which a reference starts with.
    bool mayHoldReferences(QByteArrayView bytes)
    {
        return std::memchr(bytes.data(), '&', size_t(bytes.size())) != nullptr;
    }

    // Whether a reference to c reads as c: a character without a CP932 form, or the '&'.
    bool referable(char32_t c)
    {
        if (c == u'&')
            return true;
        // C1 controls have no place in a line of text either.
        if (c < 0xA0 || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF))
            return false;
        return c > 0xFFFF || encodedForm(char16_t(c)) == 0;
    }

    // The reference at the start of the units at(0), at(1) ..., where at gives 0 past the end:
    // its code point and length, or 0.
    template <typename At> char32_t referenceAt(At at, qsizetype *length)
    {
        if (at(0) != u'&' || at(1) != u'#' || at(2) != u'x')
            return 0;
        char32_t c = 0;
        qsizetype i = 3;
        for (;; ++i) {
            const char32_t u = at(i);
            int digit;
            if (u >= u'0' && u <= u'9')
                digit = int(u - u'0');
            else if (u >= u'A' && u <= u'F')
                digit = int(u - u'A') + 10;
            else if (u >= u'a' && u <= u'f')
                digit = int(u - u'a') + 10;
            else
                break;
            c = c * 16 + char32_t(digit);
            if (c > 0x10FFFF)
                return 0;
        }
        if (i == 3 || at(i) != u';' || !referable(c))
            return 0;
        *length = i + 1;
        return c;
    }

    void appendUnits(char16_t *&out, char32_t c)
    {
        if (c > 0xFFFF) {
            *out++ = QChar::highSurrogate(c);
            *out++ = QChar::lowSurrogate(c);
        } else {
            *out++ = char16_t(c);
        }
    }

} // namespace

QString Decode(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    // Every byte gives at most one unit.
    QString out(bytes.size(), Qt::Uninitialized);
    out.truncate(DecodeInto(bytes, reinterpret_cast<char16_t *>(out.data())));
    return out;
}

char32_t ReferenceAt(QByteArrayView bytes, qsizetype *length)
{
    return referenceAt(
        [bytes](qsizetype i) {
            return i < bytes.size() ? char32_t(static_cast<unsigned char>(bytes[i])) : char32_t(0);
        },
        length);
}

bool StartsReference(QStringView text, QStringView next)
{
    qsizetype length = 0;
    return referenceAt(
               [text, next](qsizetype i) {
                   if (i < text.size())
                       return char32_t(text[i].unicode());
                   i -= text.size();
                   return i < next.size() ? char32_t(next[i].unicode()) : char32_t(0);
               },
               &length)
        != 0;
}

namespace {

    template <bool References>
    qsizetype decodeInto(const TDecodeTable &table, QByteArrayView bytes, char16_t *out)
    {
        const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
        const auto *const end = p + bytes.size();
        char16_t *o = out;
        while (p < end) {
            const unsigned char b = *p;
            if (b < 0x80) {
                if (end - p >= 8 && plainRun<References>(p)) {
                    for (int k = 0; k < 8; ++k)
                        o[k] = p[k];
                    p += 8;
                    o += 8;
                    continue;
                }
                // A reference is at least five bytes for at most two units.
                if constexpr (References) {
                    qsizetype length = 0;
                    if (b == '&') {
                        if (const char32_t c = ReferenceAt(QByteArrayView(p, end - p), &length)) {
                            appendUnits(o, c);
                            p += length;
                            continue;
                        }
                    }
                }
                *o++ = b;
                ++p;
            } else if (const char16_t single = table.Single[b]) {
                *o++ = single;
                ++p;
            } else if (const char16_t pair = p + 1 < end ? table.Pair[b * 256 + p[1]] : 0) {
                *o++ = pair;
                p += 2;
            } else {
                *o++ = u'\uFFFD';
                ++p;
            }
        }
        return o - out;
    }

} // namespace

TDecodeTables DecodeTables()
{
    const TDecodeTable &table = decodeTable();
    return { table.Single, table.Pair };
}

qsizetype DecodeInto(QByteArrayView bytes, char16_t *out)
{
    const TDecodeTable &table = decodeTable();
    return mayHoldReferences(bytes) ? decodeInto<true>(table, bytes, out)
                                    : decodeInto<false>(table, bytes, out);
}

QString DecodeLossless(QByteArrayView bytes, QList<qsizetype> *offsets)
{
    if (offsets) {
        offsets->clear();
        offsets->reserve(bytes.size() + 1);
    }
    if (bytes.isEmpty()) {
        if (offsets)
            offsets->append(0);
        return QString();
    }
    // One unit per byte but for raw bytes, which are rare: room is made when one comes.
    QString out(bytes.size(), Qt::Uninitialized);
    const TDecodeTable &table = decodeTable();
    const auto *data = reinterpret_cast<const unsigned char *>(bytes.data());
    const qsizetype size = bytes.size();
    char16_t *start = reinterpret_cast<char16_t *>(out.data());
    char16_t *o = start;
    const bool references = mayHoldReferences(bytes);
    for (qsizetype i = 0; i < size;) {
        const unsigned char b = data[i];
        if (references && b == '&') {
            // At least five bytes for at most two units.
            qsizetype length = 0;
            if (const char32_t c = ReferenceAt(bytes.sliced(i), &length)) {
                if (offsets) {
                    offsets->append(i);
                    if (c > 0xFFFF)
                        offsets->append(i + length);
                }
                appendUnits(o, c);
                i += length;
                continue;
            }
        }
        const qsizetype length
            = (IsLeadByte(b) && i + 1 < size && IsTrailByte(data[i + 1])) ? 2 : 1;
        const qsizetype before = o - start;
        if (b < 0x80) {
            *o++ = b;
        } else if (const char16_t unit
            = length == 2 ? table.Pair[b * 256 + data[i + 1]] : table.Single[b]) {
            *o++ = unit;
        } else {
            const qsizetype used = o - start;
            if (used + 2 + (size - i - length) > out.size()) {
                out.resize(std::max(out.size() * 2, used + 2 + (size - i - length)));
                start = reinterpret_cast<char16_t *>(out.data());
                o = start + used;
            }
            appendRawBytes(o, length == 2 ? b * 256u + data[i + 1] : unsigned(b));
        }
        if (offsets) {
            for (qsizetype k = before; k < o - start; ++k)
                offsets->append(k == before ? i : i + length);
        }
        i += length;
    }
    if (offsets)
        offsets->append(size);
    out.truncate(o - start);
    return out;
}

namespace {

    // Whether the raw bytes of value read back as value, with the byte next after them.
    bool rawBytesReadBack(unsigned value, unsigned char next)
    {
        const TDecodeTable &table = decodeTable();
        if (value >= 0x100)
            return IsTrailByte(static_cast<unsigned char>(value)) && table.Pair[value] == 0;
        return value >= 0x80 && table.Single[value] == 0
            && !(IsLeadByte(static_cast<unsigned char>(value)) && IsTrailByte(next));
    }

    // The first byte the character at the start of text is stored with, 0 for none. Raw bytes
    // are taken to stay bytes, which makes a lone lead byte before them a reference at worst.
    unsigned char firstByte(QStringView text)
    {
        if (text.isEmpty())
            return 0;
        const char16_t unit = text[0].unicode();
        if (unit < 0x80)
            return static_cast<unsigned char>(unit == u'\n' ? u'\r' : unit);
        if (!QChar::isSurrogate(unit)) {
            const std::uint16_t form = encodedForm(unit);
            return form == 0 ? '&' : static_cast<unsigned char>(form >= 0x100 ? form >> 8 : form);
        }
        if (QChar::isHighSurrogate(unit) && text.size() > 1 && text[1].isLowSurrogate()) {
            const char32_t c = QChar::surrogateToUcs4(unit, text[1].unicode());
            if (IsRawBytes(c)) {
                const unsigned value = c - kRawBytesBase;
                return static_cast<unsigned char>(value >= 0x100 ? value >> 8 : value);
            }
            return '&';
        }
        return 0;
    }

    // Writes the reference to c at o in out, making room for it and for two bytes a unit of
    // the unitsLeft still to write; returns where the next byte goes.
    char *appendReference(QByteArray &out, char *o, char32_t c, qsizetype unitsLeft)
    {
        char digits[8];
        int count = 0;
        for (char32_t v = c; count == 0 || v != 0; v >>= 4)
            digits[count++] = "0123456789ABCDEF"[v & 0xF];
        const qsizetype used = o - out.data();
        const qsizetype needed = used + 4 + count + unitsLeft * 2;
        if (needed > out.size()) {
            out.resize(std::max(needed, out.size() + out.size() / 2));
            o = out.data() + used;
        }
        std::memcpy(o, "&#x", 3);
        o += 3;
        while (count > 0)
            *o++ = digits[--count];
        *o++ = ';';
        return o;
    }

} // namespace

QByteArray Encode(QStringView text, bool *ok, QStringView next)
{
    if (ok)
        *ok = true;
    if (text.isEmpty())
        return QByteArray();
    bool encoded = true;
    // Two bytes a unit at most, but for references, which make room for themselves.
    QByteArray out(text.size() * 2, Qt::Uninitialized);
    const char16_t *const begin = text.utf16();
    const char16_t *p = begin;
    const char16_t *const end = p + text.size();
    char *o = out.data();
    while (p < end) {
        const char16_t unit = *p++;
        if (unit < 0x80) {
            if (unit == u'&' && StartsReference(text.sliced(p - 1 - begin), next))
                o = appendReference(out, o, u'&', end - p);
            else
                *o++ = static_cast<char>(unit);
        } else if (!QChar::isSurrogate(unit)) {
            const std::uint16_t form = encodedForm(unit);
            if (form >= 0x100)
                *o++ = static_cast<char>(form >> 8);
            if (form)
                *o++ = static_cast<char>(form & 0xFF);
            else if (referable(unit))
                o = appendReference(out, o, unit, end - p);
            else
                encoded = false;
        } else if (QChar::isHighSurrogate(unit) && p < end && QChar::isLowSurrogate(*p)) {
            // Outside the basic plane CP932 has nothing but the raw bytes kept there.
            const char32_t c = QChar::surrogateToUcs4(unit, *p++);
            const unsigned value = c - kRawBytesBase;
            if (IsRawBytes(c)
                && rawBytesReadBack(value, firstByte(p < end ? text.sliced(p - begin) : next))) {
                if (value > 0xFF)
                    *o++ = static_cast<char>(value >> 8);
                *o++ = static_cast<char>(value & 0xFF);
            } else {
                o = appendReference(out, o, c, end - p);
            }
        } else {
            encoded = false;
        }
    }
    out.truncate(o - out.data());
    if (ok)
        *ok = encoded;
    return out;
}

QString StoredForm(QStringView text, QString *refused)
{
    bool ok = true;
    const QByteArray whole = Encode(text, &ok);
    if (ok)
        return DecodeLossless(whole);

    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length
            = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ? 2
            : 1;
        const QStringView character = text.mid(i, length);
        Encode(character, &ok);
        if (ok)
            out += character;
        else if (refused && !refused->contains(character))
            refused->append(character);
        i += length;
    }
    // The characters kept, in the form they read back in.
    return DecodeLossless(Encode(out));
}

bool CanEncode(QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i].unicode();
        if (unit < 0x80)
            continue;
        if (!QChar::isSurrogate(unit)) {
            if (encodedForm(unit) == 0)
                return false;
        } else if (QChar::isHighSurrogate(unit) && i + 1 < text.size()
            && text[i + 1].isLowSurrogate()
            && IsRawBytes(QChar::surrogateToUcs4(unit, text[i + 1].unicode()))) {
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

} // namespace cp932
