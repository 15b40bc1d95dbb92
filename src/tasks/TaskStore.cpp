// SPDX-License-Identifier: GPL-3.0-or-later
#include "tasks/TaskStore.h"

#include "platform/Clock.h"
#include "platform/FolderFiles.h"
#include "platform/UserKey.h"
#include "tasks/TaskEditorLogic.h"
#include "translate/Json.h"
#include "translate/JsonDictionary.h"
#include "translate/JsonList.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QMessageAuthenticationCode>
#include <QRandomGenerator>
#include <QStringDecoder>
#include <QTimeZone>

#include <algorithm>
#include <array>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <fcntl.h>

namespace {

const QString KeyVersion = QStringLiteral("Version");
const QString KeyTasks = QStringLiteral("Tasks");
const QString KeyTaskText = QStringLiteral("TaskText");
const QString KeyTimeText = QStringLiteral("TimeText");
const QString KeyStatus = QStringLiteral("Status");
const QString KeyActionKind = QStringLiteral("ActionKind");
const QString KeyActionArg = QStringLiteral("ActionArg");
const QString KeyDue = QStringLiteral("Due");
const QString KeyHeld = QStringLiteral("Held");
const QString KeyRepeat = QStringLiteral("Repeat");
const QString KeySignature = QStringLiteral("Signature");
const QString KeySerial = QStringLiteral("Serial");
// 128 random bits as hex: no two saves ever draw the same one.
constexpr qsizetype SerialBytes = 16;
// The record holds at most two serials of 32 hex digits; anything larger is not ours.
constexpr qint64 MaxRecordBytes = 1024;

// Names what is signed, so a signature made with the same key for anything else never fits here.
const QByteArray SignedContext = "VemraNotes Tasks.json\n";

// A serialised list begins with "{", so a signed serial line can never be taken for a list's text.
QByteArray signatureOf(const QByteArray& serialised, const QByteArray& key, const QByteArray& serial)
{
    const QByteArray serialLine = serial.isEmpty() ? QByteArray() : "Serial " + serial + '\n';
    return QMessageAuthenticationCode::hash(SignedContext + serialLine + serialised, key,
                                            QCryptographicHash::Sha256)
        .toHex();
}

bool isSerial(const QByteArray& text)
{
    return text.size() == 2 * SerialBytes &&
           std::all_of(text.cbegin(), text.cend(), [](char c) { return std::isxdigit(uchar(c)) != 0; });
}

QByteArray newSerial()
{
    std::array<quint32, SerialBytes / sizeof(quint32)> words{};
    QRandomGenerator::system()->fillRange(words.data(), qsizetype(words.size()));
    return QByteArray(reinterpret_cast<const char*>(words.data()), SerialBytes).toHex();
}

// Takes as long whatever the first differing byte: the time a comparison takes says nothing.
bool sameBytes(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char difference = 0;
    for (qsizetype i = 0; i < a.size(); ++i)
        difference |= static_cast<unsigned char>(a.at(i) ^ b.at(i));
    return difference == 0;
}

enum class TimeForm
{
    Invalid,
    NoTimer,
    Countdown,
    RunOut,
    ClockTime
};

bool twoDigits(QStringView text, int at, int max)
{
    const QChar a = text[at];
    const QChar b = text[at + 1];
    if (a < u'0' || a > u'9' || b < u'0' || b > u'9')
        return false;
    return (a.unicode() - u'0') * 10 + (b.unicode() - u'0') <= max;
}

// The TimeText forms the task record allows, and nothing else: a hand edit that strays from them
// would otherwise reach the countdown as a timer it cannot read.
TimeForm timeForm(QStringView text)
{
    if (text == noTimerText())
        return TimeForm::NoTimer;
    if (text == runOutText())
        return TimeForm::RunOut;
    if (text.size() == 9 && text[0] == u'-' && text[3] == u':' && text[6] == u':' && twoDigits(text, 1, 23) &&
        twoDigits(text, 4, 59) && twoDigits(text, 7, 59))
        return TimeForm::Countdown;
    if (text.size() == 6 && text[0] == u'+' && text[3] == u':' && twoDigits(text, 1, 23) &&
        twoDigits(text, 4, 59))
        return TimeForm::ClockTime;
    return TimeForm::Invalid;
}

bool readText(const JsonValue& record, const QString& key, QString& out)
{
    const JsonValue value = record.value(key);
    if (!value.isText())
        return false;
    out = value.text();
    return true;
}

bool readInteger(const JsonValue& record, const QString& key, int low, int high, int& out)
{
    const JsonValue value = record.value(key);
    if (!value.isNumber())
        return false;
    const double number = value.number();
    if (number != std::trunc(number) || number < low || number > high)
        return false;
    out = int(number);
    return true;
}

// ISO 8601 as written ("2024-03-05T01:30:00.000Z"), also without milliseconds or with an offset; a
// moment without any zone is taken as UTC, which is what the file speaks.
QDateTime readMoment(const QString& text)
{
    QDateTime moment = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!moment.isValid())
        return {};
    if (moment.timeSpec() == Qt::LocalTime)
        moment = QDateTime(moment.date(), moment.time(), QTimeZone::utc());
    return moment.toUTC();
}

