// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Reads the number at the start of a text the lenient way Config.ini values and ledger amounts are
/// read: blanks, tabs and line feeds are ignored anywhere; then an optional sign, digits with at most
/// one ".", an optional exponent (E or D, either case); or &H / &O with hexadecimal or octal digits.
/// Reading stops at the first character that does not fit and a text without digits reads 0.
/// Never fails: a number beyond the range of a double reads as +/-infinity.
double Val(const QString& text);

/// The number text of Config.ini values: the value as a single-precision number, rounded to at most
/// 7 significant digits, printed in its shortest plain form ("810", "793.5", "-120"); never an
/// exponent and always "." as the point. Infinity and NaN, which no window position can be, give "0".
QString formatSingle(double value);
