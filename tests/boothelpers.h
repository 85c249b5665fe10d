#ifndef VEXLOR_BOOTHELPERS_H
#define VEXLOR_BOOTHELPERS_H

// Bootable test images and boot runs in qemu. The boot programs are built from the sources in
// tests/boot/ with nasm and grub-mkstandalone into a cache folder of the build tree
// (build/boot-fixtures), once; images are built with genisoimage from those programs; qemu
// boots them under TCG with the serial port on standard output, so that a test asserts the
// marker a program prints:
//   kBiosMarker    marker.bs: 512-byte boot sector at 0000:7C00 (no-emulation, diskette,
//                  isolinux KERNEL); ends qemu through isa-debug-exit (exit status 33)
//   kBootmgrMarker bootmgr: loaded at 2000:0000 by syslinux chain.c32 "ntldr=/bootmgr"; same end
//   kUefiMarker    BOOTX64.EFI: grub-mkstandalone image whose grub.cfg echoes the marker on the
//                  serial port and powers off (qemu exits 0)
// makeBootableImage() builds an ISO of one Kind; grubRescueImage() a grub-mkrescue hybrid image
// printing kBiosMarker or kUefiMarker by the firmware that started it; makeChainStick() a disk
// image file laid out as a burned stick (syslinux MBR, FAT32, chain.c32 to /bootmgr); boot() runs
// qemu on a CD, IDE disk or USB disk, with or without OVMF. VEXLOR_BOOT_LOG=FILE keeps the last
// run's serial output.

#include <QByteArray>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include "model/eltorito.h"
#include "testhelpers.h"

namespace BootHelpers {

using namespace TestHelpers;

const char *const kBiosMarker = "VEXLOR-BIOS-MARKER";
const char *const kBootmgrMarker = "VEXLOR-BOOTMGR-MARKER";
const char *const kUefiMarker = "VEXLOR-UEFI-MARKER";

const char *const kOvmfCode = "/usr/share/OVMF/OVMF_CODE_4M.fd";
const char *const kOvmfVars = "/usr/share/OVMF/OVMF_VARS_4M.fd";
const char *const kIsolinuxBin = "/usr/lib/ISOLINUX/isolinux.bin";
const char *const kLdlinux = "/usr/lib/syslinux/modules/bios/ldlinux.c32";

// tests/boot in the source tree (tests/CMakeLists.txt defines VEXLOR_TESTS_SOURCE_DIR).
inline QString sourceDir()
{
#ifdef VEXLOR_TESTS_SOURCE_DIR
    return QStringLiteral(VEXLOR_TESTS_SOURCE_DIR "/boot");
#else
    return QFileInfo(QString::fromUtf8(__FILE__)).absolutePath() + QStringLiteral("/boot");
#endif
}

// build/boot-fixtures: beside the folder of the test programs (build/bin).
inline QString cacheDir()
{
    const QString dir
        = QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/../boot-fixtures"))
              .absolutePath();
    QDir().mkpath(dir);
    return dir;
}

inline bool haveTool(const char *name)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(name)).isEmpty();
}

// Builds a cached file with maker(tempPath) once; another test program racing on the same
// file loses nothing (the file appears by rename). It is made again when a file of tests/boot
// or one of inputs is newer. Returns the path, or empty on failure.
template<typename Maker>
QString cached(const QString &name, Maker maker, const QStringList &inputs = {})
{
    const QString path = cacheDir() + QLatin1Char('/') + name;
    // Rebuilt when a source is newer than the cached file.
    const QFileInfo info(path);
    bool fresh = info.exists() && info.size() > 0;
    QFileInfoList sources = QDir(sourceDir()).entryInfoList(QDir::Files);
    for (const QString &input : inputs)
        sources << QFileInfo(input);
    for (const QFileInfo &src : sources)
        fresh = fresh && !(info.lastModified() < src.lastModified());
    if (fresh)
        return path;
    const QString temp = path + QStringLiteral(".%1.tmp").arg(QCoreApplication::applicationPid());
    QFile::remove(temp);
    if (!maker(temp)) {
        QFile::remove(temp);
        return QString();
    }
    QFile::remove(path);
    if (!QFile::rename(temp, path) && !QFileInfo::exists(path))
        return QString();
    QFile::remove(temp);
    return path;
}

