// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One direction of glibc's iconv, asked one unit at a time. The GBK table generator takes its tables
// from it, and the table test checks them against it.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iconv.h>
#include <vector>

class IconvConverter
{
public:
    IconvConverter(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~IconvConverter()
    {
        if (valid())
            iconv_close(m_cd);
    }
    IconvConverter(const IconvConverter&) = delete;
    IconvConverter& operator=(const IconvConverter&) = delete;
    bool valid() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

    // Converts one complete unit (at most 8 bytes) from a fresh state; empty when there is no mapping.
    std::vector<std::uint8_t> convert(const void* in, std::size_t inSize)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char input[8];
        if (inSize > sizeof input)
            return {};
        std::memcpy(input, in, inSize);
        char output[16];
        char* inPtr = input;
        char* outPtr = output;
        std::size_t inLeft = inSize;
        std::size_t outLeft = sizeof output;
        if (iconv(m_cd, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<std::size_t>(-1) || inLeft != 0)
            return {};
        return std::vector<std::uint8_t>(output, outPtr);
    }

private:
    iconv_t m_cd;
};
