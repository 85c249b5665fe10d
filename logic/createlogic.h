#ifndef VEXLOR_CREATELOGIC_H
#define VEXLOR_CREATELOGIC_H

// The Create page's size gauge and label.

#include <QString>

class Item;

namespace CreateLogic {

// The nominal project maximum shown by the gauge: 5 GiB.
constexpr qint64 GaugeMaximum = Q_INT64_C(5368709120);

// The gauge value of a project of size bytes: its percentage of 5 GiB, rounded down, 0 to 100.
int GaugeValue(qint64 size);

// The total of the file sizes noted below folder when the files were added (m_Size), without
// asking the disk again: a large project's label is refreshed in milliseconds. A file that
// changed size since is named when the image is created.
qint64 NotedSize(const Item &folder);

// The text of the size label: "Total Size: " and the size formatted for display.
QString TotalSizeText(qint64 size);

} // namespace CreateLogic

#endif // VEXLOR_CREATELOGIC_H