inline QString nasmProgram(const QString &source, const QString &name)
{
    if (!haveTool("nasm"))
        return QString();
    return cached(name, [&](const QString &out) {
        return runCommand(QStringLiteral("nasm"),
                          { QStringLiteral("-f"), QStringLiteral("bin"), QStringLiteral("-o"), out,
                            sourceDir() + QLatin1Char('/') + source })
            .ok();
    });
}

// The 512-byte BIOS marker boot sector (empty when nasm is missing).
inline QString markerBootSector()
{
    return nasmProgram(QStringLiteral("marker.asm"), QStringLiteral("marker.bs"));
}

// The bootmgr stand-in for syslinux chain.c32 "ntldr=/bootmgr".
inline QString bootmgrProgram()
{
    return nasmProgram(QStringLiteral("bootmgr.asm"), QStringLiteral("bootmgr"));
}

// The UEFI marker program (empty when grub-mkstandalone is missing: skip UEFI tests then).
inline QString uefiMarkerProgram()
{
    if (!haveTool("grub-mkstandalone")
        || !QFileInfo::exists(sourceDir() + QStringLiteral("/grub.cfg")))
        return QString();
    return cached(QStringLiteral("BOOTX64.EFI"), [](const QString &out) {
        return runCommand(QStringLiteral("grub-mkstandalone"),
                          { QStringLiteral("-O"), QStringLiteral("x86_64-efi"),
                            QStringLiteral("-o"), out,
                            // Only the modules grub.cfg needs: 0.6 MB instead of 10 MB.
                            QStringLiteral(
                                "--install-modules=normal echo serial terminal halt configfile"),
                            QStringLiteral("--modules=serial terminal echo halt"),
                            QStringLiteral("--locales="), QStringLiteral("--fonts="),
                            QStringLiteral("--themes="),
                            QStringLiteral("boot/grub/grub.cfg=") + sourceDir()
                                + QStringLiteral("/grub.cfg") })
            .ok();
    });
}

// A FAT image holding EFI/BOOT/BOOTX64.EFI (the marker), as UEFI El Torito entries carry.
inline QString uefiFatImage()
{
    const QString efi = uefiMarkerProgram();
    if (efi.isEmpty() || !haveTool("mkfs.fat") || !haveTool("mcopy"))
        return QString();
    return cached(QStringLiteral("efi.img"),
                  [&](const QString &out) {
                      const qint64 kib = QFileInfo(efi).size() / 1024 + 1024;
                      return runCommand(QStringLiteral("mkfs.fat"),
                                        { QStringLiteral("-C"), out, QString::number(kib) })
                                 .ok()
                          && runCommand(QStringLiteral("mmd"),
                                        { QStringLiteral("-i"), out, QStringLiteral("::/EFI"),
                                          QStringLiteral("::/EFI/BOOT") })
                                 .ok()
                          && runCommand(QStringLiteral("mcopy"),
                                        { QStringLiteral("-i"), out, efi,
                                          QStringLiteral("::/EFI/BOOT/BOOTX64.EFI") })
                                 .ok();
                  },
                  { efi });
}

inline bool copyFile(const QString &from, const QString &to, qint64 padTo = 0)
{
    QFile in(from);
    QFile out(to);
    QDir().mkpath(QFileInfo(to).absolutePath());
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray data = in.readAll();
    if (padTo > data.size())
        data.append(QByteArray(int(padTo - data.size()), '\0'));
    return out.write(data) == data.size();
}

