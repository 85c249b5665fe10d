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

CListingReader::CListingReader(CTree *tree, bool *inTable)
    : m_Tree(tree)
    , m_InTable(inTable ? inTable : &m_OwnFlag)
{
}

void CListingReader::SetTree(CTree *tree)
{
    m_Tree = tree;
}

void CListingReader::SetErrorReader(ErrorReader reader)
{
    m_Prototype = std::move(reader);
    m_Reader = m_Prototype;
}

void CListingReader::Reset()
{
    *m_InTable = false;
    m_Closed = false;
    m_Errors.clear();
    m_Reader = m_Prototype;
}

bool CListingReader::ReadLine(const QString &line)
{
    if (IsListingSeparator(line)) {
        *m_InTable = !*m_InTable;
        if (*m_InTable)
            return false;
        m_Closed = true;
        return true;
    }
    if (!*m_InTable) {
        if (m_Reader) {
            const QString error = m_Reader(line);
            if (!error.isEmpty())
                m_Errors << error;
        }
        return false;
    }
    Item item;
    if (m_Tree && ParseListingRow(line, &item))
        m_Tree->AddItem(item);
    return false;
}
