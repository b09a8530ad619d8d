#include "Cp932.h"

#include <gtest/gtest.h>
#include <random>

// The tables give what the system's converter gives: for every input of one and two bytes, for
// every unit of the basic plane and every raw-byte code point, and for a long run of mixed bytes
// (where eight plain bytes in a row are copied at once).
TEST(Cp932Tables, SameAsTheSystemConverterForEveryInput)
{
    const auto sameDecode = [](QByteArrayView bytes) {
        QList<qsizetype> offsets;
        QList<qsizetype> expectedOffsets;
        const QString lossless = cp932::DecodeLossless(bytes, &offsets);
        const QString expected = cp932::iconvpath::DecodeLossless(bytes, &expectedOffsets);
        return cp932::Decode(bytes) == cp932::iconvpath::Decode(bytes) && lossless == expected
            && offsets == expectedOffsets;
    };
    for (unsigned b = 0; b < 0x100; ++b) {
        const char one[] = { static_cast<char>(b) };
        ASSERT_TRUE(sameDecode(QByteArrayView(one, 1))) << std::hex << b;
    }
    for (unsigned b = 0; b < 0x10000; ++b) {
        const char two[] = { static_cast<char>(b >> 8), static_cast<char>(b & 0xFF) };
        ASSERT_TRUE(sameDecode(QByteArrayView(two, 2))) << std::hex << b;
    }

    // One character: where the converter's bytes read back as it, the same bytes; elsewhere a
    // reference, which does; and only what no reference carries is left out.
    const auto sameEncode = [](QStringView text) {
        bool ok = false;
        bool expectedOk = true;
        const QByteArray bytes = cp932::Encode(text, &ok);
        const QByteArray expected = cp932::iconvpath::Encode(text, &expectedOk);
        const char16_t c = text[0].unicode();
        // But for the yen sign and the overline, which the converter gives as "\\" and "~".
        const bool readsAsAscii
            = c >= 0x80 && expected.size() == 1 && static_cast<unsigned char>(expected[0]) < 0x80;
        if (expectedOk && !readsAsAscii
            && (text.size() == 1 || cp932::DecodeLossless(expected) == text))
            return ok && bytes == expected;
        if ((c >= 0x80 && c < 0xA0) || (text.size() == 1 && QChar::isSurrogate(c)))
            return !ok && bytes.isEmpty();
        return ok && bytes.startsWith("&#x") && cp932::DecodeLossless(bytes) == text;
    };
    for (char32_t c = 0; c < 0x10000; ++c) {
        const char16_t unit = static_cast<char16_t>(c);
        ASSERT_TRUE(sameEncode(QStringView(&unit, 1))) << std::hex << unsigned(c);
    }
    for (char32_t c = cp932::kRawBytesBase; c < cp932::kRawBytesBase + 0x10000; ++c) {
        const char16_t pair[] = { QChar::highSurrogate(c), QChar::lowSurrogate(c) };
        ASSERT_TRUE(sameEncode(QStringView(pair, 2))) << std::hex << unsigned(c);
    }

    std::mt19937 random(7);
    QByteArray mixed;
    while (mixed.size() < 200000) {
        const unsigned pick = random() % 4;
        const qsizetype run = random() % 20;
        for (qsizetype i = 0; i < run; ++i)
            mixed += static_cast<char>(pick == 0 ? random() % 0x100 : 0x20 + random() % 0x5F);
        if (pick == 1)
            mixed += "\x93\xfa\x8b\x4c"; // 日記
    }
    EXPECT_TRUE(sameDecode(mixed));
    const QString text = cp932::iconvpath::DecodeLossless(mixed);
    EXPECT_EQ(cp932::Encode(text), cp932::iconvpath::Encode(text));
    const QString replaced = cp932::iconvpath::Decode(mixed);
    EXPECT_EQ(cp932::DecodeLossless(cp932::Encode(replaced)), replaced);
}

// What the code page lacks is written as references and read back; text that looks like one
// comes back as it was, and so do the references only another program writes.
TEST(Cp932References, ReadBackAsTheTextWritten)
{
    struct TCase {
        const char16_t *Text;
        const char *Bytes;
        bool Written; // Encode gives these bytes; otherwise they are only read
    };
    const TCase cases[] = {
        { u"♥😀𠮷野家", "&#x2665;&#x1F600;&#x20BB7;\x96\xEC\x89\xC6", true },
        { u"\u2600\uFE0F 👨\u200D👧 e\u0301", "&#x2600;&#xFE0F; &#x1F468;&#x200D;&#x1F467; e&#x301;",
            true },
        { u"&#x1F600;&#x26;&#x41;&#x1F600", "&#x26;#x1F600;&#x26;#x26;&#x41;&#x1F600", true },
        { u"&#X1F600;&#x;&#x0;&#x85;&#xD800;&#x110000;&#x1F6\r\n00;",
            "&#X1F600;&#x;&#x0;&#x85;&#xD800;&#x110000;&#x1F6\r\n00;", true },
        // A lone lead byte is never written where it would join the next byte.
        { u"\U000F0081A", "&#xF0081;A", true },
        { u"\u00A51,000 \u203E", "&#xA5;1,000 &#x203E;", true },
        { u"😀😀&", "&#x1f600;&#x0001F600;&#x026;", false },
    };
    for (const TCase &c : cases) {
        const QString text = QString::fromUtf16(c.Text);
        const QByteArray bytes(c.Bytes);
        SCOPED_TRACE(c.Bytes);
        if (c.Written) {
            EXPECT_EQ(cp932::Encode(text), bytes);
        }
        EXPECT_EQ(cp932::DecodeLossless(bytes), text);
        EXPECT_EQ(cp932::Decode(bytes), text);
    }
}
