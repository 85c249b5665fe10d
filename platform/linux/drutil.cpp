// drutil status for Linux: for each optical drive that holds a disc (by the drive's own media
// status; an empty drive may still report a size), the header line, the drive's vendor, product
// and revision, and its type and device node:
//
//  Vendor   Product           Rev
//  HL-DT-ST DVDRAM GH24NSD1   LG00
//
//            Type: DVD-RW               Name: /dev/sr0

#include "lib/system.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments != QStringList { QStringLiteral("status") }) {
        Sys::Warn(QStringLiteral("drutil: usage: drutil status"));
        return 1;
    }
    for (const Sys::OpticalDrive &drive : Sys::OpticalDrives()) {
        if (!drive.hasDisc)
            continue;
        Sys::Say(QStringLiteral(" Vendor   Product           Rev "));
        Sys::Say(QStringLiteral(" %1 %2 %3")
                     .arg(drive.vendor.isEmpty() ? QStringLiteral("-") : drive.vendor, -8)
                     .arg(drive.product.isEmpty() ? QStringLiteral("-") : drive.product, -17)
                     .arg(drive.revision.isEmpty() ? QStringLiteral("-") : drive.revision));
        Sys::Say(QString());
        Sys::Say(
            QStringLiteral("           Type: %1 Name: %2").arg(drive.type, -18).arg(drive.node));
        Sys::Say(QString());
    }
    return 0;
}
