#include "app/startup.h"
#include "services/logging.h"

#include "app/mainwindow.h"
#include "services/util.h"

#include <QApplication>
#include <QDebug>
#include <QFont>
#include <QIcon>
#include <QTextCodec>

namespace Startup {

void PrepareProcess()
{
    // The user's file-creation mask is kept: the tools write what the user keeps (extracted
    // files, images), and the program's own folders are made private where they are created.
    QCoreApplication::setApplicationName(QStringLiteral("Vexlor"));
}

bool IsOnMountedVolume(const QString &exeDir)
{
    const QString volumes = QStringLiteral("/Volumes");
    return exeDir == volumes || exeDir.startsWith(volumes + QLatin1Char('/'), Qt::CaseSensitive);
}

bool CheckLocation(const QString &exeDir)
{
    if (!IsOnMountedVolume(exeDir))
        return true;
    qCDebug(lcStartup) << "Startup::CheckLocation refusing to run from" << exeDir;
    Util::ShowError(QStringLiteral("Please drag the icon to Application folder first!"));
    return false;
}

int Run(const QString &exeDir, const QString &tempDir)
{
    if (!CheckLocation(exeDir))
        return 0;

    QApplication::setFont(QFont(QStringLiteral("Microsoft YaHei")));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":nwu/logo")));
    if (QTextCodec *codec = QTextCodec::codecForLocale())
        qCDebug(lcStartup) << "Startup::Run locale codec" << codec->name() << codec->aliases();
    qCDebug(lcStartup) << "Startup::Run temporary folder" << tempDir;

    MainWindow window;
    window.show();
    return QApplication::exec();
}

} // namespace Startup
