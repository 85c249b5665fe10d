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

class Item;

// True when line contains 19 hyphen-minus characters in a row, at any position.
bool IsListingSeparator(const QString &line);

// Fills time/isDir/size/path of item from one table row by the fixed columns ("\r" and "\n" are
// removed first; short rows lack the fields they do not reach, the size is trimmed, time and path
// are kept as they are). Returns false when the row carries no path (53 characters or fewer after
// removing "\r" and "\n"); item is left untouched then. m_SrcPath and the children are never
// touched.
bool ParseListingRow(const QString &line, Item *item);

#endif // VEXLOR_LISTING_H
