// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the alarm chime played by the message window: make_alarm <output.wav>

#include "AlarmSynth.h"

#include <cstdio>
#include <fstream>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_alarm <output.wav>\n");
        return 2;
    }
    const std::vector<std::uint8_t> wav = AlarmSynth::wavFile();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(wav.data()), std::streamsize(wav.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_alarm: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
