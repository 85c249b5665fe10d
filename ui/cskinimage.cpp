#include "ui/cskinimage.h"

#include <QDateTime>
#include <QFileInfo>
#include <QPixmapCache>

QPixmap CSkinImage::Load(const QString &path)
{
    QPixmap pixmap;
    if (path.isEmpty())
        return pixmap;

    QString key = QStringLiteral("vexlor-skin|") + path;
    if (!path.startsWith(QLatin1Char(':'))) {
        const QFileInfo info(path);
        if (!info.isFile())
            return pixmap;
        key += QLatin1Char('|') + QString::number(info.size()) + QLatin1Char('|')
            + QString::number(info.lastModified().toMSecsSinceEpoch());
    }
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    if (pixmap.load(path))
        QPixmapCache::insert(key, pixmap);
    return pixmap;
}
