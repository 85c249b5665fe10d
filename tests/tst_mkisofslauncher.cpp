// The mkisofs launcher beside the executable: the names each image type keeps, the tool and
// switches it picks for each shape of names, and how it passes on progress, exit status and
// termination.
// Mount route: none (plain folders of the local file system).

#include "testhelpers.h"

#include "services/mkisofs.h"
#include "services/sevenzip.h"
#include "services/util.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

using Mkisofs::ImageType;
using namespace TestHelpers;

Q_DECLARE_METATYPE(ImageType)

class TestMkisofsLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void names_data();
    void names();
    void toolChoice_data();
    void toolChoice();
    void xorrisoProgressAndStatus();
    void timeZone_data();
    void timeZone();
    void termination_data();
    void termination();

private:
    QString launcher() const
    {
        return Util::GetCurrentExePath() + QStringLiteral("/cdrtools/mkisofs");
    }
    QString source(const QString &shape) const { return m_dir.path() + "/src/" + shape; }
    // Stand-ins for genisoimage and xorriso, first in PATH for the process.
    void useFakeTools(QProcess &p, const QByteArray &xorrisoBody,
                      const QByteArray &genisoBody = QByteArray());
    bool isLauncher() const;

    QTemporaryDir m_dir;
    QMap<QString, QStringList> m_names; // the relative file paths of each source shape
};

static QString numbered(const char *prefix, int i)
{
    return QStringLiteral("%1%2.png").arg(QLatin1String(prefix)).arg(i, 5, 10, QLatin1Char('0'));
}

void TestMkisofsLauncher::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QStringList few { "-r", "-o out.iso", "a b.txt",
                            "Screenshot from 2026-12-08 10-00001.png",
                            "sub/A name of more than sixty-four characters, which would lose its "
                            "ending if cut there.txt" };
    const QStringList wide { "Grüße aus Köln.txt", "sub/日本語のファイル名.txt", "-ä.txt" };
    QStringList crowded;
    for (int i = 0; i < 1000; ++i)
        crowded << numbered("Screenshot from 2026-12-08 10-", i);
    m_names["ascii"] = few;
    m_names["wide"] = few + wide;
    m_names["crowded ascii"] = crowded;
    m_names["crowded wide"] = crowded + wide;
    for (auto it = m_names.cbegin(); it != m_names.cend(); ++it) {
        for (const QString &name : it.value())
            QVERIFY(writeFile(source(it.key()) + "/" + name, name.toUtf8()));
    }
}

bool TestMkisofsLauncher::isLauncher() const
{
    QFile script(launcher());
    return script.open(QIODevice::ReadOnly) && script.read(2) == "#!";
}

// Each type on each shape of names: 7-Zip, which reads the Joliet tree of a Joliet image, the UDF
// tree of a UDF image and Rock Ridge on plain ISO 9660, lists every file under its full name;
// and a plain ISO 9660 image keeps standard level-2 primary names that any ISO 9660 reader takes.
void TestMkisofsLauncher::names_data()
{
    QTest::addColumn<ImageType>("type");
    QTest::addColumn<QString>("shape");
    const QPair<const char *, ImageType> types[] = { { "joliet", ImageType::Joliet },
                                                     { "iso9660", ImageType::Iso9660 },
                                                     { "udf", ImageType::Udf } };
    for (const auto &type : types) {
        for (const char *shape : { "ascii", "wide", "crowded ascii", "crowded wide" })
            QTest::addRow("%s, %s", type.first, shape) << type.second << QString(shape);
    }
}

