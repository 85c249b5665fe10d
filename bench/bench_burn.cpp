// Burn page time for a 1 GiB image onto a USB stick, against the bare steps it is made of.
//
// Needs root and a free loop device. Builds (once, cached in the system's temporary folder) an
// image of four 256 MiB files, takes a loop device over a 1.25 GiB file that the disk tools'
// test seam names as a USB stick, then prints, in the same run:
//   - the page's burn: from the press on Burn to its success message (format warning answered
//     at once): partition and format, boot helper, /syslinux.cfg, 7-Zip onto the volume, syncs;
//   - the bare steps on the same loop device: sfdisk, mkfs.fat -F 32, syslinux --install, and
//     7z x onto the volume mounted the same way (the mount itself is shown apart).
// Goal: the page takes at most 1.3 times the sum of the bare steps.
//
// Usage: bench_burn   (QT_QPA_PLATFORM=offscreen without a display)

#include "pages/cburndialog.h"
#include "services/sevenzip.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

bool run(const QString &program, const QStringList &args, QByteArray *out = nullptr,
         const QByteArray &input = {})
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    const bool ok
        = p.waitForFinished(-1) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    const QByteArray text = p.readAll();
    if (out)
        *out = text;
    if (!ok)
        std::fprintf(stderr, "failed: %s %s\n%s\n", qPrintable(program), qPrintable(args.join(' ')),
                     text.constData());
    return ok;
}

QString makeImage()
{
    const QString image = QDir::tempPath() + QStringLiteral("/vexlor-bench-burn-1g.iso");
    if (QFileInfo(image).size() > (1 << 30))
        return image;
    QTemporaryDir src;
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (int f = 0; f < 4; ++f) {
        QFile file(src.filePath(QStringLiteral("sources/part%1.bin").arg(f)));
        QDir().mkpath(QFileInfo(file).absolutePath());
        if (!file.open(QIODevice::WriteOnly))
            return QString();
        for (int m = 0; m < 256; ++m) {
            for (int i = 0; i < block.size(); ++i)
                block[i] = char((i * 131 + m * 7 + f) ^ (i >> 11));
            file.write(block);
        }
    }
    return run(QStringLiteral("genisoimage"), { "-quiet", "-J", "-R", "-o", image, src.path() })
        ? image
        : QString();
}

double seconds(const QElapsedTimer &t)
{
    return double(t.nsecsElapsed()) / 1e9;
}

// Times one bare step; -1 when it failed.
double timed(const QString &program, const QStringList &args, const QByteArray &input = {})
{
    QElapsedTimer t;
    t.start();
    return run(program, args, nullptr, input) ? seconds(t) : -1;
}

