// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <optional>

/// Evaluates VBScript arithmetic (numbers, unary and binary + and -, * / \ ^ Mod, brackets) with
/// that language's precedence and Integer -> Long -> Double widening, and renders the result the
/// way it converts numbers to text. Any error (syntax, division by zero, overflow, an undefined
/// name) gives no result. Safe for any input: linear time, bounded recursion.
std::optional<QString> EvaluateExpression(const QString& expression);

/// The editor's evaluate command on a selection: leading and trailing spaces stripped, every "%"
/// read as " Mod ", then evaluated. No result means the selection stays as it is.
std::optional<QString> EvaluateSelection(const QString& selectedText);