// The rule's text in the file: "daily", "weekdays", "workdays", "days:135" (the weekdays, Monday 1
// to Sunday 7) or "cycle:2700" (the countdown's full length in seconds).
QString ruleText(const RepeatRule& rule)
{
    switch (rule.kind) {
    case RepeatRule::Kind::Daily:
        return QStringLiteral("daily");
    case RepeatRule::Kind::Weekdays:
        return QStringLiteral("weekdays");
    case RepeatRule::Kind::Workdays:
        return QStringLiteral("workdays");
    case RepeatRule::Kind::Chosen: {
        QString out = QStringLiteral("days:");
        for (int d = 0; d < 7; ++d) {
            if (rule.days & (1 << d))
                out += QChar(u'1' + d);
        }
        return out;
    }
    case RepeatRule::Kind::Cycle:
        return QStringLiteral("cycle:") + QString::number(rule.seconds);
    default:
        return QString();
    }
}

// A rule this version writes, fitting the timer it goes with; anything else is a rule it does not
// know, kept as the file has it (rawJson) and holding its task.
RepeatRule readRule(const JsonValue& value, const QString& rawJson, TimeForm form)
{
    RepeatRule rule;
    rule.kind = RepeatRule::Kind::Unknown;
    rule.unknown = rawJson;
    if (!value.isText())
        return rule;
    const QString text = value.text();
    RepeatRule known;
    if (text == QLatin1String("daily")) {
        known.kind = RepeatRule::Kind::Daily;
    } else if (text == QLatin1String("weekdays")) {
        known.kind = RepeatRule::Kind::Weekdays;
    } else if (text == QLatin1String("workdays")) {
        known.kind = RepeatRule::Kind::Workdays;
    } else if (text.startsWith(QLatin1String("days:")) && text.size() > 5 && text.size() <= 12) {
        known.kind = RepeatRule::Kind::Chosen;
        for (const QChar c : QStringView(text).mid(5)) {
            if (c < u'1' || c > u'7' || (known.days & (1 << (c.unicode() - u'1'))))
                return rule;
            known.days |= 1 << (c.unicode() - u'1');
        }
    } else if (text.startsWith(QLatin1String("cycle:"))) {
        bool ok = false;
        known.seconds = text.mid(6).toLongLong(&ok);
        // Up to the longest countdown the editor makes, 23:59.
        if (!ok || known.seconds < 1 || known.seconds >= 24 * 3600 ||
            text.mid(6) != QString::number(known.seconds))
            return rule;
        known.kind = RepeatRule::Kind::Cycle;
    } else {
        return rule;
    }
    const bool cycle = known.kind == RepeatRule::Kind::Cycle;
    const bool fits =
        cycle ? form == TimeForm::Countdown || form == TimeForm::RunOut : form == TimeForm::ClockTime;
    return fits ? known : rule;
}