void unmountUnder(const QString &dir)
{
    QFile mounts(QStringLiteral("/proc/self/mounts"));
    if (!mounts.open(QIODevice::ReadOnly))
        return;
    for (const QByteArray &line : mounts.readAll().split('\n')) {
        const QList<QByteArray> f = line.split(' ');
        if (f.size() > 1 && QString::fromLocal8Bit(f.at(1)).startsWith(dir))
            run(QStringLiteral("umount"),
                { QString::fromLocal8Bit(f.at(1)).replace("\\040", " ") });
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vexlor.*=false"));
    if (::geteuid() != 0) {
        std::fprintf(stderr, "bench_burn needs root (loop devices)\n");
        return 1;
    }
    const QString image = makeImage();
    if (image.isEmpty())
        return 1;
    QTemporaryDir work;
    const QString media = work.filePath(QStringLiteral("media"));
    const QString stick = work.filePath(QStringLiteral("stick.img"));
    QFile(stick).open(QIODevice::WriteOnly);
    QFile::resize(stick, Q_INT64_C(1342177280));
    QByteArray out;
    if (!run(QStringLiteral("losetup"), { "-f", "--show", stick }, &out))
        return 1;
    const QString node = QString::fromLocal8Bit(out).trimmed();
    qputenv("VEXLOR_TEST_USB_DISKS", node.toLocal8Bit());
    qputenv("VEXLOR_TEST_MEDIA_DIR", QFile::encodeName(media));

    // The page's burn, prompts answered at once.
    double page = -1;
    {
        CBurnDialog dialog;
        dialog.show();
        dialog.findChild<QRadioButton *>(QStringLiteral("rusb"))->setChecked(true);
        dialog.findChild<QLineEdit *>(QStringLiteral("isofile"))->setText(image);
        bool succeeded = false;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            for (QWidget *w : QApplication::topLevelWidgets()) {
                if (w->metaObject() != &CommDialog::staticMetaObject || !w->isVisible())
                    continue;
                auto *label = w->findChild<QLabel *>(QStringLiteral("label"));
                succeeded = succeeded || (label && label->text() == "Burning Successfully...");
                if (label && !label->text().isEmpty() && !succeeded)
                    std::fprintf(stderr, "%s\n", qPrintable(label->text()));
                static_cast<CommDialog *>(w)->done(1);
            }
        });
        answer.start(5);
        QElapsedTimer t;
        t.start();
        dialog.onBurn();
        page = succeeded ? seconds(t) : -1;
    }
    unmountUnder(media);

    // The bare steps on the same device.
    const QString part = node + QStringLiteral("p1");
    const QString volume = work.filePath(QStringLiteral("bare"));
    QDir().mkpath(volume);
    const double sfdisk = timed(QStringLiteral("sfdisk"), { "--wipe", "always", node },
                                QByteArrayLiteral("label: dos\n,,c,*\n"));
    run(QStringLiteral("partx"), { "-u", node });
    const double mkfs = timed(QStringLiteral("mkfs.fat"), { "-F", "32", "-n", "BARE", part });
    run(QStringLiteral("mmd"), { "-i", part, "::/syslinux" });
    const double syslinux
        = timed(QStringLiteral("syslinux"), { "--install", "--directory", "/syslinux", part });
    QElapsedTimer mountClock;
    mountClock.start();
    // As the disk tools do: the kernel's vfat where there is one, else FUSE.
    QFile filesystems(QStringLiteral("/proc/filesystems"));
    const bool vfat
        = filesystems.open(QIODevice::ReadOnly) && filesystems.readAll().contains("\tvfat\n");
    if (vfat)
        run(QStringLiteral("mount"), { "-t", "vfat", part, volume });
    else
        run(QStringLiteral("fusefat"), { "-o", "rw+", part, volume });
    const double mount = seconds(mountClock);
    const double extract = timed(SevenZip::Program(), SevenZip::UnpackArgs(volume, image));
    const double sync = timed(QStringLiteral("sync"), {});
    unmountUnder(volume);
    run(QStringLiteral("losetup"), { "-d", node });

    const double bare = sfdisk + mkfs + syslinux + extract;
    std::printf("image %s (%.0f MiB) onto %s\n", qPrintable(image),
                double(QFileInfo(image).size()) / 1048576.0, qPrintable(node));
    std::printf("page burn            %8.2f s\n", page);
    std::printf("bare sfdisk          %8.2f s\n", sfdisk);
    std::printf("bare mkfs.fat        %8.2f s\n", mkfs);
    std::printf("bare syslinux        %8.2f s\n", syslinux);
    std::printf("bare 7z x            %8.2f s\n", extract);
    std::printf("bare steps, sum      %8.2f s   (mount %.2f s, sync %.2f s not counted)\n", bare,
                mount, sync);
    if (page < 0 || sfdisk < 0 || mkfs < 0 || syslinux < 0 || extract < 0) {
        std::printf("a step failed; no ratio\n");
        return 1;
    }
    std::printf("page / bare          %8.2f   (goal <= 1.30)\n", page / bare);
    return 0;
}
