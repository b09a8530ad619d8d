// Writes the CP932 decoding tables as C++ source, asking the system's converter about every
// byte and every pair of bytes once, at build time: the programs then start without doing so.
#include <cstdio>
#include <iconv.h>

namespace {

// The UTF-16 unit the bytes convert to as one character, or 0.
unsigned convertOne(iconv_t cd, const unsigned char *bytes, size_t size)
{
    char *in = reinterpret_cast<char *>(const_cast<unsigned char *>(bytes));
    unsigned char out[4];
    char *outPtr = reinterpret_cast<char *>(out);
    size_t inLeft = size;
    size_t outLeft = sizeof out;
    const bool failed = iconv(cd, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1);
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    if (failed || inLeft != 0 || sizeof out - outLeft != 2)
        return 0;
    return unsigned(out[0]) | unsigned(out[1]) << 8;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2)
        return 2;
    const iconv_t cd = iconv_open("UTF-16LE", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return 1;
    FILE *out = std::fopen(argv[1], "w");
    if (!out)
        return 1;
    unsigned single[256] = {};
    for (unsigned b = 0x80; b < 0x100; ++b) {
        const unsigned char one[] = { static_cast<unsigned char>(b) };
        single[b] = convertOne(cd, one, 1);
    }
    std::fprintf(out, "// Made by Cp932TableMaker from the system's converter.\n{\n    {");
    for (unsigned b = 0; b < 0x100; ++b)
        std::fprintf(out, "%s%u", b ? "," : "", single[b]);
    std::fprintf(out, "},\n    {");
    // Every byte that is no character alone, with every byte after it.
    for (unsigned first = 0; first < 0x100; ++first) {
        for (unsigned second = 0; second < 0x100; ++second) {
            const unsigned char two[]
                = { static_cast<unsigned char>(first), static_cast<unsigned char>(second) };
            const unsigned unit = first >= 0x80 && !single[first] ? convertOne(cd, two, 2) : 0;
            std::fprintf(
                out, "%s%u%s", first || second ? "," : "", unit, second == 0xFF ? "\n" : "");
        }
    }
    std::fprintf(out, "}\n}\n");
    iconv_close(cd);
    return std::fclose(out) == 0 ? 0 : 1;
}
