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

    const auto sameEncode = [](QStringView text) {
        bool ok = false;
        bool expectedOk = true;
        const QByteArray bytes = cp932::Encode(text, &ok);
        return bytes == cp932::iconvpath::Encode(text, &expectedOk) && ok == expectedOk;
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
    EXPECT_TRUE(sameEncode(text));
    EXPECT_TRUE(sameEncode(cp932::iconvpath::Decode(mixed)));
}
