// skingen: draws the skin of the application and writes the resource bundle's description.
//
//   skingen <outdir> [<textdir>]
//
// Writes every picture of the skin table as <outdir>/nwu/<name>.png, the window icon as
// <outdir>/nwu/logo.ico and <outdir>/qss.qrc, which lists them under the prefix /nwu with
// names without extension, together with the two style-sheet texts "qss" and "qss.qss" of
// <textdir> (by default the resources folder of the source tree). Runs on the offscreen
// platform; needs the "DejaVu Sans" font.

#include "skinpainter.h"
#include "skintable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGuiApplication>
#include <QImageWriter>
#include <QSet>
#include <QTextStream>

#include <cstdio>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "skingen: %s\n", qPrintable(message));
    return 1;
}

QString xmlEscaped(const QString &s)
{
    return s.toHtmlEscaped();
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() < 2 || args.size() > 3)
        return fail(QStringLiteral("usage: skingen <outdir> [<textdir>]"));
    const QString outDir = QDir(args.at(1)).absolutePath();
    const QString textDir
        = QDir(args.size() > 2 ? args.at(2) : QStringLiteral(SKINGEN_TEXT_DIR)).absolutePath();

    const QFontInfo fontInfo(QFont(QStringLiteral("DejaVu Sans")));
    if (fontInfo.family() != QLatin1String("DejaVu Sans")) {
        return fail(QStringLiteral("font \"DejaVu Sans\" not found (got \"%1\"); install "
                                   "fonts-dejavu-core")
                        .arg(fontInfo.family()));
    }

    const QString imageDir = outDir + QStringLiteral("/nwu");
    if (!QDir().mkpath(imageDir))
        return fail(QStringLiteral("cannot create %1").arg(imageDir));

    const QStringList texts { QStringLiteral("qss"), QStringLiteral("qss.qss") };
    for (const QString &t : texts) {
        if (!QFileInfo(textDir + QLatin1Char('/') + t).isFile())
            return fail(QStringLiteral("style sheet %1 missing in %2").arg(t, textDir));
    }

    QStringList lines;
    lines << QStringLiteral("<!DOCTYPE RCC><RCC version=\"1.0\">")
          << QStringLiteral("<qresource prefix=\"/nwu\">");

    QSet<QString> names;
    const QList<Skin::Entry> entries = Skin::entries();
    for (const Skin::Entry &entry : entries) {
        if (names.contains(entry.name))
            return fail(QStringLiteral("entry %1 listed twice").arg(entry.name));
        names.insert(entry.name);
        const QImage image = Skin::paint(entry);
        if (image.size() != entry.size)
            return fail(QStringLiteral("entry %1 drawn at the wrong size").arg(entry.name));
        const QString file = QStringLiteral("nwu/%1.png").arg(entry.name);
        QImageWriter writer(outDir + QLatin1Char('/') + file, "png");
        if (!writer.write(image))
            return fail(QStringLiteral("cannot write %1: %2").arg(file, writer.errorString()));
        lines << QStringLiteral("    <file alias=\"%1\">%2</file>")
                     .arg(xmlEscaped(entry.name), xmlEscaped(file));
    }

    // The window icon, in the Windows icon format.
    {
        const QString file = QStringLiteral("nwu/logo.ico");
        QImageWriter writer(outDir + QLatin1Char('/') + file, "ico");
        if (!writer.write(Skin::paintLogo(128)))
            return fail(QStringLiteral("cannot write %1: %2").arg(file, writer.errorString()));
        lines << QStringLiteral("    <file alias=\"logo\">%1</file>").arg(file);
    }

    for (const QString &t : texts) {
        lines << QStringLiteral("    <file alias=\"%1\">%2</file>")
                     .arg(t, xmlEscaped(textDir + QLatin1Char('/') + t));
    }
    lines << QStringLiteral("</qresource>") << QStringLiteral("</RCC>");

    QFile qrc(outDir + QStringLiteral("/qss.qrc"));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text))
        return fail(QStringLiteral("cannot write %1").arg(qrc.fileName()));
    QTextStream out(&qrc);
    out << lines.join(QLatin1Char('\n')) << '\n';
    out.flush();
    if (qrc.error() != QFileDevice::NoError)
        return fail(QStringLiteral("cannot write %1").arg(qrc.fileName()));
    return 0;
}
