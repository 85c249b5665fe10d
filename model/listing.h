#ifndef VEXLOR_LISTING_H
#define VEXLOR_LISTING_H

// Reading the plain table that the 7-Zip list command ("7z l IMAGE") prints:
//
//   2024-01-02 03:04:05 D....                            boot
//   2024-01-02 03:04:05 .....         2048         2048  boot/boot.bin
//   ------------------- ----- ------------ ------------  ------------------------
//
// Rows lie between two separator lines and are read by fixed character columns: date and time
// 0..18, attributes 20..24, size 26..37 (right-aligned), path from 53 to the end of the line.

#include <QString>
#include <QStringList>

#include <functional>

class CTree;
class Item;

// True when line contains 19 hyphen-minus characters in a row, at any position.
bool IsListingSeparator(const QString &line);

// Fills time/isDir/size/path of item from one table row by the fixed columns ("\r" and "\n" are
// removed first; short rows lack the fields they do not reach, the size is trimmed, time and path
// are kept as they are). Returns false when the row carries no path (53 characters or fewer after
// removing "\r" and "\n"); item is left untouched then. m_SrcPath and the children are never
// touched.
bool ParseListingRow(const QString &line, Item *item);

// Reads one listing into a content tree, line by line, as the lines come from the tool: the
// first separator opens the table, each row adds an item (a path already present is dropped),
// the next separator closes the table. Lines outside the table go to the error reader, if any.
class CListingReader
{
public:
    // Picks the tool's error lines among the lines outside the table: returns the text to keep,
    // or an empty string (SevenZip::ErrorReader() is one).
    using ErrorReader = std::function<QString(const QString &line)>;

    // inTable: where the in-table state is kept; the reader's own flag when null. Readers that
    // must share one state pass the same flag.
    explicit CListingReader(CTree *tree = nullptr, bool *inTable = nullptr);

    void SetTree(CTree *tree);
    void SetErrorReader(ErrorReader reader);
    // A new listing: out of the table, not closed, no errors; the tree is left as it is.
    void Reset();
    // Reads one line; true when this line closed the table (the tree is then complete).
    bool ReadLine(const QString &line);

    bool InTable() const { return *m_InTable; }
    // Whether a table has been read to its closing separator since Reset().
    bool Closed() const { return m_Closed; }
    // The error lines seen outside the table since Reset(), in order.
    QStringList Errors() const { return m_Errors; }

private:
    CTree *m_Tree;
    bool m_OwnFlag = false;
    bool *m_InTable;
    bool m_Closed = false;
    ErrorReader m_Prototype;
    ErrorReader m_Reader;
    QStringList m_Errors;
};

#endif // VEXLOR_LISTING_H
