// hdiutil for Linux:
//   hdiutil burn [-verbose] [-noverifyburn] [-device DEVICE] IMAGE
//       burns IMAGE to the disc in DEVICE (by default the first drive "drutil status" lists)
//       with xorriso -as cdrecord; only a blank disc is written, a disc that holds data is
//       refused;
//   hdiutil makehybrid -iso -joliet [-debug] [-ov] -o TARGET SOURCE
//       writes an ISO 9660 image with Joliet and Rock Ridge names of the folder SOURCE through
//       the mkisofs installed beside the program;
//   hdiutil eject DEVICE
//       unmounts the disc in DEVICE and ejects it.
// Progress is printed as lines "DRStatusPercentCompleteKey: 0.NN"; the exit status is the
// tool's.

#include "lib/probe.h"
#include "lib/system.h"
#include "lib/toolmain.h"
#include "services/linesplitter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <functional>

namespace {

int fail(const QString &message)
{
    Sys::Warn(QStringLiteral("hdiutil: ") + message);
    return 1;
}

// Runs a tool, passing its lines on and turning its progress lines into completion lines.
int runWithProgress(const QString &program, const QStringList &arguments,
                    const std::function<double(const QString &)> &progress)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForStarted(-1))
        return fail(program + QStringLiteral(" cannot be started"));
    process.closeWriteChannel();
    CLineSplitter splitter;
    auto say = [&](const QList<QByteArray> &lines) {
        for (const QByteArray &bytes : lines) {
            const QString line = QString::fromLocal8Bit(bytes);
            if (line.trimmed().isEmpty())
                continue;
            Sys::Say(line);
            const double fraction = progress(line);
            if (fraction >= 0)
                Sys::Say(Probe::ProgressLine(fraction));
        }
    };
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(200);
        say(splitter.Feed(process.readAll()));
    }
    say(splitter.Feed(process.readAll()));
    say(splitter.Finish());
    if (process.exitStatus() != QProcess::NormalExit)
        return fail(program + QStringLiteral(" crashed"));
    if (process.exitCode() == 0)
        Sys::Say(Probe::ProgressLine(1.0));
    return process.exitCode();
}

bool findDrive(const QString &node, Sys::OpticalDrive *found)
{
    for (const Sys::OpticalDrive &drive : Sys::OpticalDrives()) {
        if (drive.hasDisc && (node.isEmpty() || drive.node == node)) {
            *found = drive;
            return true;
        }
    }
    return false;
}

int burn(const QStringList &arguments)
{
    QString device;
    QString image;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("-device") && i + 1 < arguments.size())
            device = arguments.at(++i);
        else if (argument == QLatin1String("-verbose") || argument == QLatin1String("-noverifyburn")
                 || argument == QLatin1String("-debug"))
            continue;
        else if (image.isEmpty() && i == arguments.size() - 1)
            image = argument;
        else
            return fail(QStringLiteral("burn: unknown option ") + argument);
    }
    if (image.isEmpty() || !QFileInfo(image).isFile())
        return fail(QStringLiteral("burn: no image file: ") + image);
    Sys::OpticalDrive drive;
    if (!findDrive(device, &drive))
        return fail(device.isEmpty()
                        ? QStringLiteral("burn failed - no drive with a disc")
                        : QStringLiteral("burn failed - %1 is no drive with a disc").arg(device));
    // A rewritable disc that holds data would be overwritten without a word: only blank discs.
    const Sys::Result toc = Sys::Run(
        QStringLiteral("xorriso"),
        { QStringLiteral("-outdev"), Sys::XorrisoAddress(drive), QStringLiteral("-toc") }, {},
        60000);
    const Probe::BurnMedium medium
        = Probe::XorrisoMedium(QString::fromLocal8Bit(toc.out + '\n' + toc.err));
    if (medium == Probe::BurnMedium::Written)
        return fail(QStringLiteral("burn failed - the disc in %1 is not blank: it holds data. "
                                   "Erase it or insert a blank disc.")
                        .arg(drive.node));
    if (medium != Probe::BurnMedium::Blank)
        return fail(QStringLiteral("burn failed - the disc in %1 cannot be written (no blank "
                                   "disc found)")
                        .arg(drive.node));
    Sys::Say(QStringLiteral("Burning %1 to %2").arg(image, drive.node));
    return runWithProgress(QStringLiteral("xorriso"),
                           { QStringLiteral("-as"), QStringLiteral("cdrecord"),
                             QStringLiteral("-v"),
                             QStringLiteral("dev=") + Sys::XorrisoAddress(drive),
                             QFileInfo(image).absoluteFilePath() },
                           Probe::XorrisoProgress);
}

