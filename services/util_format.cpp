// Size and date texts, blank runs and file extensions.

#include "services/util.h"

QString Util::SizeToString(qint64 size)
{
    QString unit = QStringLiteral("B");
    double x = double(size);
    if (size > 1024) {
        unit = QStringLiteral("KB");
        x /= 1024;
        if (x > 1024) {
            unit = QStringLiteral("MB");
            x /= 1024;
            if (x > 1024) {
                unit = QStringLiteral("GB");
                x /= 1024;
            }
        }
    }
    QString text = QString::number(x, 'f', 2);
    if (text.endsWith(QLatin1String(".00")))
        text.chop(3);
    return text + QLatin1Char(' ') + unit;
}

QString Util::QT2String(const QDateTime &time)
{
    return time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString Util::ReplaceBlank(QString text)
{
    while (text.contains(QLatin1String("  ")))
        text.replace(QLatin1String("  "), QLatin1String(" "));
    return text;
}

QString Util::GetExtension(const QString &name)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot <= 0)
        return QString();
    return name.mid(dot);
}
