#include "services/linesplitter.h"

#include <utility>

CLineSplitter::CLineSplitter(QByteArray ends, int maxPiece)
    : m_ends(std::move(ends))
    , m_maxPiece(maxPiece)
{
}

int CLineSplitter::PieceLength(const QByteArray &data, int maxPiece)
{
    if (data.size() <= maxPiece)
        return data.size();
    int len = maxPiece;
    for (int back = 0; back < 3 && len > 0 && (uchar(data.at(len)) & 0xC0) == 0x80; ++back)
        --len;
    return (uchar(data.at(len)) & 0xC0) == 0x80 || len == 0 ? maxPiece : len;
}

void CLineSplitter::appendPieces(QList<QByteArray> &out, const QByteArray &line) const
{
    int start = 0;
    while (start < line.size()) {
        const QByteArray rest
            = QByteArray::fromRawData(line.constData() + start, line.size() - start);
        const int len = PieceLength(rest, m_maxPiece);
        out << line.mid(start, len);
        start += len;
    }
}

QList<QByteArray> CLineSplitter::Feed(const QByteArray &bytes)
{
    QList<QByteArray> out;
    m_pending += bytes;
    const char *data = m_pending.constData();
    const int size = m_pending.size();
    int start = 0;
    for (int i = 0; i < size; ++i) {
        if (m_ends.indexOf(data[i]) < 0)
            continue;
        if (i > start)
            appendPieces(out, m_pending.mid(start, i - start));
        start = i + 1;
    }
    m_pending.remove(0, start);
    while (m_pending.size() >= m_maxPiece) {
        const int len = PieceLength(m_pending, m_maxPiece);
        out << m_pending.left(len);
        m_pending.remove(0, len);
    }
    return out;
}

QList<QByteArray> CLineSplitter::Finish()
{
    QList<QByteArray> out;
    appendPieces(out, m_pending);
    m_pending.clear();
    return out;
}
