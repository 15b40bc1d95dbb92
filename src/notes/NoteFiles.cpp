// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/NoteFiles.h"

#include "text/GbkCodec.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

namespace {

const QByteArray kUtf8Mark("\xEF\xBB\xBF", 3);

qsizetype markSize(int code)
{
    switch (code) {
    case 1:
        return 3;
    case 2:
    case 3:
        return 2;
    case 4:
    case 5:
        return 4;
    default:
        return 0;
    }
}

QStringConverter::Encoding markEncoding(int code)
{
    switch (code) {
    case 2:
        return QStringConverter::Utf16LE;
    case 3:
        return QStringConverter::Utf16BE;
    case 4:
        return QStringConverter::Utf32LE;
    case 5:
        return QStringConverter::Utf32BE;
    default:
        return QStringConverter::Utf8;
    }
}

// Decodes without dropping a second mark (only the first one is the file's), and with broken or
// incomplete sequences turned into U+FFFD; *valid tells whether there was any.
QString decodeStrict(QStringConverter::Encoding encoding, QByteArrayView bytes, bool* valid)
{
    QStringDecoder decoder(encoding,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    QString text = decoder.decode(bytes);
    if (valid)
        *valid = !decoder.hasError();
    return text;
}

enum class ReadOutcome
{
    Read,
    Missing,
    Failed
};

ReadOutcome readWholeFile(const QString& path, QByteArray* bytes)
{
    // Asked before opening: opening a pipe that found its way into the folder would block for good.
    const QFileInfo info(path);
    if (!info.exists())
        return ReadOutcome::Missing;
    if (!info.isFile() || info.size() > kMaxNoteFileBytes)
        return ReadOutcome::Failed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return ReadOutcome::Failed;
    *bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return ReadOutcome::Failed;
    return ReadOutcome::Read;
}

void setOk(bool* ok, bool value)
{
    if (ok)
        *ok = value;
}

} // namespace

int byteOrderMarkOf(QByteArrayView head)
{
    quint8 b[4] = {0, 0, 0, 0};
    for (qsizetype i = 0; i < 4 && i < head.size(); ++i)
        b[i] = quint8(head[i]);
    if (b[0] == 0xFF && b[1] == 0xFE && b[2] == 0x00 && b[3] == 0x00)
        return 4;
    if (b[0] == 0x00 && b[1] == 0x00 && b[2] == 0xFE && b[3] == 0xFF)
        return 5;
    if (b[0] == 0xFF && b[1] == 0xFE)
        return 2;
    if (b[0] == 0xFE && b[1] == 0xFF)
        return 3;
    if (b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
        return 1;
    return 0;
}

int DetectByteOrderMark(const QString& path)
{
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly))
        return -1;
    return byteOrderMarkOf(file.read(4));
}

QString decodeNoteBytes(QByteArrayView bytes, bool* canonical, bool* lossy)
{
    const int code = byteOrderMarkOf(bytes);
    bool valid = false;
    bool lost = false;
    QString text;
    if (code != 0) {
        text = decodeStrict(markEncoding(code), bytes.sliced(qMin(markSize(code), bytes.size())), &valid);
        lost = !valid;
    } else {
        text = decodeStrict(QStringConverter::Utf8, bytes, &valid);
        if (!valid) {
            text = decodeGbk(bytes);
            // Text in another code page (Latin-1, cp1251) often passes as GBK with a few holes.
            lost = encodeGbk(text) != bytes;
        }
    }
    if (canonical)
        *canonical = code == 1 && valid;
    if (lossy)
        *lossy = lost;
    return text;
}

QByteArray encodeNoteBytes(const QString& text)
{
    return kUtf8Mark + text.toUtf8();
}

namespace {
// A file that is gone reads as empty; only one that exists but cannot be read is a failure.
bool readOrMissing(const QString& path, QByteArray* bytes, bool* ok)
{
    const ReadOutcome outcome = readWholeFile(path, bytes);
    setOk(ok, outcome != ReadOutcome::Failed);
    return outcome == ReadOutcome::Read;
}
} // namespace

QString ReadNoteFile(const QString& path, bool* ok)
{
    QByteArray bytes;
    return readOrMissing(path, &bytes, ok) ? decodeNoteBytes(bytes) : QString();
}

QString ReadUtf8File(const QString& path, bool* ok)
{
    QByteArray bytes;
    if (readWholeFile(path, &bytes) != ReadOutcome::Read) {
        setOk(ok, false);
        return QString();
    }
    setOk(ok, true);
    const int code = byteOrderMarkOf(bytes);
    return decodeStrict(markEncoding(code), QByteArrayView(bytes).sliced(qMin(markSize(code), bytes.size())),
                        nullptr);
}

QString ReadAnsiFile(const QString& path, bool* ok)
{
    QByteArray bytes;
    return readOrMissing(path, &bytes, ok) ? decodeGbk(bytes) : QString();
}

bool WriteUtf8File(const QString& path, const QString& text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = encodeNoteBytes(text);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