// One record, or why it is not one.
QString readRecord(const JsonValue& record, StoredTask& out)
{
    if (!record.isDictionary())
        return QStringLiteral("not an object");
    TaskItem& task = out.task;
    if (!readText(record, KeyTaskText, task.TaskText))
        return QStringLiteral("TaskText missing or not text");
    if (!readText(record, KeyTimeText, task.TimeText))
        return QStringLiteral("TimeText missing or not text");
    const TimeForm form = timeForm(task.TimeText);
    if (form == TimeForm::Invalid)
        return QStringLiteral("TimeText \"%1\" is none of the timer forms").arg(task.TimeText);
    if (!readInteger(record, KeyStatus, TaskStatus::Running, TaskStatus::Pending, task.Status))
        return QStringLiteral("Status missing or not 0, 1 or 2");
    if (!readInteger(record, KeyActionKind, TaskAction::Power, TaskAction::Command, task.ActionKind))
        return QStringLiteral("ActionKind missing or not 0 to 4");
    if (!readText(record, KeyActionArg, task.ActionArg))
        return QStringLiteral("ActionArg missing or not text");
    bool heldPresent = false;
    const JsonValue held = record.value(KeyHeld, &heldPresent);
    if (heldPresent) {
        if (!held.isBoolean())
            return QStringLiteral("Held is not true or false");
        out.held = held.boolean();
    }
    bool repeatPresent = false;
    const JsonValue repeat = record.value(KeyRepeat, &repeatPresent);
    if (repeatPresent)
        task.Repeat = readRule(repeat, JSON().toString(repeat), form);
    if (task.Status != TaskStatus::Running)
        return QString();
    if (form == TimeForm::NoTimer)
        return QStringLiteral("a running task without a timer");
    // A running timer. Its due moment is optional (a countdown typed by hand runs its TimeText from
    // the start; a clock time kept before the moment was written waits for its next minute), but one
    // that is there must be a moment.
    bool present = false;
    const JsonValue due = record.value(KeyDue, &present);
    if (present) {
        out.due = due.isText() ? readMoment(due.text()) : QDateTime();
        if (!out.due.isValid())
            return QStringLiteral("Due is not an ISO 8601 moment");
    }
    return QString();
}

} // namespace

TaskStore::TaskStore(const QString& folder, const Clock& clock, const QString& keyPath)
    : m_path(folder + u'/' + fileName()), m_clock(clock), m_keyPath(keyPath)
{
    if (keyPath.isEmpty())
        return;
    // One record per data folder, however it is reached: two folders kept by the same user (a
    // portable copy and the installed one) never take each other's lists for older ones.
    const QFileInfo data(folder);
    const QString canonical = data.canonicalFilePath();
    const QByteArray digest = QCryptographicHash::hash(
        (canonical.isEmpty() ? data.absoluteFilePath() : canonical).toUtf8(), QCryptographicHash::Sha256);
    m_lastListPath = QFileInfo(keyPath).absolutePath() + QStringLiteral("/tasks-") +
                     QString::fromLatin1(digest.toHex().left(16)) + QStringLiteral(".last");
}

int TaskStore::Loaded::heldCount() const
{
    return int(std::count_if(tasks.cbegin(), tasks.cend(), [](const StoredTask& t) { return t.held; }));
}

