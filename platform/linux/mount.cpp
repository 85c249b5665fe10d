// mount for Linux, listing only: one line per mounted file system,
// "DEVICE on MOUNTPOINT (TYPE, OPTION, ...)", read from /proc/self/mountinfo with its escapes
// decoded (a blank in a mount point is printed as a blank).

#include "lib/probe.h"
#include "lib/system.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (app.arguments().size() != 1) {
        Sys::Warn(QStringLiteral("mount: only lists the mounted file systems (no arguments)"));
        return 1;
    }
    for (const Probe::MountEntry &entry : Sys::Mounts())
        Sys::Say(Probe::MountLine(entry));
    return 0;
}
