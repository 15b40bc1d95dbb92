// Writes the GBK (code page 936) tables of the note codec as read-only data, so that titles and
// decoding never start a converter at run time:
//   make_gbk_table <GbkTables.h> <GbkTables.cpp>
// Both directions are taken from glibc's iconv one unit at a time, exactly as the converter answers
// for a single character, so "takes two bytes" means what the converter does.

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kLeadFirst = 0x81;
constexpr int kLeadLast = 0xFE;
constexpr int kTrailFirst = 0x40;
constexpr int kTrailLast = 0xFE;
constexpr int kLeadCount = kLeadLast - kLeadFirst + 1;
constexpr int kTrailCount = kTrailLast - kTrailFirst + 1;

class Converter
{
public:
    Converter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Converter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts one complete unit from a fresh state; empty when there is no mapping.
    std::vector<std::uint8_t> convert(const std::uint8_t* in, size_t inSize)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char input[8];
        std::memcpy(input, in, inSize);
        char output[16];
        char* inPtr = input;
        char* outPtr = output;
        size_t inLeft = inSize;
        size_t outLeft = sizeof output;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return {};
        return std::vector<std::uint8_t>(output, outPtr);
    }

private:
    iconv_t m_cd;
};

struct Tables
{
    std::array<std::uint16_t, 65536> code{};               // GBK code of every BMP unit, 0: none
    std::array<char16_t, 256> single{};                    // Unicode of every single byte, 0: none
    std::array<char16_t, kLeadCount * kTrailCount> pair{}; // Unicode of every byte pair, 0: none
};

bool buildTables(Tables& t)
{
    Converter encoder("GBK", "UTF-16LE");
    Converter decoder("UTF-16LE", "GBK");
    if (!encoder.valid() || !decoder.valid()) {
        std::fprintf(stderr, "make_gbk_table: iconv has no GBK converter: %s\n", std::strerror(errno));
        return false;
    }
    for (int c = 1; c < 0x80; ++c)
        t.code[c] = std::uint16_t(c);
    for (int c = 0x80; c < 0x10000; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue; // a lone surrogate is no character
        const std::uint8_t in[2] = {std::uint8_t(c & 0xFF), std::uint8_t(c >> 8)};
        const std::vector<std::uint8_t> out = encoder.convert(in, 2);
        if (out.size() == 1)
            t.code[c] = out[0];
        else if (out.size() == 2)
            t.code[c] = std::uint16_t(out[0] << 8 | out[1]);
    }

    for (int b = 0; b < 0x80; ++b)
        t.single[b] = char16_t(b);
    const auto unitOf = [](const std::vector<std::uint8_t>& out) {
        return out.size() == 2 ? char16_t(out[0] | out[1] << 8) : char16_t(0);
    };
    for (int b = 0x80; b < 0x100; ++b) {
        const std::uint8_t in[1] = {std::uint8_t(b)};
        t.single[b] = unitOf(decoder.convert(in, 1));
    }
    for (int lead = kLeadFirst; lead <= kLeadLast; ++lead) {
        for (int trail = kTrailFirst; trail <= kTrailLast; ++trail) {
            const std::uint8_t in[2] = {std::uint8_t(lead), std::uint8_t(trail)};
            t.pair[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] =
                unitOf(decoder.convert(in, 2));
        }
    }
    return true;
}

// A converter that loads but maps almost nothing (a stripped gconv folder) must not slip into the
// build as an empty table: check a few well-known codes and the size of the double-byte set.
bool plausible(const Tables& t)
{
    int doubles = 0;
    for (std::uint16_t code : t.code)
        doubles += code > 0xFF;
    const bool known = t.code[0x4E2D] == 0xD6D0 && t.code[0xFF21] == 0xA3C1 && t.code[0x3000] == 0xA1A1 &&
                       t.pair[(0xD6 - kLeadFirst) * kTrailCount + (0xD0 - kTrailFirst)] == 0x4E2D;
    if (!known || doubles < 20000) {
        std::fprintf(stderr,
                     "make_gbk_table: the GBK converter gave implausible tables (%d double-byte codes)\n",
                     doubles);
        return false;
    }
    return true;
}

