// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/cStringBuilder.h"

#include <limits>

namespace {

constexpr qint64 MaxBytes = std::numeric_limits<qint32>::max();

bool fitsInBytes(qint64 characters)
{
    return characters * 2 <= MaxBytes;
}

} // namespace

void cStringBuilder::setChunkSize(int characters)
{
    if (!fitsInBytes(characters))
        throw StringBuilderError(StringBuilderError::Overflow);
    // A step of zero would never reach the needed size.
    if (characters <= 0)
        throw StringBuilderError(StringBuilderError::InvalidArgument);
    m_chunk = characters;
}

QString cStringBuilder::toString() const
{
    if (m_used == 0)
        return QString();
    return m_buffer.left(m_used);
}

void cStringBuilder::setTheString(QStringView text)
{
    if (text.isEmpty()) {
        Clear();
        return;
    }
    ensureCapacity(text.size());
    std::copy(text.begin(), text.end(), m_buffer.data());
    m_used = int(text.size());
}

void cStringBuilder::Clear()
{
    m_buffer = QString();
    m_used = 0;
    m_capacity = 0;
}

void cStringBuilder::AppendNL(QStringView text)
{
    Append(text);
    Append(u"\r\n");
}

void cStringBuilder::Append(QStringView text)
{
    if (text.isEmpty())
        return;
    ensureCapacity(qint64(m_used) + text.size());
    std::copy(text.begin(), text.end(), m_buffer.data() + m_used);
    m_used += int(text.size());
}

void cStringBuilder::Append(QChar c)
{
    ensureCapacity(qint64(m_used) + 1);
    m_buffer.data()[m_used++] = c;
}

void cStringBuilder::AppendByVal(QString text)
{
    Append(text);
}

void cStringBuilder::Insert(int index, QStringView text)
{
    if (index < 0 || index > m_used)
        throw StringBuilderError(StringBuilderError::IndexOutOfRange);
    if (text.isEmpty())
        return;
    const int length = int(text.size());
    ensureCapacity(qint64(m_used) + length);
    QChar* data = m_buffer.data();
    std::copy_backward(data + index, data + m_used, data + m_used + length);
    std::copy(text.begin(), text.end(), data + index);
    m_used += length;
}

void cStringBuilder::InsertByVal(int index, QString text)
{
    Insert(index, text);
}

void cStringBuilder::Remove(int index, int count)
{
    if (index < 0 || count < 0 || index > m_used || qint64(index) + count > m_used)
        throw StringBuilderError(StringBuilderError::IndexOutOfRange);
    if (count == 0)
        return;
    QChar* data = m_buffer.data();
    std::copy(data + index + count, data + m_used, data + index);
    m_used -= count;
}

int cStringBuilder::Find(QStringView text, int start, Qt::CaseSensitivity mode) const
{
    if (start < 1)
        throw StringBuilderError(StringBuilderError::IndexOutOfRange);
    if (start > m_used + 1)
        return 0;
    // Searching the content alone keeps matches that would run into the filler out of the result.
    const qsizetype found = QStringView(m_buffer).left(m_used).indexOf(text, start - 1, mode);
    return found < 0 ? 0 : int(found) + 1;
}

void cStringBuilder::HeapMinimize()
{
    while (m_capacity - m_used > m_chunk)
        m_capacity -= m_chunk;
    m_buffer.truncate(m_capacity);
    m_buffer.squeeze();
}

void cStringBuilder::ensureCapacity(qint64 neededCharacters)
{
    if (!fitsInBytes(neededCharacters))
        throw StringBuilderError(StringBuilderError::Overflow);
    if (neededCharacters <= m_capacity)
        return;
    const qint64 steps = (neededCharacters - m_capacity + m_chunk - 1) / m_chunk;
    const qint64 capacity = m_capacity + steps * m_chunk;
    if (!fitsInBytes(capacity))
        throw StringBuilderError(StringBuilderError::Overflow);
    // Filler is spaces, as the content never extends past m_used anyway.
    m_buffer.resize(capacity, QLatin1Char(' '));
    m_capacity = int(capacity);
}
