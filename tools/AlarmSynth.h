// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The alarm chime, synthesised instead of shipped: two soft bell strokes, a fifth apart, each made of
// a few decaying sine partials. Plain C++ so that the build-time generator needs nothing else.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace AlarmSynth {

constexpr int SampleRate = 44100;
constexpr int Channels = 1;
constexpr int BitsPerSample = 16;
constexpr double Seconds = 1.5;
constexpr double Peak = 0.6; // of full scale: loud enough to notice, far from clipping

struct Stroke
{
    double start;       // seconds
    double fundamental; // Hz
    double gain;
};

/// Mono 16-bit samples of the chime.
inline std::vector<std::int16_t> samples()
{
    constexpr double Pi = 3.14159265358979323846;
    // E6 then A5: a falling fourth reads as "done" rather than as a warning.
    const Stroke strokes[] = {{0.0, 1318.51, 1.0}, {0.28, 880.0, 0.9}};
    // Partials of a small bell: ratio, relative level, decay per second.
    const double partials[][3] = {{1.0, 1.0, 3.2}, {2.0, 0.35, 5.5}, {3.01, 0.12, 8.0}, {4.2, 0.05, 11.0}};
    constexpr double Attack = 0.006; // a short ramp avoids a click at each stroke
    constexpr double FadeOut = 0.12;

    const int count = int(SampleRate * Seconds);
    std::vector<double> mix(std::size_t(count), 0.0);
    for (const Stroke& stroke : strokes) {
        for (int i = int(stroke.start * SampleRate); i < count; ++i) {
            const double t = double(i) / SampleRate - stroke.start;
            const double envelope = std::min(1.0, t / Attack);
            double v = 0;
            for (const auto& p : partials)
                v += p[1] * std::exp(-p[2] * t) * std::sin(2 * Pi * stroke.fundamental * p[0] * t);
            mix[std::size_t(i)] += stroke.gain * envelope * v;
        }
    }
    for (int i = 0; i < count; ++i) {
        const double left = double(count - 1 - i) / SampleRate;
        if (left < FadeOut)
            mix[std::size_t(i)] *= left / FadeOut;
    }

    double loudest = 0;
    for (double v : mix)
        loudest = std::max(loudest, std::abs(v));
    const double scale = loudest > 0 ? Peak * 32767.0 / loudest : 0.0;
    std::vector<std::int16_t> out(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        out[std::size_t(i)] = std::int16_t(std::lround(mix[std::size_t(i)] * scale));
    return out;
}

namespace detail {
inline void put16(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    b.push_back(std::uint8_t(v & 0xFF));
    b.push_back(std::uint8_t(v >> 8 & 0xFF));
}
inline void put32(std::vector<std::uint8_t>& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void tag(std::vector<std::uint8_t>& b, const char* fourcc)
{
    for (int i = 0; i < 4; ++i)
        b.push_back(std::uint8_t(fourcc[i]));
}
} // namespace detail

/// The whole WAV file: RIFF header, PCM format chunk, data chunk (little-endian throughout).
inline std::vector<std::uint8_t> wavFile(const std::vector<std::int16_t>& pcm = samples())
{
    using namespace detail;
    const std::uint32_t dataBytes = std::uint32_t(pcm.size() * sizeof(std::int16_t));
    const std::uint32_t blockAlign = Channels * BitsPerSample / 8;
    std::vector<std::uint8_t> b;
    b.reserve(44 + dataBytes);
    tag(b, "RIFF");
    put32(b, 36 + dataBytes);
    tag(b, "WAVE");
    tag(b, "fmt ");
    put32(b, 16);
    put16(b, 1); // PCM
    put16(b, Channels);
    put32(b, SampleRate);
    put32(b, SampleRate * blockAlign);
    put16(b, blockAlign);
    put16(b, BitsPerSample);
    tag(b, "data");
    put32(b, dataBytes);
    for (std::int16_t s : pcm)
        put16(b, std::uint16_t(s));
    return b;
}

} // namespace AlarmSynth
