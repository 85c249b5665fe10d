#include "model/localscan.h"

#include "model/ctree.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcScan, "vexlor.scan", QtWarningMsg)

namespace {

QString timeText(const QFileInfo &info)
{
    return info.lastModified().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

void scan(Item *parent, const QString &folder, const QStringList &leaveOut, QStringList &ancestors)
{
    const QFileInfoList entries = QDir(folder).entryInfoList(
        QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Drives, QDir::Name | QDir::IgnoreCase);
    ancestors << QFileInfo(folder).canonicalFilePath();
    for (const QFileInfo &entry : entries) {
        Item item;
        item.m_SrcPath = entry.absoluteFilePath();
        item.m_IsDir = entry.isDir();
        if (item.m_IsDir) {
            const QString canonical = entry.canonicalFilePath();
            if (ancestors.contains(canonical) || leaveOut.contains(canonical)) {
                qCWarning(lcScan) << "ScanLocalFolder leaves out" << item.m_SrcPath;
                continue;
            }
        }
        item.m_Path = parent->m_Path + QLatin1Char('/') + entry.fileName();
        if (!item.m_IsDir)
            item.m_Size = QString::number(entry.size());
        item.m_Time = timeText(entry);
        Item *added = parent->m_Children.append(item);
        if (added->m_IsDir)
            scan(added, item.m_SrcPath, leaveOut, ancestors);
    }
    ancestors.removeLast();
}

} // namespace

void ScanLocalFolder(Item *parent, const QString &folder, const QStringList &leaveOut)
{
    QStringList canonical;
    for (const QString &path : leaveOut) {
        const QString c = QFileInfo(path).canonicalFilePath();
        if (!c.isEmpty())
            canonical << c;
    }
    QStringList ancestors;
    if (parent)
        scan(parent, folder, canonical, ancestors);
}

Item *AddLocalEntry(CTree &tree, const QString &source, const QString &prefix,
                    const QStringList &leaveOut)
{
    const QFileInfo info(source);
    if (!info.exists() || info.fileName().isEmpty())
        return nullptr;
    Item item;
    item.m_SrcPath = info.absoluteFilePath();
    item.m_Path = prefix + info.fileName();
    item.m_IsDir = info.isDir();
    if (!item.m_IsDir)
        item.m_Size = QString::number(info.size());
    item.m_Time = timeText(info);
    if (!tree.AddItem(item))
        return nullptr;
    Item *added = tree.GetItem(item.m_Path);
    if (added->m_IsDir)
        ScanLocalFolder(added, item.m_SrcPath, leaveOut);
    return added;
}
