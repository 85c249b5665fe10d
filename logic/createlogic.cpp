#include "logic/createlogic.h"

#include "model/ctree.h"
#include "services/util.h"

#include <QCoreApplication>

namespace CreateLogic {

int GaugeValue(qint64 size)
{
    if (size <= 0)
        return 0;
    // size * 100 would overflow only above 92 PB; divide first for such sizes.
    const qint64 percent
        = size < (Q_INT64_C(1) << 56) ? size * 100 / GaugeMaximum : size / GaugeMaximum * 100;
    return static_cast<int>(qMin<qint64>(percent, 100));
}

qint64 NotedSize(const Item &folder)
{
    qint64 total = 0;
    WalkItems(folder, [&](const Item &item) {
        if (!item.m_IsDir)
            total += item.m_Size.toLongLong();
        return true;
    });
    return total;
}

QString TotalSizeText(qint64 size)
{
    return QCoreApplication::translate("CPage3", "Total Size: ") + Util::SizeToString(size);
}

} // namespace CreateLogic
