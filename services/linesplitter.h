#ifndef VEXLOR_LINESPLITTER_H
#define VEXLOR_LINESPLITTER_H

#include <QByteArray>
#include <QList>

// Cuts the output of a tool, as it arrives in reads of any size, into lines. Each of the end
// markers ends a line (line feed and carriage return by default; 7-Zip's progress also ends
// with backspaces); empty lines between markers are dropped. An unfinished line waits for the
// rest of it, except that a line longer than maxPiece bytes is handed out in pieces of at most
// maxPiece bytes, never cut inside a UTF-8 sequence.
class CLineSplitter
{
public:
    explicit CLineSplitter(QByteArray ends = QByteArrayLiteral("\n\r"), int maxPiece = 2047);

    // The lines (and pieces of over-long lines) that bytes completes.
    QList<QByteArray> Feed(const QByteArray &bytes);
    // What is left at the end of the output, in pieces.
    QList<QByteArray> Finish();
    void Clear() { m_pending.clear(); }

    // The length of the first piece of data of at most maxPiece bytes that ends on a UTF-8
    // character boundary (maxPiece itself when no boundary is near).
    static int PieceLength(const QByteArray &data, int maxPiece);

private:
    void appendPieces(QList<QByteArray> &out, const QByteArray &line) const;

    QByteArray m_ends;
    int m_maxPiece;
    QByteArray m_pending;
};

#endif // VEXLOR_LINESPLITTER_H
