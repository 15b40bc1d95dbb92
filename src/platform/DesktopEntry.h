// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Desktop entries, the one writer of them: the autostart entry, the build's launcher (pointing at the
// built executable and its icon by path) and the installed one (naming both, so the menu finds them
// on the search path and in the icon theme). Plain C++ on UTF-8 strings, so the generators at build
// time need nothing else.

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

/// The autostart entry: the session starts the executable at log-in. Session settings list the
/// entries by Name and Icon, so it carries the application's own name and the icon of its launcher.
inline std::string autostartContents(const std::string& executable, const std::string& iconName)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vemra便笺\n"
           "Exec=" +
           quoteExecArgument(executable) +
           "\n"
           "Icon=" +
           escapeString(iconName) +
           "\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

/// The launcher's actions, which GNOME and KDE offer on its menu: the key of the main group ...
inline std::string actionsKey()
{
    return "Actions=new-note;todo;search;\n";
}

/// ... and one group per action, each starting the executable (exec, already quoted for the Exec
/// key) with its option. withEnglish: English names, the Chinese ones for the zh locales.
inline std::string actionGroups(const std::string& exec, bool withEnglish)
{
    struct Action
    {
        const char* id;
        const char* english;
        const char* chinese;
        const char* option;
    };
    static const Action actions[] = {{"new-note", "New Note", "新建便笺", "--new"},
                                     {"todo", "To-do", "待办", "--todo"},
                                     {"search", "Find a Note", "查找便笺", "--search"}};
    std::string groups;
    for (const Action& action : actions) {
        groups += std::string("\n[Desktop Action ") + action.id + "]\n";
        if (withEnglish)
            groups += std::string("Name=") + action.english + "\nName[zh]=" + action.chinese +
                      "\nName[zh_CN]=" + action.chinese + "\n";
        else
            groups += std::string("Name=") + action.chinese + "\n";
        groups += "Exec=" + exec + " " + action.option + "\n";
    }
    return groups;
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
           "Categories=Utility;\n" +
           actionsKey() + actionGroups(quoteExecArgument(executable), false);
}

/// Whole installed entry for the application id: the executable and the icon by name. English
/// texts are the fallback of the Chinese ones, which the zh locales pick.
inline std::string installedContents(const std::string& appId)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.0\n"
           "Name=Vemra Notes\n"
           "Name[zh]=Vemra便笺\n"
           "Name[zh_CN]=Vemra便笺\n"
           "GenericName=Notes and Reminders\n"
           "GenericName[zh]=便笺与定时提醒\n"
           "GenericName[zh_CN]=便笺与定时提醒\n"
           "Comment=Jot down notes and get reminded of your to-dos on time\n"
           "Comment[zh]=随手记下便笺，按时提醒待办\n"
           "Comment[zh_CN]=随手记下便笺，按时提醒待办\n"
           "Keywords=notes;memo;todo;reminder;alarm;timer;\n"
           "Keywords[zh_CN]=便笺;记事;待办;提醒;闹钟;定时;\n"
           "Exec=VemraNotes\n"
           "Icon=" +
           escapeString(appId) +
           "\n"
           "Terminal=false\n"
           "Categories=Utility;\n"
           // X11 docks match windows to launchers by the window class, which Qt takes from the
           // executable's name.
           "StartupWMClass=VemraNotes\n" +
           actionsKey() + actionGroups("VemraNotes", true);
}

} // namespace DesktopEntry
