// Burn page time for a 1 GiB image onto a USB stick, against the bare steps it is made of.
//
// Needs root and a free loop device. Builds (once, cached in the system's temporary folder) an
// image of four 256 MiB files and its files beside it, then runs three rounds, each on fresh
// 1.25 GiB stick files behind a loop device that the disk tools' test seam names as a USB stick,
// the page and the bare steps taking turns at going first:
//   - the page's burn: from the press on Burn to its success message (format warning answered
//     at once): partition and format, boot helper, /syslinux.cfg, 7-Zip onto the volume, the
//     flush and the read-back of every file;
//   - the bare steps: sfdisk, mkfs.fat -F 32, syslinux --install, the mount (vfat, or FUSE where
//     the kernel has none), 7z x onto it, the same flushes (sync -f, blockdev --flushbufs) and
//     a read-back cmp of every file against the image's files.
// Prints the median of each. Goal: the page takes at most 1.5 times the bare steps.
// A second row does the same for the disk-image route: the same image made hybrid (a partition
// table in its first sector, as isohybrid writes it) burnt by the page, against a bare
// "dd bs=4M oflag=direct conv=fsync" plus a read-back cmp onto the same kind of stick. Goal: at
// most 1.1 times.
// A third row splits a 4.3 GiB Windows installation image (sources/install.wim of 44 files of
// 100 MiB of random bytes, uncompressed, in an image made with xorrisofs -iso-level 3) onto the FAT
// volume of a fresh 6 GiB stick, as the Burn page does it (read in place through a loop device
// over the image's bytes, or taken out of the image where that cannot be had; split into parts
// the volume holds; the parts flushed and checked), against a bare "wimlib-imagex split" of the
// same file, kept beside the image, into the same place with the same part size. Goal: at most
// 1.2 times. The two files (9 GiB) and any copy of the installation image are kept in the
// system's temporary folder: point TMPDIR at a roomy disk.
//
// Usage: bench_burn [files|image|wim [STICKDIR]]   (every row without an argument; the sticks'
// files below STICKDIR when given)
//
// QT_QPA_PLATFORM=offscreen without a display.

#include "logic/burnlogic.h"
#include "pages/cburndialog.h"
#include "services/sevenzip.h"
#include "services/wimlib.h"
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

#include <algorithm>
#include <cstdio>
#include <functional>
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

struct Stick
{
    QString file, node;
    Stick(const QString &path, qint64 size)
        : file(path)
    {
        QFile(path).remove();
        QFile f(path);
        QByteArray out;
        if (f.open(QIODevice::WriteOnly) && f.resize(size)
            && run(QStringLiteral("losetup"), { "-f", "--show", path }, &out))
            node = QString::fromLocal8Bit(out).trimmed();
    }
    ~Stick()
    {
        if (!node.isEmpty()) {
            // The kernel's partitions of the stick, if it has any (the bare dd leaves none).
            const QString name = QFileInfo(node).fileName();
            if (QFileInfo::exists(QStringLiteral("/sys/block/%1/%1p1").arg(name)))
                run(QStringLiteral("partx"), { "-d", node });
            run(QStringLiteral("losetup"), { "-d", node });
        }
        QFile::remove(file);
    }
};

// The page's burn, prompts answered at once; -1 when it did not succeed.
double pageBurn(const QString &image, const QString &node, const QString &media)
{
    qputenv("VEXLOR_TEST_USB_DISKS", node.toLocal8Bit());
    qputenv("VEXLOR_TEST_MEDIA_DIR", QFile::encodeName(media));
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
    return page;
}

