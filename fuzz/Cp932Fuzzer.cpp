// Reads arbitrary bytes as text (two bytes a UTF-16 unit) and as bytes of the code page, and
// checks that the conversions keep every character:
// - text that encodes without refusal reads back as the same text (each character in the form
//   the code page keeps it in), also when it is written in two parts, the first knowing what
//   follows it;
// - what is refused is only what no reference carries (a lone surrogate, a control character
//   the code page lacks);
// - bytes read, written and read again give the same text;
// - the decoding tables give what the system's converter gives, for any run of bytes.
#include "Cp932.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void check(bool condition, const char *what)
{
    if (!condition) {
        fprintf(stderr, "code page fuzzer: %s\n", what);
        abort();
    }
}

bool refusable(QChar c) { return c.isSurrogate() || (c.unicode() >= 0x80 && c.unicode() < 0xA0); }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    check(cp932::Decode(bytes) == cp932::iconvpath::Decode(bytes)
            && cp932::DecodeLossless(bytes) == cp932::iconvpath::DecodeLossless(bytes),
        "the tables decode otherwise than the system's converter");
    const QString read = cp932::DecodeLossless(bytes);
    bool ok = false;
    const QByteArray written = cp932::Encode(read, &ok);
    check(ok, "text read from bytes is refused");
    check(cp932::DecodeLossless(written) == read, "bytes read, written and read differ");

    QString text(qsizetype(size / 2), Qt::Uninitialized);
    for (size_t i = 0; i + 1 < size; i += 2)
        text[qsizetype(i / 2)] = QChar(char16_t(data[i] | data[i + 1] << 8));
    const QByteArray encoded = cp932::Encode(text, &ok);
    if (!ok) {
        QString refused;
        const QString kept = cp932::StoredForm(text, &refused);
        check(!refused.isEmpty(), "refused without naming what");
        for (QChar c : refused)
            check(refusable(c), "a character a reference carries is refused");
        check(cp932::DecodeLossless(cp932::Encode(kept)) == kept,
            "kept text written and read differs");
        return 0;
    }
    // Each character reads back as itself, or as the form the code page gives it (U+2212 as
    // U+FF0D): nothing is joined with or escaped by its neighbours.
    QString expected;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const qsizetype length = text[i].isHighSurrogate() ? 2 : 1;
        expected += cp932::DecodeLossless(cp932::Encode(QStringView(text).mid(i, length)));
        i += length - 1;
    }
    check(cp932::DecodeLossless(encoded) == expected, "text written and read differs");
    // Written in two parts, as the editor writes what was typed before text it keeps.
    qsizetype split = size > 0 ? qsizetype(data[0]) % (text.size() + 1) : 0;
    if (split > 0 && split < text.size() && text[split].isLowSurrogate())
        --split;
    const QString front = text.left(split);
    const QString back = text.mid(split);
    check(cp932::DecodeLossless(cp932::Encode(front, nullptr, back) + cp932::Encode(back))
            == expected,
        "text written in two parts and read differs");
    return 0;
}
