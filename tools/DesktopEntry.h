#pragma once

// The launcher entry of the build: a freedesktop.org desktop entry pointing at the built executable
// and its icon. Plain C++ on UTF-8 strings, shared by the generator and its test.

#include <string>

namespace DesktopEntry {

/// Escapes a value of type string: backslash, newline, tab, carriage return, and a leading blank.
inline std::string escapeString(const std::string& value)
{
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\r':
            out += "\\r";
            break;
        case ' ':
            out += i == 0 ? "\\s" : " ";
            break;
        default:
            out += c;
        }
    }
    return out;
}

/// One argument of the Exec key, always quoted: inside the quotes ", `, $ and \ take a backslash,
/// a literal % is doubled so it is not read as a field code, and the string escapes apply on top
/// (so one backslash of the path ends up as four in the file).
inline std::string quoteExecArgument(const std::string& argument)
{
    std::string quoted = "\"";
    for (char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            quoted += '\\';
        if (c == '%')
            quoted += '%';
        quoted += c;
    }
    quoted += '"';
    return escapeString(quoted);
}

/// Whole file for the executable and an absolute icon path.
inline std::string contents(const std::string& executable, const std::string& iconPath)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=Vemra便笺\n"
           "GenericName=便笺与定时提醒\n"
           "Comment=便笺与定时提醒\n"
           "Exec=" +
           quoteExecArgument(executable) +
           "\n"
           "Icon=" +
           escapeString(iconPath) +
           "\n"
           "Terminal=false\n"
           "Categories=Utility;\n";
}

} // namespace DesktopEntry