// One FAT32 partition over the whole stick, mounted at volume as the disk tools do it: the
// kernel's vfat where there is one, else FUSE. syslinux goes on it when asked.
bool makeFatVolume(const QString &node, const QString &volume, bool syslinux)
{
    const QString part = node + QStringLiteral("p1");
    QDir().mkpath(volume);
    bool ok = run(QStringLiteral("sfdisk"), { "--wipe", "always", node }, nullptr,
                  QByteArrayLiteral("label: dos\n,,c,*\n"));
    run(QStringLiteral("partx"), { "-u", node });
    ok = ok && run(QStringLiteral("mkfs.fat"), { "-F", "32", "-n", "BARE", part });
    if (syslinux) {
        run(QStringLiteral("mmd"), { "-i", part, "::/syslinux" });
        ok = ok
            && run(QStringLiteral("syslinux"), { "--install", "--directory", "/syslinux", part });
    }
    QFile filesystems(QStringLiteral("/proc/filesystems"));
    const bool vfat
        = filesystems.open(QIODevice::ReadOnly) && filesystems.readAll().contains("\tvfat\n");
    if (vfat)
        return ok && run(QStringLiteral("mount"), { "-t", "vfat", part, volume });
    return ok && run(QStringLiteral("fusefat"), { "-o", "rw+", part, volume });
}

// The bare steps on the device; -1 when one failed.
double bareBurn(const QString &image, const QString &files, const QString &node,
                const QString &volume)
{
    QElapsedTimer t;
    t.start();
    bool ok = makeFatVolume(node, volume, true);
    ok = ok && run(SevenZip::Program(), SevenZip::UnpackArgs(volume, image));
    ok = ok && run(QStringLiteral("sync"), { "-f", volume });
    run(QStringLiteral("blockdev"), { "--flushbufs", node + QStringLiteral("p1") });
    for (int f = 0; ok && f < 4; ++f) {
        const QString name = QStringLiteral("/sources/part%1.bin").arg(f);
        ok = run(QStringLiteral("cmp"), { files + name, volume + name });
    }
    const double bare = ok ? seconds(t) : -1;
    unmountUnder(volume);
    return bare;
}

// The installation image and an image holding it as sources/install.wim beside a /bootmgr,
// made once; empty strings when a step failed.
QPair<QString, QString> makeWindowsImage()
{
    const QString base = QDir::tempPath() + QStringLiteral("/vexlor-bench-burn-install");
    const QString wim = base + QStringLiteral(".wim"), image = base + QStringLiteral(".iso");
    const int files = 44;
    const qint64 fileSize = Q_INT64_C(100) << 20;
    if (QFileInfo(wim).size() < files * fileSize) {
        // Random bytes, so that nothing along the way gains by compressing.
        QTemporaryDir content(base + QStringLiteral("-content-XXXXXX"));
        QFile random(QStringLiteral("/dev/urandom"));
        if (!random.open(QIODevice::ReadOnly))
            return {};
        for (int f = 0; f < files; ++f) {
            QFile file(content.filePath(QStringLiteral("data%1.bin").arg(f)));
            if (!file.open(QIODevice::WriteOnly))
                return {};
            for (qint64 done = 0; done < fileSize; done += 1 << 20)
                file.write(random.read(1 << 20));
        }
        QFile::remove(wim);
        if (!run(QStringLiteral("wimlib-imagex"),
                 { "capture", content.path(), wim, "--compress=none" }))
            return {};
        QFile::remove(image);
    }
    if (QFileInfo(image).size() < QFileInfo(wim).size()) {
        QTemporaryDir tree(base + QStringLiteral("-tree-XXXXXX"));
        QDir().mkpath(tree.filePath(QStringLiteral("sources")));
        QFile bootmgr(tree.filePath(QStringLiteral("bootmgr")));
        if (!bootmgr.open(QIODevice::WriteOnly) || bootmgr.write("bootmgr\n") < 0
            || !QFile::link(wim, tree.filePath(QStringLiteral("sources/install.wim"))))
            return {};
        bootmgr.close();
        if (!run(QStringLiteral("xorriso"),
                 { "-as", "mkisofs", "-quiet", "-follow-links", "-iso-level", "3", "-o", image,
                   tree.path() }))
            return {};
    }
    return { wim, image };
}