void TestMkisofsLauncher::names()
{
    QFETCH(ImageType, type);
    QFETCH(QString, shape);
    const QString image = m_dir.path() + "/-o image.iso";
    QFile::remove(image);
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(launcher(), Mkisofs::CreateArgs(type, image, source(shape)));
    QVERIFY(tool.waitForFinished(60000));
    QVERIFY2(tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0,
             tool.readAll().right(500).constData());

    QProcess list;
    list.start(SevenZip::Program(), SevenZip::ListArgs(image));
    QVERIFY(list.waitForFinished(30000));
    QCOMPARE(list.exitCode(), 0);
    QSet<QString> listed;
    int separators = 0;
    for (const QString &line : QString::fromUtf8(list.readAllStandardOutput()).split('\n')) {
        if (line.startsWith(QStringLiteral("-------------------")))
            ++separators;
        else if (separators == 1 && line.size() > 53 && line.at(20) != QLatin1Char('D'))
            listed << line.mid(53).trimmed();
    }
    const QStringList &names = m_names.value(shape);
    QCOMPARE(listed, QSet<QString>(names.cbegin(), names.cend()));

    if (type == ImageType::Iso9660) {
        QProcess iso;
        iso.start(QStringLiteral("isoinfo"), { "-l", "-i", image });
        QVERIFY(iso.waitForFinished(30000));
        QCOMPARE(iso.exitCode(), 0);
        static const QRegularExpression entry(QStringLiteral("\\]  (\\S+) $"));
        static const QRegularExpression level2(QStringLiteral("^[A-Z0-9_]*(\\.[A-Z0-9_]*)?;1$"));
        int files = 0;
        for (const QString &line : QString::fromLatin1(iso.readAllStandardOutput()).split('\n')) {
            const QRegularExpressionMatch m = entry.match(line);
            if (!m.hasMatch() || line.startsWith(QLatin1Char('d')))
                continue;
            ++files;
            const QString name = m.captured(1);
            QVERIFY2(level2.match(name).hasMatch() && name.size() <= 33, qPrintable(name));
        }
        QCOMPARE(files, names.size());
    }
}

void TestMkisofsLauncher::useFakeTools(QProcess &p, const QByteArray &xorrisoBody,
                                       const QByteArray &genisoBody)
{
    const QString bin = m_dir.path() + "/bin";
    const QByteArray printArgs = "for a in \"$@\"; do printf '%s\\n' \"$a\"; done\n";
    QVERIFY(writeFile(
        bin + "/genisoimage",
        "#!/bin/sh\n" + (genisoBody.isEmpty() ? "echo genisoimage $$\n" + printArgs : genisoBody)));
    QVERIFY(writeFile(bin + "/xorriso",
                      "#!/bin/sh\n"
                          + (xorrisoBody.isEmpty() ? "echo xorriso\n" + printArgs : xorrisoBody)));
    for (const char *name : { "/genisoimage", "/xorriso" })
        QVERIFY(QFile::setPermissions(bin + name, QFile::ReadOwner | QFile::ExeOwner));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("PATH"), bin + QStringLiteral(":/usr/bin:/bin"));
    p.setProcessEnvironment(env);
}

