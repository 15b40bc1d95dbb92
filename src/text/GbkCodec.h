// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// The ANSI code page of the Chinese Windows systems the notes come from is GBK (code page 936).
// Both directions are lookups in read-only tables that the build writes from glibc's iconv
// (tools/make_gbk_table.cpp): nothing is converted or filled at run time, so the first title of a
// start costs no more than any other.

/// True when the UTF-16 unit takes two bytes in GBK (Chinese characters, full-width forms, ...).
bool isDoubleByteAnsi(QChar c);

/// GBK code of one UTF-16 unit: 1..0x80 for single bytes, the two bytes as lead*256+trail for double
/// bytes, 0 when GBK has no code for it (U+0000 also gives 0).
quint16 gbkCode(QChar c);

/// Decodes GBK bytes; a byte that starts no valid sequence becomes U+FFFD and decoding goes on after it.
QString decodeGbk(QByteArrayView bytes);

/// Encodes into GBK; characters without a GBK code become "?", as the Windows converter does.
QByteArray encodeGbk(QStringView text);