// The page's split onto a fresh FAT volume on the stick; -1 when it failed. Prints the route
// and the time of each stage.
double pageSplit(const QString &image, qint64 wimSize, const QString &node, const QString &volume,
                 const QString &scratch)
{
    if (!makeFatVolume(node, volume, false))
        return -1;
    Wimlib::SplitJob job;
    job.image = image;
    job.entry = QStringLiteral("sources/install.wim");
    job.size = wimSize;
    job.volume = volume;
    job.scratch = scratch;
    const QString partition = node + QStringLiteral("p1");
    job.flush = [&] {
        return BurnLogic::FlushVolume(volume, partition);
    }; // as the burn does
    QElapsedTimer t;
    t.start();
    job.partMiB = Wimlib::PartMiB(Wimlib::VolumeFileLimit(volume));
    QList<QPair<Wimlib::Stage, double>> stages;
    Wimlib::Route route = Wimlib::Route::CopiedOut;
    const CRunOutcome end = Wimlib::SplitOnto(
        job,
        [&](Wimlib::Stage stage, int) {
            if (stages.isEmpty() || stages.last().first != stage)
                stages.append({ stage, seconds(t) });
        },
        &route);
    const double page = end.Ok() ? seconds(t) : -1;
    if (!end.Ok())
        std::fprintf(stderr, "%s\n", qPrintable(end.ErrorSummary(3)));
    static const char *const names[] = { "copy out", "split", "check" };
    std::printf("  %s:", route == Wimlib::Route::InPlace ? "in place" : "copied out");
    for (int i = 0; i < stages.size(); ++i)
        std::printf(" %s %.0f s", names[int(stages.at(i).first)],
                    (i + 1 < stages.size() ? stages.at(i + 1).second : seconds(t))
                        - stages.at(i).second);
    std::printf("\n");
    unmountUnder(volume);
    return page;
}

// The bare split of the same file into the same place; -1 when it failed.
double bareSplit(const QString &wim, const QString &node, const QString &volume)
{
    if (!makeFatVolume(node, volume, false))
        return -1;
    const int partMiB = Wimlib::PartMiB(Wimlib::VolumeFileLimit(volume));
    QElapsedTimer t;
    t.start();
    const bool ok = QDir().mkpath(volume + QStringLiteral("/sources"))
        && run(QStringLiteral("wimlib-imagex"),
               { "split", wim, volume + QStringLiteral("/sources/install.swm"),
                 QString::number(partMiB) });
    const double bare = ok ? seconds(t) : -1;
    unmountUnder(volume);
    return bare;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? -1 : values.at(values.size() / 2);
}

} // namespace

// The image with a partition table in its first sector: one bootable entry of type 0x17 from
// sector 0 over the whole image, as isohybrid makes it (the ISO's system area is unused).
QString makeHybrid(const QString &image)
{
    const QString hybrid = image + QStringLiteral(".hybrid.iso");
    if (QFileInfo(hybrid).size() == QFileInfo(image).size())
        return hybrid;
    QFile::remove(hybrid);
    if (!QFile::copy(image, hybrid))
        return QString();
    QFile file(hybrid);
    if (!file.open(QIODevice::ReadWrite))
        return QString();
    QByteArray mbr(512, '\0');
    const quint32 sectors = quint32(file.size() / 512);
    mbr[446] = char(0x80);
    mbr[450] = char(0x17);
    for (int i = 0; i < 4; ++i)
        mbr[458 + i] = char(sectors >> (8 * i));
    mbr[510] = char(0x55);
    mbr[511] = char(0xaa);
    file.write(mbr);
    return hybrid;
}

double bareImage(const QString &image, const QString &node)
{
    QElapsedTimer t;
    t.start();
    const bool ok
        = run(QStringLiteral("dd"),
              { "if=" + image, "of=" + node, "bs=4M", "oflag=direct", "conv=fsync", "status=none" })
        && run(QStringLiteral("cmp"),
               { "-n", QString::number(QFileInfo(image).size()), image, node });
    return ok ? seconds(t) : -1;
}

