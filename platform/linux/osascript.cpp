// osascript for Linux: runs one shell command with administrator rights. It accepts only
//   osascript -e 'do shell script "CMD" with administrator privileges'
// with CMD an AppleScript string literal; the escapes are undone and CMD runs under /bin/sh,
// directly when already root, else through pkexec, which has the desktop ask the user.
// The exit status is the command's.

#include "lib/probe.h"
#include "lib/system.h"

#include <QCoreApplication>
#include <QFile>

#include <unistd.h>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    QString command;
    if (arguments.size() != 2 || arguments.at(0) != QLatin1String("-e")
        || !Probe::ParseAdminScript(arguments.at(1), &command)) {
        Sys::Warn(
            QStringLiteral("osascript: only -e 'do shell script \"COMMAND\" with administrator "
                           "privileges' is supported"));
        return 1;
    }
    const QByteArray script = command.toUtf8();
    if (Sys::IsRoot()) {
        execl("/bin/sh", "sh", "-c", script.constData(), static_cast<char *>(nullptr));
    } else {
        execlp("pkexec", "pkexec", "/bin/sh", "-c", script.constData(),
               static_cast<char *>(nullptr));
    }
    Sys::Warn(QStringLiteral("osascript: the command could not be started"));
    return 127;
}
