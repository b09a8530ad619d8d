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
        if (ok)
            *ok = false;
        // Skip the character that has no CP932 form: a surrogate pair counts as one.
        const auto unit = *reinterpret_cast<const char16_t *>(in);
        const size_t skip = (QChar::isHighSurrogate(unit) && inLeft >= 4) ? 4 : 2;
        in += skip;
        inLeft -= skip;
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(outPtr - out.data());
    return out;
}

bool CanEncode(QStringView text)
{
    bool ok = true;
    Encode(text, &ok);
    return ok;
}

} // namespace cp932
