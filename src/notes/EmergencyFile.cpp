// SPDX-License-Identifier: GPL-3.0-or-later
#include "notes/EmergencyFile.h"

#include "notes/NoteFiles.h"
#include "platform/DurableFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <unistd.h>

namespace {
const QByteArray kHeader("VemraNotes unsaved notes 2\n");
const QByteArray kFirstHeader("VemraNotes unsaved notes 1\n");
const QByteArray kCountLine("Notes: ");
const QByteArray kDataLine("Data: ");
const QString kPrefix = QStringLiteral("VemraNotes-unsaved-");
const QString kSuffix = QStringLiteral(".txt");
// A few notes of the largest size a note file may have; anything larger was not written by us.
constexpr qint64 kMaxBytes = 4 * kMaxNoteFileBytes;
// The head: two short lines and a path, which the system keeps under 4096 bytes.
constexpr qint64 kMaxHeadBytes = 8 * 1024;
// Names tried in one folder before the next is: one taken by chance is rare, a whole run of them
// means the folder is unusable.
constexpr int kNameAttempts = 64;

QString blockHead(qsizetype number, qsizetype length)
{
    return QStringLiteral("=== %1: %2 ===\n").arg(number).arg(length);
}
} // namespace

namespace EmergencyFile {

QByteArray serialise(const QString& dataFolder, const QStringList& texts)
{
    QString body;
    for (qsizetype i = 0; i < texts.size(); ++i)
        body += blockHead(i + 1, texts.at(i).size()) + texts.at(i) + u'\n';
    return kHeader + kCountLine + QByteArray::number(texts.size()) + '\n' + kDataLine + dataFolder.toUtf8() +
           "\n\n" + body.toUtf8();
}

namespace {

// The data folder and the count the head says (-1 for a file of the first form), and where the
// blocks begin; false when bytes do not begin with such a head.
bool parseHead(QByteArrayView bytes, QString* dataFolder, qsizetype* count, qsizetype* bodyAt)
{
    qsizetype at = 0;
    *count = -1;
    if (bytes.startsWith(kHeader)) {
        at = kHeader.size();
        const qsizetype end = bytes.indexOf('\n', at);
        if (end < 0 || !bytes.sliced(at).startsWith(kCountLine))
            return false;
        bool ok = false;
        *count = bytes.sliced(at + kCountLine.size(), end - at - kCountLine.size()).toLongLong(&ok);
        if (!ok || *count < 0)
            return false;
        at = end + 1;
    } else if (bytes.startsWith(kFirstHeader)) {
        at = kFirstHeader.size();
    } else {
        return false;
    }
    const qsizetype dataEnd = bytes.indexOf("\n\n", at);
    if (!bytes.sliced(at).startsWith(kDataLine) || dataEnd < 0)
        return false;
    *dataFolder = QString::fromUtf8(bytes.sliced(at + kDataLine.size(), dataEnd - at - kDataLine.size()));
    *bodyAt = dataEnd + 2;
    return true;
}

} // namespace

bool parse(const QByteArray& bytes, QString* dataFolder, QStringList* texts)
{
    qsizetype count = -1;
    qsizetype bodyAt = 0;
    if (!parseHead(bytes, dataFolder, &count, &bodyAt))
        return false;
    const QString text = QString::fromUtf8(bytes.sliced(bodyAt));
    texts->clear();
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype headEnd = text.indexOf(u'\n', at);
        if (headEnd < 0)
            return false;
        const QStringView head = QStringView(text).sliced(at, headEnd - at);
        const qsizetype colon = head.indexOf(u':');
        bool ok = false;
        const qsizetype length =
            colon < 0 || !head.startsWith(u"=== ") || !head.endsWith(u" ===")
                ? -1
                : head.sliced(colon + 1, head.size() - colon - 5).trimmed().toLongLong(&ok);
        const qsizetype start = headEnd + 1;
        if (!ok || length < 0 || length > text.size() - start - 1 || text.at(start + length) != u'\n')
            return false;
        texts->append(text.sliced(start, length));
        at = start + length + 1;
    }
    // A file cut short at a block's end still reads as blocks: the head's count tells.
    return count < 0 || count == texts->size();
}

QString write(const QStringList& folders, const QString& dataFolder, const QStringList& texts,
              const QDateTime& now)
{
    const QByteArray bytes = serialise(dataFolder, texts);
    const QString stamp = now.toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (const QString& folder : folders) {
        if (folder.isEmpty() || !QDir().mkpath(folder))
            continue;
        // Never replace or open what is at a name: an earlier file may hold notes never restored,
        // and in the temporary folder anyone may have put a file or a link at every name we could
        // predict. Each new name is created exclusively; one taken gets a random tail instead.
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            const QString tail = attempt == 0
                                     ? QString()
                                     : u'-' + QString::number(QRandomGenerator::system()->generate64(), 36);
            const QString path = QDir(folder).filePath(kPrefix + stamp + tail + kSuffix);
            const DurableFile::WriteResult result = DurableFile::createNew(path, bytes, 0600);
            // Only the folder's flush failed: the file is whole at its name.
            if (result.ok() || result.step() == DurableFile::Step::SyncFolder)
                return path;
            if (result.step() != DurableFile::Step::Create || result.error() != EEXIST)
                break;
        }
    }
    return QString();
}

QList<Found> find(const QStringList& folders, const QString& dataFolder)
{
    QList<Found> found;
    QStringList seen;
    for (const QString& folder : folders) {
        const QDir dir(folder);
        if (folder.isEmpty() || seen.contains(dir.canonicalPath()))
            continue;
        seen.append(dir.canonicalPath());
        const QStringList names =
            dir.entryList({kPrefix + u'*' + kSuffix}, QDir::Files | QDir::System, QDir::Name);
        for (const QString& name : names) {
            const QFileInfo info(dir.filePath(name));
            // The temporary folder is everybody's: only a file of this user's counts.
            if (info.isSymLink() || !info.isFile() || info.ownerId() != ::getuid() || info.size() > kMaxBytes)
                continue;
            // Only the head is read now: the notes, which may be large, wait until the user asks
            // for them.
            const DurableFile::ReadResult head = DurableFile::readHead(info.filePath(), kMaxHeadBytes);
            QString folderOfNotes;
            qsizetype count = -1;
            qsizetype bodyAt = 0;
            if (head.ok() && head.fileSize() <= kMaxBytes &&
                parseHead(head.bytes(), &folderOfNotes, &count, &bodyAt) && folderOfNotes == dataFolder)
                found.append(
                    Found{info.filePath(), int(std::min<qsizetype>(count, INT_MAX)), head.fileSize()});
        }
    }
    return found;
}

bool load(const QString& path, const QString& dataFolder, QStringList* texts)
{
    const DurableFile::ReadResult read = DurableFile::read(path, kMaxBytes);
    QString folderOfNotes;
    return read.ok() && parse(read.bytes(), &folderOfNotes, texts) && folderOfNotes == dataFolder;
}

} // namespace EmergencyFile
