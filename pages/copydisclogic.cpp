#include "pages/copydisclogic.h"

#include "services/mkisofs.h"

#include <QDir>

namespace CopyDiscLogic {

int ProgressValue(const QString &line)
{
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (!isProgress || !(fraction > 0))
        return -1;
    return static_cast<int>(qMin(fraction, 1.0) * ProgressMaximum);
}

bool IsInside(const QString &path, const QString &folder)
{
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString p = QDir::cleanPath(path);
    const QString f = QDir::cleanPath(folder);
    if (p == f || f == QLatin1String("/"))
        return true;
    return p.startsWith(f + QLatin1Char('/'));
}

CErrorLineReader ErrorReader()
{
    return [tool = Mkisofs::ErrorReader()](const QString &line) {
        return line.contains(QLatin1String("DRStatusPercentCompleteKey")) ? QString() : tool(line);
    };
}

QString ToolMessage(const CRunOutcome &end)
{
    return Mkisofs::PickMessage(end.errorLines);
}

} // namespace CopyDiscLogic