// A grub-mkrescue image whose grub.cfg prints kBiosMarker when GRUB was started by BIOS and
// kUefiMarker when started by UEFI, then halts. BIOS only, as rescue images for old machines
// are: GRUB's i386-pc core as the El Torito entry and a protective MBR with one partition of
// type 0xcd from sector 1. With uefi also the x86_64-efi loader in an EFI system partition,
// under a GPT. Empty when grub-mkrescue, its BIOS modules (grub-pc-bin), its UEFI modules,
// xorriso or mtools are missing.
inline QString grubRescueImage(bool uefi)
{
    const QString lib = QStringLiteral("/usr/lib/grub/");
    if (!haveTool("grub-mkrescue") || !haveTool("xorriso") || !haveTool("mformat")
        || !QFileInfo::exists(lib + QStringLiteral("i386-pc/boot_hybrid.img"))
        || (uefi && !QFileInfo::exists(lib + QStringLiteral("x86_64-efi/normal.mod"))))
        return QString();
    const QString name = uefi ? QStringLiteral("grub-rescue-bios-uefi.iso")
                              : QStringLiteral("grub-rescue-bios.iso");
    return cached(name, [&](const QString &out) {
        QTemporaryDir src;
        if (!writeFile(src.filePath(QStringLiteral("boot/grub/grub.cfg")),
                       QByteArray("serial --unit=0 --speed=115200\n"
                                  "terminal_output serial console\n"
                                  "if [ \"$grub_platform\" = efi ]; then echo ")
                           + kUefiMarker + "; else echo " + kBiosMarker + "; fi\nhalt\n"))
            return false;
        QStringList args { QStringLiteral("-o"), out,
                           // Only the modules grub.cfg needs.
                           QStringLiteral("--install-modules=normal echo serial terminal halt "
                                          "configfile test"),
                           QStringLiteral("--modules=serial terminal echo halt test"),
                           QStringLiteral("--locales="), QStringLiteral("--fonts="),
                           QStringLiteral("--themes=") };
        // Without a module folder it takes every platform installed (BIOS and UEFI here).
        if (!uefi)
            args << QStringLiteral("-d") << lib + QStringLiteral("i386-pc");
        return runCommand(QStringLiteral("grub-mkrescue"), args << src.path()).ok();
    });
}

enum class Kind {
    NoEmulation, // boot/marker.img, 4 sectors (2048 bytes), no emulation
    Diskette, // boot/floppy.img, 1.44 MB diskette whose first sector is the marker
    Isolinux, // isolinux/isolinux.bin (boot information table) + ldlinux.c32 + marker.bs
    HardDisk, // boot/hd.img, 2 MiB hard disk emulation: the marker is its MBR's boot code
    BiosAndUefi, // NoEmulation's entry, then a UEFI entry boot/efi.img
    UefiOnly, // boot/efi.img as the only (default) entry
};

inline bool needsUefi(Kind kind)
{
    return kind == Kind::BiosAndUefi || kind == Kind::UefiOnly;
}