template <typename T, size_t N>
void writeArray(std::ostream& out, const char* type, const char* name, const std::array<T, N>& values,
                int width)
{
    out << "extern constinit const " << type << ' ' << name << '[' << N << "] = {";
    for (size_t i = 0; i < N; ++i) {
        if (i % 12 == 0)
            out << "\n   ";
        char number[16];
        std::snprintf(number, sizeof number, " 0x%0*X,", width, unsigned(values[i]));
        out << number;
    }
    out << "\n};\n\n";
}

const char* const kHeader =
    R"(// Generated by tools/make_gbk_table.cpp from glibc's GBK converter; do not edit.
#pragma once

#include <cstdint>

namespace GbkTables {

inline constexpr int kLeadFirst = 0x%02X;
inline constexpr int kLeadLast = 0x%02X;
inline constexpr int kTrailFirst = 0x%02X;
inline constexpr int kTrailLast = 0x%02X;
inline constexpr int kTrailCount = kTrailLast - kTrailFirst + 1;

/// Bit c of the set: the BMP unit c takes two bytes in GBK. 8 KiB, so a title touches a page or two.
extern const std::uint32_t doubleByte[65536 / 32];

/// GBK code of a BMP unit c: encodePages[encodePageOf[c >> 8]][c & 0xFF]; 1..0xFF single byte,
/// lead * 256 + trail for two bytes, 0 none. Page 0 is the empty page shared by every unmapped block.
extern const std::uint8_t encodePageOf[256];
extern const std::uint16_t encodePages[%d][256];

/// Unicode of a single byte (0: none) and of a lead/trail pair at
/// (lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst) (0: none).
extern const char16_t decodeSingle[256];
extern const char16_t decodePair[%d];

} // namespace GbkTables
)";

bool writeFile(const std::string& path, const std::string& content)
{
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << content;
        out.close();
        if (!out)
            return false;
    }
    // Renamed only when complete, so a failed run never leaves a table that looks up to date.
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_gbk_table <GbkTables.h> <GbkTables.cpp>\n");
        return 2;
    }
    static Tables tables;
    if (!buildTables(tables) || !plausible(tables))
        return 1;

    std::array<std::uint32_t, 65536 / 32> doubleByte{};
    for (int c = 0; c < 65536; ++c) {
        if (tables.code[c] > 0xFF)
            doubleByte[c >> 5] |= std::uint32_t(1) << (c & 31);
    }

    std::array<std::uint8_t, 256> pageOf{};
    std::vector<std::array<std::uint16_t, 256>> pages(1); // page 0: nothing mapped
    for (int high = 0; high < 256; ++high) {
        std::array<std::uint16_t, 256> page;
        std::memcpy(page.data(), &tables.code[high << 8], sizeof page);
        if (page == pages[0])
            continue;
        if (pages.size() == 256) {
            std::fprintf(stderr, "make_gbk_table: more encoding pages than an 8-bit index holds\n");
            return 1;
        }
        pageOf[high] = std::uint8_t(pages.size());
        pages.push_back(page);
    }

    char header[4096];
    std::snprintf(header, sizeof header, kHeader, kLeadFirst, kLeadLast, kTrailFirst, kTrailLast,
                  int(pages.size()), kLeadCount * kTrailCount);

    std::ostringstream source;
    source << "// Generated by tools/make_gbk_table.cpp from glibc's GBK converter; do not edit.\n"
              "#include \"text/GbkTables.h\"\n\nnamespace GbkTables {\n\n";
    writeArray(source, "std::uint32_t", "doubleByte", doubleByte, 8);
    writeArray(source, "std::uint8_t", "encodePageOf", pageOf, 2);
    source << "extern constinit const std::uint16_t encodePages[" << pages.size() << "][256] = {\n";
    for (const auto& page : pages) {
        source << "{";
        for (size_t i = 0; i < page.size(); ++i) {
            if (i % 12 == 0)
                source << "\n   ";
            char number[16];
            std::snprintf(number, sizeof number, " 0x%04X,", unsigned(page[i]));
            source << number;
        }
        source << "\n},\n";
    }
    source << "};\n\n";
    writeArray(source, "char16_t", "decodeSingle", tables.single, 4);
    writeArray(source, "char16_t", "decodePair", tables.pair, 4);
    source << "} // namespace GbkTables\n";

    if (!writeFile(argv[1], header) || !writeFile(argv[2], source.str())) {
        std::fprintf(stderr, "make_gbk_table: cannot write %s or %s\n", argv[1], argv[2]);
        return 1;
    }
    return 0;
}
