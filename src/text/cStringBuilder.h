// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/StringBuilderError.h"

#include <QString>
#include <QStringView>

/// A growable text buffer: room is reserved a chunk at a time and appended text is copied into it,
/// so building a long text costs one re-allocation per chunk instead of one per append.
/// Lengths are in characters, indexes 0-based; sizes are checked as bytes (2 per character) against
/// the 32-bit limit. Failures throw StringBuilderError (9 bad index, 6 overflow).
class cStringBuilder
{
public:
    /// Growth step of a new builder, in characters.
    static constexpr int DefaultChunkSize = 8192;

    /// Number of characters of content.
    int Length() const { return m_used; }
    /// Reserved room in characters.
    int Capacity() const { return m_capacity; }
    /// Growth step in characters.
    int ChunkSize() const { return m_chunk; }
    /// Sets the growth step; 6 when its byte size overflows, 5 when it is not positive.
    void setChunkSize(int characters);

    /// The content: the first Length() characters of the buffer.
    QString toString() const;
    /// Replaces the content; an empty text clears the builder.
    void setTheString(QStringView text);

    /// Empties the buffer and gives back all reserved room.
    void Clear();
    /// Appends the text and then CR LF.
    void AppendNL(QStringView text);
    /// Appends the text at the end of the content.
    void Append(QStringView text);
    /// Appends one character.
    void Append(QChar c);
    /// Same as Append, on its own copy of the text.
    void AppendByVal(QString text);
    /// Inserts the text before character index; 9 when index > Length().
    void Insert(int index, QStringView text);
    /// Same as Insert, on its own copy of the text.
    void InsertByVal(int index, QString text);
    /// Removes count characters from index; 9 when the range leaves the content.
    void Remove(int index, int count);
    /// 1-based position of the first occurrence of text lying inside the content at or after the
    /// 1-based start, 0 when there is none; 9 when start is below 1.
    int Find(QStringView text, int start = 1, Qt::CaseSensitivity mode = Qt::CaseSensitive) const;
    /// Gives back reserved room in whole chunks while more than one chunk is free.
    void HeapMinimize();

private:
    void ensureCapacity(qint64 neededCharacters);

    QString m_buffer;
    int m_used = 0;
    int m_capacity = 0;
    int m_chunk = DefaultChunkSize;
};