// Puts the boot files of kind into srcDir (which may hold other files already) and builds
// isoPath from it with genisoimage and extraArgs ("-J", "-R", "-udf"...), catalog
// boot/boot.cat (isolinux/boot.cat for Isolinux). False with *error set when a tool or an
// input is missing or genisoimage fails.
inline bool makeBootableImage(Kind kind, const QString &srcDir, const QString &isoPath,
                              const QStringList &extraArgs = {}, QString *error = nullptr)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QString marker = markerBootSector();
    if (marker.isEmpty())
        return fail(QStringLiteral("nasm missing or failed"));
    QStringList boot;
    const QString bios = QStringLiteral("boot/marker.img");
    if (kind == Kind::NoEmulation || kind == Kind::BiosAndUefi) {
        if (!copyFile(marker, srcDir + QLatin1Char('/') + bios, 2048))
            return fail(QStringLiteral("cannot write the boot image"));
        boot << QStringLiteral("-c") << QStringLiteral("boot/boot.cat") << QStringLiteral("-b")
             << bios << QStringLiteral("-no-emul-boot") << QStringLiteral("-boot-load-size")
             << QStringLiteral("4");
    } else if (kind == Kind::Diskette) {
        if (!copyFile(marker, srcDir + QStringLiteral("/boot/floppy.img"), 1474560))
            return fail(QStringLiteral("cannot write the diskette image"));
        boot << QStringLiteral("-c") << QStringLiteral("boot/boot.cat") << QStringLiteral("-b")
             << QStringLiteral("boot/floppy.img");
    } else if (kind == Kind::HardDisk) {
        // The marker's code ends well before the partition table (byte 446), which sfdisk
        // writes over the copy without touching the code.
        const QString hd = srcDir + QStringLiteral("/boot/hd.img");
        if (!copyFile(marker, hd, 2 * 1024 * 1024) || !haveTool("sfdisk"))
            return fail(QStringLiteral("cannot write the hard disk image"));
        RunOptions table;
        table.input = "label: dos\nstart=63, type=c, bootable\n";
        if (!runCommand(QStringLiteral("sfdisk"),
                        { QStringLiteral("--no-reread"), QStringLiteral("--no-tell-kernel"),
                          QStringLiteral("-q"), hd },
                        table)
                 .ok())
            return fail(QStringLiteral("sfdisk failed on the hard disk image"));
        boot << QStringLiteral("-c") << QStringLiteral("boot/boot.cat") << QStringLiteral("-b")
             << QStringLiteral("boot/hd.img") << QStringLiteral("-hard-disk-boot");
    } else if (kind == Kind::Isolinux) {
        const QString dir = srcDir + QStringLiteral("/isolinux/");
        if (!copyFile(QString::fromLatin1(kIsolinuxBin), dir + QStringLiteral("isolinux.bin"))
            || !copyFile(QString::fromLatin1(kLdlinux), dir + QStringLiteral("ldlinux.c32"))
            || !copyFile(marker, dir + QStringLiteral("marker.bs"))
            || !writeFile(
                dir + QStringLiteral("isolinux.cfg"),
                "DEFAULT marker\nPROMPT 0\nTIMEOUT 0\nLABEL marker\n  KERNEL marker.bs\n"))
            return fail(QStringLiteral("isolinux files missing"));
        boot << QStringLiteral("-c") << QStringLiteral("isolinux/boot.cat") << QStringLiteral("-b")
             << QStringLiteral("isolinux/isolinux.bin") << QStringLiteral("-no-emul-boot")
             << QStringLiteral("-boot-load-size") << QStringLiteral("4")
             << QStringLiteral("-boot-info-table");
    }
    if (needsUefi(kind)) {
        const QString fat = uefiFatImage();
        if (fat.isEmpty() || !copyFile(fat, srcDir + QStringLiteral("/boot/efi.img")))
            return fail(QStringLiteral("grub-mkstandalone, mkfs.fat or mtools missing"));
        if (kind == Kind::UefiOnly)
            boot << QStringLiteral("-c") << QStringLiteral("boot/boot.cat");
        else
            boot << QStringLiteral("-eltorito-alt-boot");
        boot << QStringLiteral("-e") << QStringLiteral("boot/efi.img")
             << QStringLiteral("-no-emul-boot");
    }
    const CommandRun make
        = runCommand(QStringLiteral("genisoimage"),
                     QStringList { QStringLiteral("-quiet"), QStringLiteral("-o"), isoPath }
                         + extraArgs + boot + QStringList { srcDir });
    if (!make.ok())
        return fail(QStringLiteral("genisoimage: ") + make.text());
    return true;
}