// The tool and the switches the launcher passes on, for the caller's arguments and the shape of
// the names in the source ("SRC" in the arguments).
void TestMkisofsLauncher::toolChoice_data()
{
    QTest::addColumn<QStringList>("given");
    QTest::addColumn<QString>("shape");
    QTest::addColumn<QStringList>("received");

    // As the pages call it: "-f" follows the working folder's links, with either tool.
    const QStringList tail { "-f", "-R", "-r", "-o", "/o/-l x.iso", "SRC" };
    const QStringList utf8 { "-input-charset", "utf-8" };
    const QStringList level4 { "-iso-level", "4" };
    const QStringList xorriso { "xorriso", "-pacifier", "interval=0.1", "-as", "mkisofs" };
    const QStringList joliet = QStringList { "-joliet-long", "-joliet" } + tail;
    QTest::newRow("joliet, ascii") << (QStringList { "-joliet" } + tail) << "ascii"
                                   << (QStringList { "genisoimage" } + level4 + joliet);
    QTest::newRow("joliet, wide") << (QStringList { "-joliet" } + tail) << "wide"
                                  << (QStringList { "genisoimage" } + utf8 + QStringList { "-l" }
                                      + joliet);
    QTest::newRow("joliet, crowded ascii") << (QStringList { "-joliet" } + tail) << "crowded ascii"
                                           << (QStringList { "genisoimage" } + level4 + joliet);
    QTest::newRow("joliet, crowded wide")
        << (QStringList { "-joliet" } + tail) << "crowded wide" << (xorriso + utf8 + joliet);
    QTest::newRow("iso9660, wide")
        << (QStringList { "-l" } + tail) << "wide"
        << (QStringList { "genisoimage" } + utf8 + QStringList { "-l" } + tail);
    QTest::newRow("iso9660, crowded ascii") << (QStringList { "-l" } + tail) << "crowded ascii"
                                            << (xorriso + utf8 + QStringList { "-l" } + tail);
    QTest::newRow("udf, ascii") << (QStringList { "-udf" } + tail) << "ascii"
                                << (QStringList { "genisoimage" } + level4 + QStringList { "-udf" }
                                    + tail);
    QTest::newRow("udf, crowded wide") << (QStringList { "-udf" } + tail) << "crowded wide"
                                       << (QStringList { "genisoimage" } + utf8
                                           + QStringList { "-l" } + QStringList { "-udf" } + tail);
    QTest::newRow("udf with large files")
        << QStringList { "-udf", "-allow-limited-size", "SRC" } << "wide"
        << QStringList { "genisoimage", "-input-charset",      "utf-8", "-l",
                         "-udf",        "-allow-limited-size", "SRC" };
    QTest::newRow("boot image: genisoimage")
        << QStringList { "-l", "-R", "-o", "/o/e.iso", "-b", "boot.bin", "SRC" } << "crowded ascii"
        << QStringList { "genisoimage", "-input-charset", "utf-8", "-l",       "-R",
                         "-o",          "/o/e.iso",       "-b",    "boot.bin", "SRC" };
    QTest::newRow("caller's charset and naming kept")
        << QStringList { "-J", "-input-charset", "iso8859-1", "-iso-level", "3", "-o", "x", "SRC" }
        << "crowded wide" << QStringList { "genisoimage", "-joliet-long", "-J", "-input-charset",
                                           "iso8859-1",   "-iso-level",   "3",  "-o",
                                           "x",           "SRC" };
    // The names as the pages saw them in their working folder, instead of the launcher's walk
    // (", hint" in the shape); a hint not of that form is not trusted.
    QTest::newRow("hint: wide names")
        << (QStringList { "-joliet" } + tail) << "ascii, hint 1 0"
        << (QStringList { "genisoimage" } + utf8 + QStringList { "-l" } + joliet);
    QTest::newRow("hint: crowded") << (QStringList { "-l" } + tail) << "ascii, hint 0 1"
                                   << (xorriso + utf8 + QStringList { "-l" } + tail);
    QTest::newRow("hint not of the form") << (QStringList { "-joliet" } + tail) << "ascii, hint 1"
                                          << (QStringList { "genisoimage" } + level4 + joliet);
    // "-l" as the value of "-o" is a file name, not the naming switch.
    QTest::newRow("option values are not switches")
        << QStringList { "-udf", "-o", "-l", "SRC" } << "ascii"
        << QStringList { "genisoimage", "-iso-level", "4", "-udf", "-o", "-l", "SRC" };
}

void TestMkisofsLauncher::toolChoice()
{
    QFETCH(QStringList, given);
    QFETCH(QString, shape);
    QFETCH(QStringList, received);
    if (!isLauncher())
        QSKIP("The mkisofs beside the executable is not the project's launcher");
    const QString hint = shape.section(QStringLiteral(", hint "), 1);
    shape = shape.section(QStringLiteral(", hint "), 0, 0);
    given.replaceInStrings(QRegularExpression("^SRC$"), source(shape));
    received.replaceInStrings(QRegularExpression("^SRC$"), source(shape));

    QProcess p;
    useFakeTools(p, QByteArray());
    if (!hint.isEmpty()) {
        QProcessEnvironment env = p.processEnvironment();
        env.insert(QString::fromLatin1(Mkisofs::NamesVariable), hint);
        p.setProcessEnvironment(env);
    }
    p.start(launcher(), given);
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    QStringList out = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    out.removeAll(QString());
    // genisoimage runs in the launcher's own process.
    if (out.value(0).startsWith(QStringLiteral("genisoimage ")))
        out[0] = out[0].section(' ', 0, 0);
    QCOMPARE(out, received);
}