// Three rounds of page against bare, each on fresh sticks, the two taking turns at going
// first; prints the medians and the ratio.
bool measure(const char *name, double goal, const QString &work,
             const std::function<double(const QString &)> &page,
             const std::function<double(const QString &)> &bare,
             qint64 stickSize = Q_INT64_C(1342177280))
{
    QList<double> pages, bares;
    for (int round = 0; round < 3; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const bool isPage = (round + turn) % 2 == 0;
            Stick stick(work + QStringLiteral("/stick%1%2.img").arg(round).arg(turn), stickSize);
            if (stick.node.isEmpty())
                return false;
            const double time = isPage ? page(stick.node) : bare(stick.node);
            std::printf("%s round %d %-5s %8.2f s\n", name, round + 1, isPage ? "page" : "bare",
                        time);
            std::fflush(stdout);
            if (time < 0) {
                std::printf("a step failed; no ratio\n");
                return false;
            }
            (isPage ? pages : bares) << time;
        }
    }
    std::printf("%-10s page, median of 3   %8.2f s\n", name, median(pages));
    std::printf("%-10s bare, median of 3   %8.2f s\n", name, median(bares));
    std::printf("%-10s page / bare         %8.2f   (goal <= %.2f)\n", name,
                median(pages) / median(bares), goal);
    return true;
}

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("vexlor.*=false"));
    if (::geteuid() != 0) {
        std::fprintf(stderr, "bench_burn needs root (loop devices)\n");
        return 1;
    }
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    // The sticks' files go below the folder given second (tmpfs keeps the disk out of the
    // figures), else into the system's temporary folder.
    QTemporaryDir work(argc > 2
                           ? QString::fromLocal8Bit(argv[2]) + QStringLiteral("/bench_burn-XXXXXX")
                           : QDir::tempPath() + QStringLiteral("/bench_burn-XXXXXX"));
    const QString media = work.filePath(QStringLiteral("media"));
    QString image;
    if (only.isEmpty() || only == QLatin1String("files") || only == QLatin1String("image")) {
        image = makeImage();
        if (image.isEmpty())
            return 1;
        std::printf("image %s (%.0f MiB)\n", qPrintable(image),
                    double(QFileInfo(image).size()) / 1048576.0);
    }
    if (only.isEmpty() || only == QLatin1String("files")) {
        // The image's own files, for the bare read-back.
        const QString files = image + QStringLiteral(".files");
        if (!QFileInfo::exists(files + QStringLiteral("/sources/part3.bin"))
            && !run(SevenZip::Program(), { "x", "-y", "-o" + files, "--", image }))
            return 1;
        const QString bare = work.filePath(QStringLiteral("bare"));
        if (!measure(
                "files", 1.5, work.path(),
                [&](const QString &node) { return pageBurn(image, node, media); },
                [&](const QString &node) { return bareBurn(image, files, node, bare); }))
            return 1;
    }
    if (only.isEmpty() || only == QLatin1String("image")) {
        const QString hybrid = makeHybrid(image);
        if (hybrid.isEmpty()
            || !measure(
                "disk image", 1.1, work.path(),
                [&](const QString &node) { return pageBurn(hybrid, node, media); },
                [&](const QString &node) { return bareImage(hybrid, node); }))
            return 1;
    }
    if (only.isEmpty() || only == QLatin1String("wim")) {
        const QPair<QString, QString> windows = makeWindowsImage();
        if (windows.first.isEmpty())
            return 1;
        std::printf("installation image %s (%.0f MiB) in %s\n", qPrintable(windows.first),
                    double(QFileInfo(windows.first).size()) / 1048576.0,
                    qPrintable(windows.second));
        const QString volume = work.filePath(QStringLiteral("volume"));
        QTemporaryDir scratchDir; // the file taken out of the image, beside the image
        const QString scratch = scratchDir.filePath(QStringLiteral("wimsplit"));
        if (!measure(
                "wim split", 1.2, work.path(),
                [&](const QString &node) {
                    return pageSplit(windows.second, QFileInfo(windows.first).size(), node, volume,
                                     scratch);
                },
                [&](const QString &node) { return bareSplit(windows.first, node, volume); },
                Q_INT64_C(6) << 30))
            return 1;
    }
    return 0;
}
