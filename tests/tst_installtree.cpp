// The installation and the Debian package: "cmake --install" into a scratch prefix lays out the
// program alone in bin/, its tools under libexec/vexlor (none writable by anyone but the owner),
// a menu entry, icon and AppStream data that their validators accept, and a polkit policy whose
// actions name the installed tools; "cpack -G DEB" makes a package that holds them, depends on
// every tool the program runs, and that apt resolves. Also the readers behind the installed
// route: the test-seam file a root tool honours, and the words pkexec ends a refusal with.
// No mount route is exercised here (nothing is mounted).

#include "lib/seams.h"
#include "lib/shellwords.h"
#include "services/platformtools.h"
#include "testhelpers.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestHelpers;

class TestInstallTree : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_Tmp.isValid());
        m_Prefix = m_Tmp.filePath("prefix");
        const QString error = installBuild(VEXLOR_BUILD_DIR, m_Prefix);
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void layout()
    {
        QCOMPARE(QDir(m_Prefix + "/bin").entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList { "vexlor" });
        const QString tools = m_Prefix + "/libexec/vexlor";
        for (const char *program : { "7z/7z", "cdrtools/mkisofs", "disktools/diskutil",
                                     "disktools/drutil", "disktools/hdiutil", "disktools/mount",
                                     "disktools/osascript", "disktools/mkbootable" })
            QVERIFY2(QFileInfo(tools + "/" + program).isExecutable(), program);
        for (const char *file : { "share/applications/org.example.vexlor.Vexlor.desktop",
                                  "share/icons/hicolor/scalable/apps/org.example.vexlor.Vexlor.svg",
                                  "share/metainfo/org.example.vexlor.Vexlor.metainfo.xml" })
            QVERIFY2(QFileInfo(m_Prefix + "/" + file).isFile(), file);
        // Nothing in the tree may be changed by anyone but its owner (links aside).
        QDirIterator it(m_Prefix, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QByteArray path = QFile::encodeName(it.next());
            struct stat st;
            QVERIFY(::lstat(path.constData(), &st) == 0);
            QVERIFY2(S_ISLNK(st.st_mode) || (st.st_mode & (S_IWGRP | S_IWOTH)) == 0,
                     path.constData());
        }
    }

    void validators()
    {
        const CommandRun desktop
            = runCommand("desktop-file-validate",
                         { m_Prefix + "/share/applications/org.example.vexlor.Vexlor.desktop" });
        if (desktop.code == -1 && desktop.output.isEmpty())
            QSKIP("desktop-file-validate is missing (package desktop-file-utils)");
        QVERIFY2(desktop.code == 0 && !desktop.output.contains("error")
                     && !desktop.output.contains("warning"),
                 desktop.output.constData());
        const CommandRun appstream
            = runCommand("appstreamcli",
                         { "validate", "--no-net",
                           m_Prefix + "/share/metainfo/org.example.vexlor.Vexlor.metainfo.xml" });
        QVERIFY2(appstream.code == 0, appstream.output.constData());
    }

    void policyNamesTheInstalledTools()
    {
        QFile policy(m_Prefix + "/share/polkit-1/actions/org.example.vexlor.Vexlor.policy");
        QVERIFY(policy.open(QIODevice::ReadOnly));
        QMap<QString, QString> execPaths, defaults;
        QString action;
        QXmlStreamReader xml(&policy);
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("action"))
                action = xml.attributes().value("id").toString();
            else if (xml.name() == QLatin1String("allow_active"))
                defaults[action] = xml.readElementText();
            else if (xml.name() == QLatin1String("annotate")
                     && xml.attributes().value("key")
                         == QLatin1String("org.freedesktop.policykit.exec.path"))
                execPaths[action] = xml.readElementText();
        }
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
        QStringList expected;
        for (const QString &tool : PlatformTools::AdministratorTools()) {
            const QString id = "org.example.vexlor.Vexlor." + tool;
            expected << id;
            const QString path = execPaths.value(id);
            QCOMPARE(path, QDir::cleanPath(m_Prefix + "/libexec/vexlor/disktools/" + tool));
            QVERIFY2(QFileInfo(path).isExecutable(), qPrintable(path));
            QCOMPARE(defaults.value(id), QString("auth_admin_keep"));
        }
        QCOMPARE(execPaths.keys(), expected);
    }

    void debianPackage()
    {
        if (QStandardPaths::findExecutable("dpkg-deb").isEmpty())
            QSKIP("dpkg-deb is missing: no Debian package here");
        const QString out = m_Tmp.filePath("deb");
        const CommandRun pack = runCommand(
            "cpack", { "-G", "DEB", "--config", VEXLOR_BUILD_DIR "/CPackConfig.cmake", "-B", out },
            600000);
        QVERIFY2(pack.code == 0, pack.output.right(2000).constData());
        const QStringList debs = QDir(out).entryList({ "vexlor_*.deb" });
        QCOMPARE(debs.size(), 1);
        const QString deb = out + "/" + debs.first();

        const QByteArray contents = runCommand("dpkg-deb", { "-c", deb }).output;
        for (const char *path :
             { "./usr/bin/vexlor", "./usr/libexec/vexlor/disktools/diskutil",
               "./usr/libexec/vexlor/disktools/mkbootable", "./usr/libexec/vexlor/7z/7z",
               "./usr/libexec/vexlor/cdrtools/mkisofs",
               "./usr/share/polkit-1/actions/org.example.vexlor.Vexlor.policy",
               "./usr/share/applications/org.example.vexlor.Vexlor.desktop",
               "./usr/share/metainfo/org.example.vexlor.Vexlor.metainfo.xml",
               "./usr/share/icons/hicolor/scalable/apps/org.example.vexlor.Vexlor.svg" })
            QVERIFY2(contents.contains(QByteArray(path) + '\n')
                         || contents.contains(QByteArray(path) + " -> "),
                     path);
        // Root's tools, writable by root alone.
        for (const QByteArray &line : contents.split('\n')) {
            if (line.contains("/disktools/"))
                QVERIFY2(line.startsWith(line.endsWith('/') ? "drwxr-xr-x root/root"
                                                            : "-rwxr-xr-x root/root"),
                         line.constData());
        }
        const QByteArray policy = runCommand("dpkg-deb", { "--fsys-tarfile", deb }).output;
        QVERIFY(policy.contains("/usr/libexec/vexlor/disktools/mkbootable</annotate>"));

        const QString depends
            = QString::fromUtf8(runCommand("dpkg-deb", { "-f", deb, "Depends" }).output);
        for (const char *name : { "p7zip-full", "genisoimage", "xorriso", "syslinux",
                                  "syslinux-common", "mtools", "dosfstools", "fdisk", "util-linux",
                                  "fusefat", "fuseiso", "pkexec", "libqt5widgets5" })
            QVERIFY2(depends.contains(QRegularExpression(
                         QStringLiteral("(^|[ ,|])%1([ ,(]|$)").arg(QLatin1String(name)))),
                     qPrintable(depends));
        // apt resolves every dependency (a simulation: nothing is installed).
        if (QStandardPaths::findExecutable("apt-get").isEmpty())
            QSKIP("apt-get is missing");
        const CommandRun apt = runCommand("apt-get", { "install", "-s", "-q", deb }, 120000);
        QVERIFY2(apt.code == 0 && apt.output.contains("Inst vexlor"),
                 apt.output.right(2000).constData());
    }

    // The seam file of an installed tool: its lines, and who may have written it.
    void seamFile_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("usb");
        QTest::addColumn<QString>("media");
        QTest::newRow("both") << QByteArray("VEXLOR_TEST_USB_DISKS=/dev/loop3:/dev/loop4\n"
                                            "VEXLOR_TEST_MEDIA_DIR = /run/m \n")
                              << "/dev/loop3:/dev/loop4"
                              << "/run/m";
        QTest::newRow("comments, blanks, others")
            << QByteArray("# a test\n\nPATH=/x\n=/dev/sda\nVEXLOR_TEST_USB_DISKS=/dev/loop1")
            << "/dev/loop1"
            << "";
        QTest::newRow("empty") << QByteArray() << ""
                               << "";
    }

    void seamFile()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, usb);
        QFETCH(QString, media);
        const QMap<QString, QString> values = Seams::Parse(text);
        QCOMPARE(values.value("VEXLOR_TEST_USB_DISKS"), usb);
        QCOMPARE(values.value("VEXLOR_TEST_MEDIA_DIR"), media);
        QVERIFY(!values.contains("PATH"));
    }

    void seamFileMustBeRootsAlone()
    {
        QVERIFY(Seams::IsInstalledTool("/usr/libexec/vexlor/disktools"));
        QVERIFY(Seams::IsInstalledTool("/opt/v/bin/../libexec/vexlor/disktools/"));
        QVERIFY(!Seams::IsInstalledTool(VEXLOR_BUILD_DIR "/bin/disktools"));
        QVERIFY(Seams::ReadRootOwnedFile(m_Tmp.filePath("none")).isEmpty());

        const QString folder = m_Tmp.filePath("seams");
        QVERIFY(QDir().mkpath(folder));
        const QString file = folder + "/test-seams";
        QVERIFY(writeFile(file, "VEXLOR_TEST_USB_DISKS=/dev/loop7\n"));
        QVERIFY(QFile::link(file, folder + "/link"));
        const QByteArray f = QFile::encodeName(file), d = QFile::encodeName(folder);
        struct Case
        {
            const char *name;
            mode_t folderMode, fileMode;
            const char *read;
            bool accepted;
        };
        const Case cases[] = {
            { "root's alone", 0755, 0644, "test-seams", true },
            { "file writable by all", 0755, 0666, "test-seams", false },
            { "file writable by the group", 0755, 0664, "test-seams", false },
            { "folder writable by all", 0777, 0644, "test-seams", false },
            { "a link to it", 0755, 0644, "link", false },
        };
        for (const Case &c : cases) {
            QVERIFY(::chmod(d.constData(), c.folderMode) == 0
                    && ::chmod(f.constData(), c.fileMode) == 0);
            const QByteArray read = Seams::ReadRootOwnedFile(folder + "/" + c.read);
            // Owned by anyone but root, nothing is ever read.
            QVERIFY2(read.isEmpty() == !(c.accepted && ::geteuid() == 0), c.name);
        }
    }

    void refusedAuthorisation_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("refused");
        QTest::newRow("dismissed") << 126
                                   << QStringList { "Error executing command as another user: "
                                                    "Request dismissed" }
                                   << true;
        QTest::newRow("polkit said no")
            << 127
            << QStringList { "Error executing command as another user: Not authorized",
                             "This incident has been reported." }
            << true;
        QTest::newRow("macOS cancel")
            << 1 << QStringList { "execution error: User canceled. (-128)" } << true;
        QTest::newRow("no authority")
            << 127
            << QStringList { "Error getting authority: Error initializing "
                             "authority: Could not connect" }
            << false;
        QTest::newRow("the tool failed")
            << 1 << QStringList { "diskutil: /dev/sdb is in use" } << false;
        QTest::newRow("a tool that names the words")
            << 1 << QStringList { "Error executing command as another user: Not authorized" }
            << false;
    }

    void refusedAuthorisation()
    {
        QFETCH(int, code);
        QFETCH(QStringList, lines);
        QFETCH(bool, refused);
        QCOMPARE(PlatformTools::AdministratorRefused(code, lines), refused);
    }

    // What osascript hands to pkexec for a user: the words of a plain command, or nothing.
    void osascriptCommandWords_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("words");
        QTest::newRow("quoted as the program quotes")
            << "'/usr/libexec/vexlor/disktools/mkbootable' '/dev/sdb' '/media/u/it'\\''s'"
            << QStringList { "/usr/libexec/vexlor/disktools/mkbootable", "/dev/sdb",
                             "/media/u/it's" };
        QTest::newRow("bare, double quotes, escapes")
            << "/bin/x  \"a \\\"b\\\" c\"\t--k=v\\ w ''"
            << QStringList { "/bin/x", "a \"b\" c", "--k=v w", "" };
        QTest::newRow("two commands") << "/bin/x; rm -rf /" << QStringList();
        QTest::newRow("substitution") << "/bin/x $(id)" << QStringList();
        QTest::newRow("substitution in double quotes") << "/bin/x \"`id`\"" << QStringList();
        QTest::newRow("redirection") << "/bin/x >/etc/passwd" << QStringList();
        QTest::newRow("assignment") << "LD_PRELOAD=/tmp/a.so /bin/x" << QStringList();
        QTest::newRow("open quote") << "/bin/x 'a" << QStringList();
        QTest::newRow("nothing") << " \t" << QStringList();
    }

    void osascriptCommandWords()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, words);
        QStringList got;
        QCOMPARE(ShellWords::Split(command, &got), !words.isEmpty());
        QCOMPARE(got, words);
    }

private:
    QTemporaryDir m_Tmp;
    QString m_Prefix;
};

QTEST_GUILESS_MAIN(TestInstallTree)
#include "tst_installtree.moc"