TaskStore::Loaded TaskStore::load()
{
    Loaded loaded;
    const DurableFile::ReadResult read = DurableFile::read(m_path, MaxFileBytes);
    switch (read.status()) {
    case DurableFile::ReadResult::Status::Missing:
        return loaded;
    case DurableFile::ReadResult::Status::TooLarge:
        loaded.problem = QStringLiteral("larger than %1 bytes").arg(MaxFileBytes);
        break;
    case DurableFile::ReadResult::Status::Failed:
        if (read.error() == ELOOP || read.error() == ENXIO || read.error() == EISDIR)
            loaded.problem = QStringLiteral("not a regular file");
        else
            loaded.problem = QStringLiteral("cannot be read (%1)").arg(read.describe());
        break;
    case DurableFile::ReadResult::Status::Ok: {
        Parsed parsed = parse(read.bytes());
        if (parsed.ok) {
            if (!parsed.serial.isEmpty() && recordedSerials().contains(parsed.serial))
                m_serial = parsed.serial;
            trust(parsed, loaded);
            loaded.tasks = std::move(parsed.tasks);
            return loaded;
        }
        loaded.problem = parsed.problem;
        break;
    }
    }
    loaded.setAsidePath = setAside();
    m_blocked = loaded.setAsidePath.isEmpty();
    return loaded;
}

void TaskStore::trust(Parsed& parsed, Loaded& loaded)
{
    const bool anyMayRun = std::any_of(parsed.tasks.cbegin(), parsed.tasks.cend(),
                                       [](const StoredTask& t) { return mayRunSomething(t.task); });
    bool trusted = false;
    // Message and music tasks run nothing, so a list of only those needs no key; never made here.
    if (anyMayRun) {
        const UserKey::Result key = UserKey::read(m_keyPath);
        if (key.ok() && verify(parsed, key.key())) {
            // Ours, but armed only when it is the last list written here: an older one put back
            // would bring back what the user removed since.
            trusted = !parsed.serial.isEmpty() && parsed.serial == m_serial;
            loaded.notLastWritten = !parsed.serial.isEmpty() && !trusted;
        } else if (key.status() != UserKey::Result::Status::Missing)
            loaded.keyProblem = key.problem();
        loaded.keyPath = m_keyPath;
    }
    for (StoredTask& stored : parsed.tasks) {
        if (!mayRunSomething(stored.task))
            stored.held = false; // a hold on what runs nothing means nothing
        else if (!trusted)
            stored.held = true;
    }
}

QString TaskStore::setAside()
{
    // Renamed without ever replacing what is at the new name, so an earlier bad file keeps its
    // contents (a second one in the same second takes the next free number). Whatever is at the name
    // moves as it is: a link is moved itself, and a FIFO is never opened, as a copy would.
    const QString stem = m_path + QStringLiteral(".bad-") +
                         m_clock.now().toUTC().toString(QStringLiteral("yyyyMMdd'T'HHmmss'Z'"));
    const QByteArray from = QFile::encodeName(m_path);
    for (int n = 1; n <= 100; ++n) {
        const QString candidate = n == 1 ? stem : stem + u'-' + QString::number(n);
        const int error =
            FolderFiles::renameNoReplace(AT_FDCWD, from, AT_FDCWD, QFile::encodeName(candidate));
        if (error == 0)
            return candidate;
        if (error != EEXIST)
            return QString(); // the rename itself is impossible (no write permission on the folder)
    }
    return QString();
}

DurableFile::WriteResult TaskStore::save(const QList<StoredTask>& tasks)
{
    if (m_blocked)
        return DurableFile::WriteResult::failure(DurableFile::Step::Rename, EEXIST);
    if (m_key.isEmpty()) {
        // Tried again at every save until there is one: a folder that could not be made may be later.
        const UserKey::Result key = UserKey::obtain(m_keyPath);
        if (key.ok())
            m_key = key.key();
    }
    const QByteArray text = serialise(tasks);
    if (m_key.isEmpty())
        return DurableFile::write(m_path, text);
    // The record admits the new list before it exists and still the one on the disk, so that a
    // crash before the rename leaves that one armed. Should the record not take it, the new list
    // comes back held at the next start and the user is asked: the safe side.
    const QByteArray serial = newSerial();
    (void)record(m_serial.isEmpty() ? QList<QByteArray>{serial} : QList<QByteArray>{m_serial, serial});
    const DurableFile::WriteResult result = DurableFile::write(m_path, sign(text, m_key, serial));
    if (result.ok() || result.step() == DurableFile::Step::SyncFolder) {
        // The new list is at its name: from now on an older one is never armed.
        m_serial = serial;
        (void)record({serial});
    }
    return result;
}

