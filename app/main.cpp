#include "app/startup.h"
#include "services/logging.h"
#include "services/util.h"

#include <QApplication>
#include <QDebug>
#include <QPixmapCache>

int main(int argc, char *argv[])
{
    Startup::PrepareProcess();
    QApplication app(argc, argv);
    // Room for the window backgrounds of the home window and every page.
    QPixmapCache::setCacheLimit(32 * 1024);

    const QString tempDir = Util::GetTempDir();
    qCDebug(lcStartup) << "main temporary folder" << tempDir;
    return Startup::Run(Util::GetCurrentExePath(), tempDir);
}
