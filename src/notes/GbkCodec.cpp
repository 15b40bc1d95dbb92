#include "notes/GbkCodec.h"

#include <QSysInfo>

#include <array>
#include <iconv.h>
#include <memory>

namespace {

constexpr int kLeadFirst = 0x81;
constexpr int kLeadLast = 0xFE;
constexpr int kTrailFirst = 0x40;
constexpr int kTrailLast = 0xFE;
constexpr int kTrailCount = kTrailLast - kTrailFirst + 1;
constexpr char16_t kReplacement = 0xFFFD;

const char* utf16Name()
{
    return QSysInfo::ByteOrder == QSysInfo::LittleEndian ? "UTF-16LE" : "UTF-16BE";
}

struct IconvHandle
{
    explicit IconvHandle(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (valid())
            iconv_close(cd);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool valid() const { return cd != reinterpret_cast<iconv_t>(-1); }

    // Converts one complete unit; returns the number of output bytes, or -1 when there is no mapping.
    int convert(const void* in, size_t inSize, char* out, size_t outSize)
    {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* inPtr = static_cast<char*>(const_cast<void*>(in));
        char* outPtr = out;
        size_t inLeft = inSize;
        size_t outLeft = outSize;
        if (iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) || inLeft != 0)
            return -1;
        return int(outSize - outLeft);
    }

    iconv_t cd;
};

// GBK code of every BMP unit (0: none). 128 KB, built from the encoding direction so that
// "takes two bytes" means exactly what the converter does.
struct EncodeTable
{
    std::array<quint16, 65536> code{};

    EncodeTable()
    {
        for (int c = 1; c < 0x80; ++c)
            code[c] = quint16(c);
        IconvHandle cd("GBK", utf16Name());
        if (!cd.valid())
            return;
        for (int c = 0x80; c < 0x10000; ++c) {
            if (c >= 0xD800 && c < 0xE000)
                continue;
            const char16_t unit = char16_t(c);
            char out[8];
            const int n = cd.convert(&unit, sizeof unit, out, sizeof out);
            if (n == 1)
                code[c] = quint8(out[0]);
            else if (n == 2)
                code[c] = quint16(quint8(out[0]) << 8 | quint8(out[1]));
        }
    }
};

// Unicode of every GBK byte and byte pair (0: none).
struct DecodeTable
{
    std::array<char16_t, 256> single{};
    std::array<char16_t, (kLeadLast - kLeadFirst + 1) * kTrailCount> pair{};

    DecodeTable()
    {
        for (int b = 0; b < 0x80; ++b)
            single[b] = char16_t(b);
        IconvHandle cd(utf16Name(), "GBK");
        if (!cd.valid())
            return;
        char16_t out[4];
        for (int b = 0x80; b < 0x100; ++b) {
            const char in = char(b);
            if (cd.convert(&in, 1, reinterpret_cast<char*>(out), sizeof out) == 2)
                single[b] = out[0];
        }
        for (int lead = kLeadFirst; lead <= kLeadLast; ++lead) {
            for (int trail = kTrailFirst; trail <= kTrailLast; ++trail) {
                const char in[2] = {char(lead), char(trail)};
                if (cd.convert(in, 2, reinterpret_cast<char*>(out), sizeof out) == 2)
                    pair[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)] = out[0];
            }
        }
    }
};

const EncodeTable& encodeTable()
{
    static const auto table = std::make_unique<EncodeTable>();
    return *table;
}

const DecodeTable& decodeTable()
{
    static const auto table = std::make_unique<DecodeTable>();
    return *table;
}

} // namespace

bool isDoubleByteAnsi(QChar c)
{
    return encodeTable().code[c.unicode()] > 0xFF;
}

quint16 gbkCode(QChar c)
{
    return encodeTable().code[c.unicode()];
}

QString decodeGbk(QByteArrayView bytes)
{
    const DecodeTable& table = decodeTable();
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    char16_t* const begin = out;
    const auto* in = reinterpret_cast<const quint8*>(bytes.data());
    const auto* const end = in + bytes.size();
    while (in < end) {
        const quint8 b = *in;
        if (b < 0x80) {
            *out++ = b;
            ++in;
            continue;
        }
        if (b >= kLeadFirst && b <= kLeadLast && end - in >= 2 && in[1] >= kTrailFirst &&
            in[1] <= kTrailLast) {
            const char16_t u = table.pair[(b - kLeadFirst) * kTrailCount + (in[1] - kTrailFirst)];
            if (u != 0) {
                *out++ = u;
                in += 2;
                continue;
            }
        }
        // Only the first byte is given up, so an ASCII byte after a broken lead byte survives.
        const char16_t u = table.single[b];
        *out++ = u != 0 ? u : kReplacement;
        ++in;
    }
    text.truncate(out - begin);
    return text;
}

QByteArray encodeGbk(QStringView text)
{
    const EncodeTable& table = encodeTable();
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const quint16 code = table.code[c.unicode()];
        if (code > 0xFF) {
            bytes.append(char(code >> 8));
            bytes.append(char(code & 0xFF));
        } else if (code != 0 || c.unicode() == 0) {
            bytes.append(char(code));
        } else {
            // One question mark per character: a surrogate pair is one character.
            if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            bytes.append('?');
        }
    }
    return bytes;
}