// A disk image file (never a device) laid out as a burned stick: an MBR with the syslinux boot
// code, one active FAT32 partition from 1 MiB on, ldlinux.sys in /syslinux, chain.c32 and its
// libraries in /syslinux, the five-line /syslinux.cfg that chain-loads /bootmgr, and rootFiles
// (name in the volume root -> file on disk) copied to the volume root. Only files are written:
// the volume is made in a file of its own and copied into the disk file.
inline bool makeChainStick(const QString &diskPath, const QMap<QString, QString> &rootFiles,
                           QString *error = nullptr, int sizeMiB = 40)
{
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    for (const char *t : { "mkfs.fat", "mcopy", "mmd", "syslinux", "sfdisk" }) {
        if (!haveTool(t))
            return fail(QStringLiteral("%1 missing").arg(QLatin1String(t)));
    }
    const QString bios = QStringLiteral("/usr/lib/syslinux/modules/bios/");
    const QString part = diskPath + QStringLiteral(".part");
    const QString cfg = diskPath + QStringLiteral(".cfg");
    const qint64 partKiB = qint64(sizeMiB - 1) * 1024;
    QFile::remove(part);
    if (!writeFile(cfg,
                   "default boot\nLABEL boot\nMENU LABEL boot\nCOM32 /syslinux/chain.c32\n"
                   "APPEND fs ntldr=/bootmgr\n"))
        return fail(QStringLiteral("cannot write syslinux.cfg"));
    if (!runCommand(QStringLiteral("mkfs.fat"),
                    { QStringLiteral("-F"), QStringLiteral("32"), QStringLiteral("-C"), part,
                      QString::number(partKiB) })
             .ok()
        || !runCommand(QStringLiteral("mmd"),
                       { QStringLiteral("-i"), part, QStringLiteral("::/syslinux") })
                .ok()
        || !runCommand(QStringLiteral("syslinux"),
                       { QStringLiteral("--install"), QStringLiteral("--directory"),
                         QStringLiteral("/syslinux"), part })
                .ok()
        || !runCommand(QStringLiteral("mcopy"),
                       { QStringLiteral("-i"), part, bios + QStringLiteral("chain.c32"),
                         bios + QStringLiteral("libcom32.c32"),
                         bios + QStringLiteral("libutil.c32"), QStringLiteral("::/syslinux/") })
                .ok()
        || !runCommand(QStringLiteral("mcopy"),
                       { QStringLiteral("-i"), part, cfg, QStringLiteral("::/syslinux.cfg") })
                .ok())
        return fail(QStringLiteral("cannot make the FAT volume"));
    for (auto it = rootFiles.cbegin(); it != rootFiles.cend(); ++it) {
        if (!runCommand(
                 QStringLiteral("mcopy"),
                 { QStringLiteral("-i"), part, it.value(), QStringLiteral("::/") + it.key() })
                 .ok())
            return fail(QStringLiteral("cannot copy ") + it.key());
    }
    // The disk: the syslinux MBR, the volume at 1 MiB, then the partition table.
    QFile disk(diskPath);
    QFile mbr(QStringLiteral("/usr/lib/syslinux/mbr/mbr.bin"));
    QFile volume(part);
    if (!disk.open(QIODevice::WriteOnly | QIODevice::Truncate) || !mbr.open(QIODevice::ReadOnly)
        || !volume.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("cannot assemble the disk"));
    disk.write(mbr.read(440));
    disk.resize(qint64(sizeMiB) * 1024 * 1024);
    disk.seek(1024 * 1024);
    while (!volume.atEnd())
        disk.write(volume.read(1 << 20));
    disk.close();
    volume.close();
    QFile::remove(part);
    QFile::remove(cfg);
    RunOptions table;
    table.input = QStringLiteral("label: dos\nstart=2048, size=%1, type=c, bootable\n")
                      .arg(partKiB * 2)
                      .toLatin1();
    const CommandRun sfdisk = runCommand(
        QStringLiteral("sfdisk"),
        { QStringLiteral("--no-reread"), QStringLiteral("--no-tell-kernel"), diskPath }, table);
    return sfdisk.code == 0 || fail(QStringLiteral("sfdisk: ") + sfdisk.text());
}

// A catalog in one line: "section:platform:B or -:media:count:load sector" per entry.
inline QString catalogSummary(const ElTorito::Catalog &c)
{
    if (!c.valid)
        return QStringLiteral("invalid");
    QStringList parts;
    for (const ElTorito::BootEntry &e : c.entries)
        parts << QStringLiteral("%1:%2:%3:%4:%5:%6")
                     .arg(e.section)
                     .arg(e.platform, 0, 16)
                     .arg(e.bootable ? "B" : "-")
                     .arg(e.media)
                     .arg(e.sectorCount)
                     .arg(e.loadRba);
    return parts.join(QLatin1Char(' '));
}