QList<QByteArray> TaskStore::recordedSerials() const
{
    if (m_lastListPath.isEmpty())
        return {};
    const DurableFile::ReadResult read = DurableFile::read(m_lastListPath, MaxRecordBytes);
    QList<QByteArray> serials;
    if (read.ok()) {
        for (const QByteArray& line : read.bytes().split('\n')) {
            if (isSerial(line))
                serials.append(line);
        }
    }
    return serials;
}

bool TaskStore::record(const QList<QByteArray>& serials) const
{
    if (m_lastListPath.isEmpty())
        return false;
    QByteArray text;
    for (const QByteArray& serial : serials)
        text += serial + '\n';
    return DurableFile::write(m_lastListPath, text, 0600).ok();
}

bool TaskStore::removeFile()
{
    if (m_blocked)
        return false;
    // A link is removed itself, dangling or not; what it points to is not ours.
    const QFileInfo file(m_path);
    if (!file.exists() && !file.isSymLink())
        return true;
    return QFile::remove(m_path);
}

namespace {
// The codec escapes every character outside ASCII, which JSON does not ask for: a person reading or
// editing Tasks.json by hand should see 买牛奶, not \u4E70\u725B\u5976. Escapes of printable
// characters become the characters themselves; control characters, surrogates and the two line
// separators stay escaped.
QString unescapePrintable(const QString& json)
{
    QString out;
    out.reserve(json.size());
    for (qsizetype i = 0; i < json.size(); ++i) {
        const QChar c = json.at(i);
        if (c != u'\\' || i + 1 >= json.size()) {
            out += c;
            continue;
        }
        const QChar next = json.at(i + 1);
        if (next == u'/') {
            out += next;
            ++i;
            continue;
        }
        if (next == u'u' && i + 5 < json.size()) {
            bool ok = false;
            const ushort unit = json.mid(i + 2, 4).toUShort(&ok, 16);
            const QChar decoded(unit);
            if (ok && unit >= 0x80 && unit != 0x2028 && unit != 0x2029 && !decoded.isSurrogate() &&
                decoded.isPrint()) {
                out += decoded;
                i += 5;
                continue;
            }
        }
        // Any other escape, the escaped backslash included, is copied whole.
        out += c;
        out += next;
        ++i;
    }
    return out;
}
} // namespace

