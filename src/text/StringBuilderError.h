// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <exception>

/// Failure of a cStringBuilder operation, carrying the run-time error number callers test for:
/// 9 for an index outside the content, 6 for a size that overflows, 5 for an unusable argument.
class StringBuilderError : public std::exception
{
public:
    static constexpr int InvalidArgument = 5;
    static constexpr int Overflow = 6;
    static constexpr int IndexOutOfRange = 9;

    explicit StringBuilderError(int number) : m_number(number) {}

    /// The error number (5, 6 or 9).
    int number() const noexcept { return m_number; }
    /// The platform's description of that number.
    const char* what() const noexcept override
    {
        switch (m_number) {
        case Overflow:
            return "Overflow";
        case IndexOutOfRange:
            return "Subscript out of range";
        default:
            return "Invalid procedure call or argument";
        }
    }

private:
    int m_number;
};
