#include "model/listing.h"

#include "model/ctree.h"

namespace {
const int kTimeWidth = 19;
const int kAttrPos = 20;
const int kAttrWidth = 5;
const int kSizePos = 26;
const int kSizeWidth = 12;
const int kPathPos = 53;
} // namespace

bool IsListingSeparator(const QString &line)
{
    return line.contains(QLatin1String("-------------------"));
}

bool ParseListingRow(const QString &line, Item *item)
{
    QString row = line;
    row.remove(QLatin1Char('\r'));
    row.remove(QLatin1Char('\n'));
    const int length = row.size();
    if (!item || length <= kPathPos)
        return false;

    item->m_Time = row.left(kTimeWidth);
    item->m_IsDir = row.midRef(kAttrPos, kAttrWidth).contains(QLatin1Char('D'));
    item->m_Size = row.mid(kSizePos, kSizeWidth).trimmed();
    item->m_Path = row.mid(kPathPos);
    return true;
}
