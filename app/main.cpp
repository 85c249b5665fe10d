#include "app/startup.h"
#include "services/logging.h"
#include "services/util.h"

#include <QApplication>
#include <QDebug>
#include <QPixmapCache>

#include <sys/stat.h>

int main(int argc, char *argv[])
{
    // Files and folders the program creates get the permissions their creating call asks for.
    umask(0);
    // The per-user folders are named after the application.
    QCoreApplication::setApplicationName(QStringLiteral("Vexlor"));
    QApplication app(argc, argv);
    // Room for the window backgrounds of the home window and every page.
    QPixmapCache::setCacheLimit(32 * 1024);

    const QString tempDir = Util::GetTempDir();
    qCDebug(lcStartup) << "main temporary folder" << tempDir;
    return Startup::Run(Util::GetCurrentExePath(), tempDir);
}