// xorrisofs's progress lines come out as genisoimage's, which the Create page reads; every
// other line and the exit status stay as they are.
void TestMkisofsLauncher::xorrisoProgressAndStatus()
{
    if (!isLauncher())
        QSKIP("The mkisofs beside the executable is not the project's launcher");
    QProcess p;
    useFakeTools(p,
                 "echo 'xorriso : UPDATE :   1000 files added in 1 seconds' >&2\n"
                 "echo 'xorriso : UPDATE :  2.17% done' >&2\n"
                 "echo 'xorriso : UPDATE :  32.94% done, estimate finish Tue Dec 08 2026' >&2\n"
                 "echo 'xorriso : FAILURE : Cannot write' >&2\n"
                 "exit 5\n");
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(launcher(),
            { "-l", "-R", "-r", "-o", m_dir.path() + "/x.iso", source("crowded ascii") });
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 5);
    const QStringList lines = QString::fromUtf8(p.readAll()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             (QStringList { "xorriso : UPDATE :   1000 files added in 1 seconds",
                            "2.17% done, estimate finish",
                            "32.94% done, estimate finish Tue Dec 08 2026",
                            "xorriso : FAILURE : Cannot write" }));
    QCOMPARE(Mkisofs::ReadProgress(lines.at(1)), 217);
    QCOMPARE(Mkisofs::ReadProgress(lines.at(2)), 3294);
}

// The time zone genisoimage converts file times with is the caller's: an unset TZ is named as the
// file it stands for (so that the tool reads it once), a TZ the caller set (even an empty one,
// which means UTC) reaches the tool as it is.
void TestMkisofsLauncher::timeZone_data()
{
    QTest::addColumn<QByteArray>("given"); // "-" for unset
    QTest::addColumn<QString>("received");
    QTest::newRow("unset") << QByteArray("-")
                           << (QFile::exists("/etc/localtime") ? ":/etc/localtime" : "unset");
    QTest::newRow("a zone") << QByteArray("Asia/Tokyo") << "Asia/Tokyo";
    QTest::newRow("empty") << QByteArray("") << "";
}

void TestMkisofsLauncher::timeZone()
{
    QFETCH(QByteArray, given);
    QFETCH(QString, received);
    if (!isLauncher())
        QSKIP("The mkisofs beside the executable is not the project's launcher");
    QProcess p;
    useFakeTools(p, QByteArray(), "#!/bin/sh\nprintf '%s' \"${TZ-unset}\"\n");
    QProcessEnvironment env = p.processEnvironment();
    env.remove("TZ");
    if (given != "-")
        env.insert("TZ", QString::fromLatin1(given));
    p.setProcessEnvironment(env);
    p.start(launcher(), { "-udf", "-R", "-o", m_dir.path() + "/z.iso", source("ascii") });
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()), received);
}

// A termination request reaches the tool: genisoimage is the launcher's own process; xorrisofs
// receives the request and the launcher ends as the tool does.
void TestMkisofsLauncher::termination_data()
{
    QTest::addColumn<QString>("shape");
    QTest::newRow("genisoimage") << "ascii";
    QTest::newRow("xorrisofs") << "crowded ascii";
}

void TestMkisofsLauncher::termination()
{
    QFETCH(QString, shape);
    if (!isLauncher())
        QSKIP("The mkisofs beside the executable is not the project's launcher");
    const QString mark = m_dir.path() + "/terminated-" + shape;
    QProcess p;
    useFakeTools(p,
                 "sleep 20 >/dev/null 2>&1 &\ntrap 'kill $!; echo TERM > \"" + mark.toUtf8()
                     + "\"; exit 7' TERM\necho xorrisofs $$\nwait\n");
    QFile::remove(mark);
    p.start(launcher(), { "-l", "-R", "-o", m_dir.path() + "/t.iso", source(shape) });
    QVERIFY(p.waitForStarted(10000));
    const qint64 pid = p.processId();
    QVERIFY(p.waitForReadyRead(20000));
    const QString first = QString::fromUtf8(p.readLine()).trimmed();
    if (first.startsWith(QStringLiteral("genisoimage"))) {
        QCOMPARE(first.section(' ', 1).toLongLong(), pid);
        QVERIFY(p.waitForFinished(10000));
        return; // the fake genisoimage has ended by itself
    }
    p.terminate();
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(readFile(mark), QByteArray("TERM\n"));
    QCOMPARE(p.exitCode(), 7);
}

QTEST_GUILESS_MAIN(TestMkisofsLauncher)
#include "tst_mkisofslauncher.moc"