int makehybrid(const QStringList &arguments)
{
    QString target;
    QString source;
    bool overwrite = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString &argument = arguments.at(i);
        if (argument == QLatin1String("-o") && i + 1 < arguments.size())
            target = arguments.at(++i);
        else if (argument == QLatin1String("-ov"))
            overwrite = true;
        else if (argument == QLatin1String("-iso") || argument == QLatin1String("-joliet")
                 || argument == QLatin1String("-debug"))
            continue;
        else if (source.isEmpty() && i == arguments.size() - 1)
            source = argument;
        else
            return fail(QStringLiteral("makehybrid: unknown option ") + argument);
    }
    if (target.isEmpty())
        return fail(QStringLiteral("makehybrid: no target (-o TARGET)"));
    if (source.isEmpty() || !QFileInfo(source).isDir())
        return fail(QStringLiteral("makehybrid: the source is no folder: ") + source);
    if (QFileInfo::exists(target) && !overwrite)
        return fail(QStringLiteral("makehybrid: %1 exists (use -ov to replace it)").arg(target));
    const QString mkisofs
        = QCoreApplication::applicationDirPath() + QStringLiteral("/../cdrtools/mkisofs");
    QString volume
        = QFileInfo(QDir::cleanPath(QFileInfo(source).absoluteFilePath())).fileName().left(32);
    if (volume.isEmpty())
        volume = QStringLiteral("CDROM");
    return runWithProgress(QDir::cleanPath(mkisofs),
                           { QStringLiteral("-J"), QStringLiteral("-R"), QStringLiteral("-V"),
                             volume, QStringLiteral("-o"), QFileInfo(target).absoluteFilePath(),
                             QFileInfo(source).absoluteFilePath() },
                           Probe::MkisofsProgress);
}

int eject(const QStringList &arguments)
{
    if (arguments.size() != 2)
        return fail(QStringLiteral("usage: hdiutil eject DEVICE"));
    Sys::OpticalDrive drive;
    if (!findDrive(arguments.at(1), &drive))
        return fail(QStringLiteral("eject: %1 is no drive with a disc").arg(arguments.at(1)));
    for (const Probe::MountEntry &mount : Sys::MountsOf(drive.node)) {
        QString error;
        if (!Sys::Unmount(mount, &error))
            return fail(QStringLiteral("eject: %1 stays mounted: %2").arg(mount.mountPoint, error));
    }
    if (!Sys::TestOpticalDrives().isEmpty()) {
        Sys::Say(QStringLiteral("\"%1\" ejected.").arg(drive.node));
        return 0;
    }
    const Sys::Result result = Sys::Run(QStringLiteral("eject"), { drive.node });
    if (result.exitCode != 0)
        return fail(QStringLiteral("eject failed: ")
                    + QString::fromLocal8Bit(result.err).trimmed());
    Sys::Say(QStringLiteral("\"%1\" ejected.").arg(drive.node));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    return ToolMain::Run(argc, argv, QStringLiteral("hdiutil"),
                         { { QStringLiteral("burn"), burn },
                           { QStringLiteral("makehybrid"), makehybrid },
                           { QStringLiteral("eject"), eject } },
                         QStringLiteral("hdiutil burn|makehybrid|eject ..."));
}
