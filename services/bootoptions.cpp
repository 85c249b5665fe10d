#include "services/bootoptions.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <QSet>

Q_LOGGING_CATEGORY(lcBootOptions, "vexlor.bootoptions", QtWarningMsg)

namespace BootOptions {

namespace {

// mkisofs matches "-hide" arguments as shell patterns.
QString escapeGlob(const QString &text)
{
    QString out;
    for (const QChar c : text) {
        if (c == QLatin1Char('*') || c == QLatin1Char('?') || c == QLatin1Char('[')
            || c == QLatin1Char(']') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

} // namespace

Result Build(const ElTorito::Catalog &catalog, const ElTorito::ExtentMap &extents,
             const QString &sourceDir, const std::function<bool(const QString &)> &exists)
{
    Result r;
    r.sourceArg = sourceDir;
    while (r.sourceArg.size() > 1 && r.sourceArg.endsWith(QLatin1Char('/')))
        r.sourceArg.chop(1);
    if (!catalog.valid)
        return r;
    r.catalogPath = extents.fileAt(catalog.sector);

    // A name at the top of the working folder that no file of the tree has: "boot.bin", else
    // "boot (2).bin" and so on. The old catalog is left out of the tree, so its name is free.
    QSet<QString> taken;
    for (const QString &path : extents.files) {
        if (path != r.catalogPath && !path.contains(QLatin1Char('/')))
            taken.insert(path.toCaseFolded());
    }
    auto freeName = [&](const QString &stem, const QString &suffix) {
        for (int n = 1;; ++n) {
            const QString name
                = n == 1 ? stem + suffix : QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(suffix);
            if (!taken.contains(name.toCaseFolded()) && !(exists && exists(name))) {
                taken.insert(name.toCaseFolded());
                return name;
            }
        }
    };
    r.catalogName = freeName(QStringLiteral("boot"), QStringLiteral(".catalog"));

    QStringList entryArgs;
    for (int i = 0; i < catalog.entries.size(); ++i) {
        const ElTorito::BootEntry &e = catalog.entries.at(i);
        if (!e.bootable)
            continue;
        if (e.platform != ElTorito::PlatformBios && e.platform != ElTorito::PlatformEfi) {
            qCDebug(lcBootOptions) << "entry" << i << "for platform" << e.platform << "dropped";
            ++r.dropped;
            continue;
        }
        QString file = extents.fileAt(e.loadRba);
        if (file == r.catalogPath || (exists && !file.isEmpty() && !exists(file)))
            file.clear(); // (deleted or renamed since the image was loaded)
        const bool efi = e.platform == ElTorito::PlatformEfi;
        const bool useListed
            = !file.isEmpty() && (efi || e.hasBootInfoTable || e.media == ElTorito::HardDisk);
        if (!useListed) {
            if (e.imageSize() <= 0) {
                qCDebug(lcBootOptions) << "entry" << i << "has no data to carry over";
                ++r.dropped;
                continue;
            }
            file = (!efi && !r.bios)
                ? freeName(QStringLiteral("boot"), QStringLiteral(".bin"))
                : freeName(QStringLiteral("boot-%1").arg(i), QStringLiteral(".img"));
            r.files.append({ file, e });
            r.hidden << file;
        } else if (!r.bootImagePaths.contains(file)) {
            r.bootImagePaths << file;
        }

        if (r.entries > 0)
            entryArgs << QStringLiteral("-eltorito-alt-boot");
        ++r.entries;
        if (efi) {
            entryArgs << QStringLiteral("-e") << file << QStringLiteral("-no-emul-boot");
            r.efi = true;
            continue;
        }
        r.bios = true;
        entryArgs << QStringLiteral("-b") << file;
        if (e.media == ElTorito::HardDisk) {
            entryArgs << QStringLiteral("-hard-disk-boot");
        } else if (!e.isDiskette()) {
            entryArgs << QStringLiteral("-no-emul-boot");
            if (e.sectorCount > 0)
                entryArgs << QStringLiteral("-boot-load-size") << QString::number(e.sectorCount);
        }
        if (e.loadSegment != 0 && e.loadSegment != 0x7C0)
            entryArgs << QStringLiteral("-boot-load-seg") << QString::number(e.loadSegment);
        if (e.hasBootInfoTable)
            entryArgs << QStringLiteral("-boot-info-table");
    }
    if (r.entries == 0)
        return r;

    r.hidden.prepend(r.catalogName);
    if (!r.catalogPath.isEmpty() && !r.hidden.contains(r.catalogPath))
        r.hidden << r.catalogPath;
    r.args << QStringLiteral("-c") << r.catalogName;
    for (const QString &h : qAsConst(r.hidden)) {
        const QString pattern = escapeGlob(r.sourceArg + QLatin1Char('/') + h);
        r.args << QStringLiteral("-hide") << pattern << QStringLiteral("-hide-joliet") << pattern;
    }
    r.args << entryArgs;
    return r;
}

bool WriteBootFiles(const Result &result, const QString &isoPath, const QString &workDir)
{
    for (const BootFile &f : result.files) {
        const QByteArray data = ElTorito::ReadBootImage(isoPath, f.entry);
        QFile out(QDir(workDir).filePath(f.name));
        if (data.isEmpty() || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || out.write(data) != data.size() || !out.flush()) {
            qCDebug(lcBootOptions) << "cannot write" << out.fileName() << out.errorString();
            out.remove();
            return false;
        }
    }
    return true;
}

} // namespace BootOptions
