#include "Cp932.h"

#include <cerrno>
#include <iconv.h>

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

namespace {

    // One conversion descriptor per direction, opened on first use. The diary runs its store and
    // its editor on one thread; the command-line tool and the tests are single-threaded too.
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
                length == 2 ? b * 256u + static_cast<unsigned char>(bytes[i + 1]) : unsigned(b));
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
        const size_t skip = (QChar::isHighSurrogate(unit) && inLeft >= 4
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

QString StoredForm(QStringView text, QString *refused)
{
    bool ok = true;
    const QByteArray whole = Encode(text, &ok);
    // Without surrogates no raw bytes can join the next character's bytes into another one.
    bool plain = ok;
    for (qsizetype i = 0; plain && i < text.size(); ++i)
        plain = !text[i].isSurrogate();
    if (plain)
        return DecodeLossless(whole);

    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype length
            = (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ? 2
            : 1;
        const QStringView character = text.mid(i, length);
        const QByteArray bytes = Encode(character, &ok);
        if (ok)
            out += DecodeLossless(bytes);
        else if (refused && !refused->contains(character))
            refused->append(character);
        i += length;
    }
    return out;
}

bool CanEncode(QStringView text)
{
    bool ok = true;
    Encode(text, &ok);
    return ok;
}

} // namespace cp932