QByteArray TaskStore::serialise(const QList<StoredTask>& tasks)
{
    // The codec writes each record; the lines around them are laid out here, one task to a line, so
    // that the file reads and diffs like a list.
    JSON json;
    QByteArray out = "{\n  \"" + KeyVersion.toLatin1() +
                     "\": " + json.toString(JsonValue::fromNumber(Version)).toUtf8() + ",\n  \"" +
                     KeyTasks.toLatin1() + "\": [";
    for (qsizetype i = 0; i < tasks.size(); ++i) {
        const TaskItem& task = tasks.at(i).task;
        const JsonValue record = JsonValue::newDictionary();
        JsonDictionary& fields = *record.dictionary();
        fields.add(KeyTaskText, JsonValue::fromText(task.TaskText));
        fields.add(KeyTimeText, JsonValue::fromText(task.TimeText));
        fields.add(KeyStatus, JsonValue::fromNumber(task.Status));
        fields.add(KeyActionKind, JsonValue::fromNumber(task.ActionKind));
        fields.add(KeyActionArg, JsonValue::fromText(task.ActionArg));
        if (tasks.at(i).due.isValid())
            fields.add(KeyDue, JsonValue::fromText(tasks.at(i).due.toUTC().toString(Qt::ISODateWithMs)));
        if (tasks.at(i).held)
            fields.add(KeyHeld, JsonValue::fromBool(true));
        if (task.Repeat.kind == RepeatRule::Kind::Unknown) {
            // Read back inside a list, since the codec takes only a list or an object whole.
            JSON raw;
            const JsonValue kept = raw.parse(u'[' + task.Repeat.unknown + u']');
            if (kept.isList() && kept.count() == 1)
                fields.add(KeyRepeat, kept.item(1));
        } else if (task.Repeat.repeats()) {
            fields.add(KeyRepeat, JsonValue::fromText(ruleText(task.Repeat)));
        }
        out += i == 0 ? "\n    " : ",\n    ";
        out += unescapePrintable(json.toString(record)).toUtf8();
    }
    out += tasks.isEmpty() ? "]\n}\n" : "\n  ]\n}\n";
    return out;
}

QByteArray TaskStore::sign(const QByteArray& serialised, const QByteArray& key, const QByteArray& serial)
{
    // The serial and the signature go last, in place of the closing line: "...]\n}\n" becomes
    // "...],\n  ...\n}\n".
    QByteArray out = serialised;
    out.chop(3);
    if (!serial.isEmpty())
        out += ",\n  \"" + KeySerial.toLatin1() + "\": \"" + serial + '"';
    out += ",\n  \"" + KeySignature.toLatin1() + "\": \"" + signatureOf(serialised, key, serial) + "\"\n}\n";
    return out;
}

bool TaskStore::verify(const Parsed& parsed, const QByteArray& key)
{
    // Version 1 was never signed; and what is checked is the list as read, not the file's layout.
    if (!parsed.ok || parsed.version != Version || parsed.signature.isEmpty() || key.isEmpty())
        return false;
    return sameBytes(signatureOf(serialise(parsed.tasks), key, parsed.serial), parsed.signature);
}

TaskStore::Parsed TaskStore::parse(const QByteArray& bytes)
{
    Parsed parsed;
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError()) {
        parsed.problem = QStringLiteral("not UTF-8 text");
        return parsed;
    }
    JSON json;
    const JsonValue root = json.parse(text);
    if (!json.GetParserErrors().isEmpty()) {
        parsed.problem = QStringLiteral("not JSON: ") + json.GetParserErrors().section(u'\r', 0, 0);
        return parsed;
    }
    if (!root.isDictionary()) {
        parsed.problem = QStringLiteral("not a JSON object");
        return parsed;
    }
    int version = 0;
    if (!readInteger(root, KeyVersion, 0, INT_MAX, version) || version < OldestVersion || version > Version) {
        parsed.problem = QStringLiteral("Version missing or not %1 to %2").arg(OldestVersion).arg(Version);
        return parsed;
    }
    parsed.version = version;
    // A signature that is not text is no signature; the tasks are read all the same.
    const JsonValue signature = root.value(KeySignature);
    if (signature.isText())
        parsed.signature = signature.text().toLatin1();
    // Likewise a serial that is not one of ours is none.
    const JsonValue serial = root.value(KeySerial);
    if (serial.isText() && isSerial(serial.text().toLatin1()))
        parsed.serial = serial.text().toLatin1();
    const JsonValue list = root.value(KeyTasks);
    if (!list.isList()) {
        parsed.problem = QStringLiteral("Tasks missing or not a list");
        return parsed;
    }
    parsed.tasks.reserve(list.count());
    for (int i = 1; i <= list.count(); ++i) {
        StoredTask stored;
        const QString problem = readRecord(list.item(i), stored);
        if (!problem.isEmpty()) {
            parsed.tasks.clear();
            parsed.problem = QStringLiteral("task %1: %2").arg(i).arg(problem);
            return parsed;
        }
        parsed.tasks.append(std::move(stored));
    }
    parsed.ok = true;
    return parsed;
}