// Files (not folders) of 7-Zip's listing of an image, with their sizes.
inline QMap<QString, qint64> imageListing(const QString &iso)
{
    QMap<QString, qint64> files;
    bool inTable = false;
    for (const QString &line : runCommand(QStringLiteral("7z"), { "l", iso }).text().split('\n')) {
        if (line.startsWith(QLatin1String("-------------------"))) {
            inTable = !inTable;
            continue;
        }
        if (inTable && line.size() > 53 && line.at(20) != 'D')
            files.insert(line.mid(53), line.mid(26, 12).trimmed().toLongLong());
    }
    return files;
}

struct BootResult
{
    int exitCode = -1; // qemu's status: 33 after isa-debug-exit, 0 after a power-off, 124 timeout
    QByteArray serial; // what the guest wrote to COM1
    bool has(const QByteArray &marker) const { return serial.contains(marker); }
};

enum class Medium { Cdrom, IdeDisk, UsbDisk };

// Boots image in qemu under TCG (bounded by timeoutSec through timeout(1)); with uefi, under
// OVMF with a fresh copy of the variable store (a boot takes 1-5 s on an idle machine; the
// bound is wide for a loaded one). Returns the serial output and exit status.
inline BootResult boot(const QString &image, Medium medium, bool uefi, int timeoutSec = 120)
{
    BootResult result;
    QTemporaryDir scratch;
    QStringList args { QString::number(timeoutSec),
                       QStringLiteral("qemu-system-x86_64"),
                       QStringLiteral("-accel"),
                       QStringLiteral("tcg"),
                       QStringLiteral("-m"),
                       QStringLiteral("256"),
                       QStringLiteral("-display"),
                       QStringLiteral("none"),
                       QStringLiteral("-monitor"),
                       QStringLiteral("none"),
                       QStringLiteral("-serial"),
                       QStringLiteral("stdio"),
                       QStringLiteral("-no-reboot"),
                       QStringLiteral("-device"),
                       QStringLiteral("isa-debug-exit,iobase=0xf4,iosize=0x04") };
    if (uefi) {
        const QString vars = scratch.filePath(QStringLiteral("vars.fd"));
        if (!QFile::copy(QString::fromLatin1(kOvmfVars), vars))
            return result;
        args << QStringLiteral("-drive")
             << QStringLiteral("if=pflash,format=raw,readonly=on,file=")
                + QString::fromLatin1(kOvmfCode)
             << QStringLiteral("-drive") << QStringLiteral("if=pflash,format=raw,file=") + vars;
    }
    // Commas in a file name are doubled for qemu's option parser.
    const QString file = QString(image).replace(QLatin1Char(','), QStringLiteral(",,"));
    switch (medium) {
    case Medium::Cdrom:
        args << QStringLiteral("-drive")
             << QStringLiteral("file=%1,format=raw,if=ide,media=cdrom,readonly=on").arg(file)
             << QStringLiteral("-boot") << QStringLiteral("d");
        break;
    case Medium::IdeDisk:
        args << QStringLiteral("-drive") << QStringLiteral("file=%1,format=raw,if=ide").arg(file)
             << QStringLiteral("-boot") << QStringLiteral("c");
        break;
    case Medium::UsbDisk:
        args << QStringLiteral("-drive")
             << QStringLiteral("file=%1,format=raw,if=none,id=usb0").arg(file)
             << QStringLiteral("-device") << QStringLiteral("qemu-xhci")
             << QStringLiteral("-device") << QStringLiteral("usb-storage,drive=usb0,bootindex=0");
        break;
    }
    RunOptions options;
    options.timeoutMs = (timeoutSec + 10) * 1000;
    options.separateErrors = true;
    const CommandRun qemu = runCommand(QStringLiteral("timeout"), args, options);
    result.serial = qemu.output;
    result.exitCode = qemu.code;
    // VEXLOR_BOOT_LOG=FILE keeps the last run's command line and serial output for a look.
    if (qEnvironmentVariableIsSet("VEXLOR_BOOT_LOG"))
        writeFile(qEnvironmentVariable("VEXLOR_BOOT_LOG"),
                  args.join(QLatin1Char(' ')).toLocal8Bit() + "\n" + qemu.output + qemu.errors);
    return result;
}

} // namespace BootHelpers

#endif // VEXLOR_BOOTHELPERS_H
