// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary text to the expression evaluator and the number reading. Beyond not crashing,
// hanging or overflowing the stack, every result must be well-formed number text that evaluates
// to itself again.
#include "editor/ExpressionEvaluator.h"
#include "text/VbNumber.h"

#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char* what, const QString& input, const QString& output)
{
    std::fprintf(stderr, "%s\n  input:  %s\n  output: %s\n", what, input.toUtf8().constData(),
                 output.toUtf8().constData());
    std::abort();
}

bool isNumberText(const QString& text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!(c.isDigit() && c.unicode() < 128) && c != u'.' && c != u'E' && c != u'+' && c != u'-')
            return false;
    }
    return true;
}

void checkResult(const QString& input, const std::optional<QString>& result)
{
    if (!result)
        return;
    if (!isNumberText(*result))
        fail("result is not number text", input, *result);
    const std::optional<QString> again = EvaluateExpression(*result);
    if (again && *again != *result)
        fail("result does not evaluate to itself", input, *again);
    // Only the largest doubles, rounded up to 15 digits, read back beyond the double range.
    if (!again && !result->contains(QStringLiteral("1.797693134862")))
        fail("result does not evaluate at all", input, *result);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    checkResult(text, EvaluateExpression(text));
    checkResult(text, EvaluateSelection(text));
    const QString single = formatSingle(Val(text));
    if (!isNumberText(single) || single.contains(u'E'))
        fail("bad single text", text, single);
    return 0;
}
