// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary bytes to the lenient JSON reader and writes back whatever it built: the reader
// must neither crash, nor overrun, nor hang on any input.
#include "translate/Json.h"

#include <QString>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    JSON json;
    const JsonValue root = json.parse(text);
    const QString written = json.toString(root);
    // What the writer produced must itself be readable without trouble.
    json.parse(written);
    if (size < 4096) {
        json.toUnicode(text);
        json.StringToJSON(text);
    }
    return 0;
}
