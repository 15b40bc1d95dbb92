// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/IniFile.h"

#include "platform/DurableFile.h"
#include "text/GbkCodec.h"

#include <QStringDecoder>

#include <cerrno>

#include <vector>

namespace {

// The reading buffer of the profile functions holds 255 characters with the terminator.
constexpr qsizetype kMaxValueLength = 254;
const QByteArray kUtf8Mark("\xEF\xBB\xBF", 3);
const QByteArray kNewLine("\r\n");

struct IniLine
{
    enum Kind
    {
        Other,
        Section,
        Key
    };
    qsizetype begin = 0; // first byte of the line
    qsizetype end = 0;   // end of its content, before CR LF or LF
    qsizetype next = 0;  // first byte of the next line
    Kind kind = Other;
    QString name; // section or key name
    qsizetype keyBegin = 0;
    qsizetype keyEnd = 0;
    qsizetype valueBegin = 0; // first byte after "="

    bool isBlank(QByteArrayView data) const
    {
        for (qsizetype i = begin; i < end; ++i) {
            if (data[i] != ' ' && data[i] != '\t' && data[i] != '\r')
                return false;
        }
        return true;
    }
};

bool isBlankByte(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

void trim(QByteArrayView data, qsizetype* from, qsizetype* to)
{
    while (*from < *to && isBlankByte(data[*from]))
        ++*from;
    while (*to > *from && isBlankByte(data[*to - 1]))
        --*to;
}

// Each line on its own: a file edited by hand on Linux may mix UTF-8 lines into a GBK file.
QString decodeIniText(QByteArrayView bytes)
{
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? decodeGbk(bytes) : text;
}

// When the data was cut short, its last, unfinished line is left out.
std::vector<IniLine> parseIni(QByteArrayView data, bool cutShort)
{
    std::vector<IniLine> lines;
    qsizetype pos = data.startsWith(kUtf8Mark) ? kUtf8Mark.size() : 0;
    while (pos < data.size()) {
        IniLine line;
        line.begin = pos;
        const qsizetype newLine = data.indexOf('\n', pos);
        if (newLine < 0) {
            if (cutShort)
                break;
            line.end = data.size();
            line.next = data.size();
        } else {
            line.end = newLine > pos && data[newLine - 1] == '\r' ? newLine - 1 : newLine;
            line.next = newLine + 1;
        }
        pos = line.next;

        qsizetype from = line.begin;
        qsizetype to = line.end;
        trim(data, &from, &to);
        if (from < to && data[from] == '[') {
            qsizetype close = to - 1;
            while (close > from && data[close] != ']')
                --close;
            if (close > from) {
                qsizetype nameFrom = from + 1;
                qsizetype nameTo = close;
                trim(data, &nameFrom, &nameTo);
                line.kind = IniLine::Section;
                line.name = decodeIniText(data.sliced(nameFrom, nameTo - nameFrom));
            }
        } else if (from < to) {
            const qsizetype equals = data.sliced(from, to - from).indexOf('=');
            if (equals >= 0) {
                line.kind = IniLine::Key;
                line.keyBegin = from;
                line.keyEnd = from + equals;
                trim(data, &line.keyBegin, &line.keyEnd);
                line.name = decodeIniText(data.sliced(line.keyBegin, line.keyEnd - line.keyBegin));
                line.valueBegin = from + equals + 1;
            }
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

struct Lookup
{
    int keyLine = -1;    // the line the key is read from
    int sectionEnd = -1; // last non-blank line of the first section of that name (its header at least)
};

// The first line of the key in any section of that name, in file order; a missing key goes to the first
// section of that name.
Lookup lookUp(const std::vector<IniLine>& lines, QByteArrayView data, const QString& section,
              const QString& key)
{
    Lookup found;
    bool inSection = false;
    bool inFirstSection = false;
    for (int i = 0; i < int(lines.size()); ++i) {
        const IniLine& line = lines[size_t(i)];
        if (line.kind == IniLine::Section) {
            inSection = sameName(line.name, section);
            inFirstSection = inSection && found.sectionEnd < 0;
            if (inFirstSection)
                found.sectionEnd = i;
            continue;
        }
        if (!inSection)
            continue;
        if (line.kind == IniLine::Key && found.keyLine < 0 && sameName(line.name, key))
            found.keyLine = i;
        if (inFirstSection && !line.isBlank(data))
            found.sectionEnd = i;
    }
    return found;
}

QString valueOf(QByteArrayView data, const IniLine& line)
{
    qsizetype from = line.valueBegin;
    qsizetype to = line.end;
    trim(data, &from, &to);
    QString value = decodeIniText(data.sliced(from, to - from));
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
        value.back() == value.front())
        value = value.mid(1, value.size() - 2);
    if (value.size() > kMaxValueLength) {
        value.truncate(kMaxValueLength);
        if (value.back().isHighSurrogate())
            value.chop(1);
    }
    return value;
}

bool hasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

bool storable(const QString& section, const QString& key, const QString& value)
{
    if (section.trimmed().isEmpty() || key.trimmed().isEmpty())
        return false;
    if (hasLineBreak(section) || hasLineBreak(key) || hasLineBreak(value))
        return false;
    // Such names would read back as something else.
    return !section.contains(u']') && !key.contains(u'=') && !key.trimmed().startsWith(u'[');
}

// Puts key=value into the data; false when nothing had to change.
bool applyPair(QByteArray* data, const QString& section, const QString& key, const QString& value)
{
    const std::vector<IniLine> lines = parseIni(*data, false);
    const Lookup found = lookUp(lines, *data, section, key);
    const QByteArray valueBytes = value.toUtf8();
    if (found.keyLine >= 0) {
        const IniLine& line = lines[size_t(found.keyLine)];
        // The key keeps the spelling it has in the file.
        const QByteArray wanted = data->mid(line.keyBegin, line.keyEnd - line.keyBegin) + '=' + valueBytes;
        if (QByteArrayView(*data).sliced(line.begin, line.end - line.begin) == wanted)
            return false;
        data->replace(line.begin, line.end - line.begin, wanted);
        return true;
    }
    const QByteArray newLine = key.toUtf8() + '=' + valueBytes + kNewLine;
    if (found.sectionEnd >= 0) {
        const IniLine& last = lines[size_t(found.sectionEnd)];
        if (last.next == last.end) // the last line of the file, without a line break
            data->insert(last.end, kNewLine + newLine);
        else
            data->insert(last.next, newLine);
        return true;
    }
    if (!data->isEmpty() && !data->endsWith('\n'))
        data->append(kNewLine);
    data->append('[' + section.toUtf8() + ']' + kNewLine + newLine);
    return true;
}

} // namespace

QString ReadIniValue(const QString& filePath, const QString& section, const QString& key,
                     const QString& defaultText)
{
    return ReadIniValues(filePath, section, {{key, defaultText}}).constFirst();
}

QStringList ReadIniValues(const QString& filePath, const QString& sectionName,
                          const QList<QPair<QString, QString>>& keysAndDefaults)
{
    QStringList values;
    for (const auto& keyAndDefault : keysAndDefaults)
        values.append(keyAndDefault.second);
    // A link at the name is not followed: what it points to is not ours to read as settings.
    const DurableFile::ReadResult read = DurableFile::readHead(filePath, kMaxIniBytes);
    if (!read.ok())
        return values;
    const QByteArray& data = read.bytes();
    const bool cutShort = read.fileSize() > data.size();
    const std::vector<IniLine> lines = parseIni(data, cutShort);
    const QString section = sectionName.trimmed();
    for (qsizetype i = 0; i < keysAndDefaults.size(); ++i) {
        const Lookup found = lookUp(lines, data, section, keysAndDefaults.at(i).first.trimmed());
        if (found.keyLine >= 0)
            values[i] = valueOf(data, lines[size_t(found.keyLine)]);
    }
    return values;
}

bool WriteIniValue(const QString& filePath, const QString& section, const QString& key, const QString& value)
{
    return WriteIniValues(filePath, section, {{key, value}});
}

bool WriteIniValues(const QString& filePath, const QString& sectionName,
                    const QList<QPair<QString, QString>>& pairs)
{
    const QString section = sectionName.trimmed();
    for (const auto& pair : pairs) {
        if (!storable(section, pair.first, pair.second))
            return false;
    }
    // Read without following a link, and written by replacing the name: a link at Config.ini is
    // replaced by the file, and whatever it pointed to stays as it was.
    const DurableFile::ReadResult read = DurableFile::read(filePath, kMaxIniBytes);
    const bool replacesLink =
        read.status() == DurableFile::ReadResult::Status::Failed && read.error() == ELOOP;
    // Rewriting only the part we could read would cut the file short; a folder, a FIFO or a file we
    // cannot read is left alone.
    if (!read.ok() && read.status() != DurableFile::ReadResult::Status::Missing && !replacesLink)
        return false;
    QByteArray data = read.bytes();
    bool changed = !read.ok();
    for (const auto& pair : pairs)
        changed = applyPair(&data, section, pair.first.trimmed(), pair.second) || changed;
    if (!changed)
        return true;
    // The file keeps its permissions; a new one gets what any new file gets under the umask.
    return DurableFile::write(filePath, data, read.ok() ? read.mode() & 0777 : 0666).ok();
}