QString TaskStore::noticeTitle()
{
    return QStringLiteral("保留待办");
}

QString TaskStore::noticeMessage(const Loaded& loaded)
{
    if (loaded.setAsidePath.isEmpty())
        return QStringLiteral("保存的待办无法读取，待办列表从空开始。原文件 %1 保持原样，不会被覆盖。")
            .arg(fileName());
    return QStringLiteral("保存的待办无法读取，待办列表从空开始。原文件已改名为 %1 保留。")
        .arg(QFileInfo(loaded.setAsidePath).fileName());
}

namespace {
// A line of a file that may have been written to deceive: control characters (a line break that
// pushes the rest of a command out of sight) and the characters that reorder text on screen are
// shown as escapes, and a very long line is cut.
QString shownAsIs(const QString& text)
{
    constexpr qsizetype Longest = 300;
    QString out;
    for (const QChar c : text) {
        if (out.size() >= Longest) {
            out += u'…';
            break;
        }
        const char16_t u = c.unicode();
        const bool reorders = (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069) || u == 0x200E ||
                              u == 0x200F || u == 0x061C;
        if (u < 0x20 || u == 0x7F || u == 0x2028 || u == 0x2029 || reorders)
            out += QStringLiteral("\\u%1").arg(int(u), 4, 16, QChar(u'0'));
        else
            out += c;
    }
    return out;
}

QString whatItDoes(const TaskItem& task)
{
    switch (task.ActionKind) {
    case TaskAction::Power: {
        const QString& code = task.ActionArg;
        if (code.size() == 1 && code.at(0) >= u'0' && code.at(0) <= u'2')
            return powerCaption(code.at(0).unicode() - u'0').trimmed() + QStringLiteral("电脑");
        return QStringLiteral("电源操作 ") + shownAsIs(task.ActionArg);
    }
    case TaskAction::OpenFile:
        return QStringLiteral("打开文件 ") + shownAsIs(task.ActionArg);
    default:
        return QStringLiteral("运行命令 ") + shownAsIs(task.ActionArg);
    }
}
} // namespace

QString TaskStore::heldQuestion(const Loaded& loaded)
{
    constexpr int MostListed = 20;
    QString out =
        QStringLiteral("%1 中的下列待办会运行命令、打开文件或关闭电脑，但无法确认它们是你在这台电脑上"
                       "保存的，所以没有启用：\n")
            .arg(fileName());
    int listed = 0;
    for (const StoredTask& stored : loaded.tasks) {
        if (!stored.held)
            continue;
        if (++listed > MostListed)
            continue;
        out += QStringLiteral("\n【") + shownAsIs(stored.task.TaskText) + QStringLiteral("】") +
               whatItDoes(stored.task);
    }
    if (listed > MostListed)
        out += QStringLiteral("\n……另有 %1 项").arg(listed - MostListed);
    out += QStringLiteral("\n\n选“启用”，它们按原定的时间执行。选“不启用”，它们以“【未启用】”留在待办列表中，"
                          "不会执行，下次启动时再问；也可以在待办页移除它们，再亲手重新添加。");
    if (loaded.notLastWritten)
        out += QStringLiteral(
            "\n\n这份待办是你以前保存的，但不是最后保存的那一份（可能是同步工具或备份放回的旧版本），"
            "其中可能有你后来移除的待办。");
    if (!loaded.keyProblem.isEmpty())
        out += QStringLiteral("\n\n签名密钥“%1”不可用（%2），不会被自动替换。确认它不是你放的后删除它，"
                              "下次保存时会建立新的密钥；在那之前，这类待办每次启动都要确认。")
                   .arg(loaded.keyPath, loaded.keyProblem);
    return out;
}
