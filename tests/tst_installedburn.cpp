// The installed program's way to the disk tools, as a normal user: the build is installed into a
// scratch prefix, the system message bus and polkitd are started when they do not run, a test
// user is created and a polkit rule decides for that user without a password. As that user the
// Burn page (in a copy of this program placed in the prefix's bin/, so that it finds the
// installed tools exactly as the installed program does) burns an image to a loop-device stick:
// allowed, the stick holds the image's files; denied, the burn is cancelled and the stick is
// unchanged. The root tools learn that the loop device is a stick only from the root-owned seam
// file this test puts in place. Everything added to the system (user, rule, policy, seam file,
// bus, polkitd, loop device) is removed at the end, failed or not.
//
// Mount route: the FUSE fallback (fusefat) here, the kernel's vfat on a desktop.
// Needs root, pkexec, dbus-daemon, polkitd and a free loop device; skips without.

#include "app/mainwindow.h"
#include "pages/cburndialog.h"
#include "testhelpers.h"
#include "ui/cimagebutton.h"
#include "ui/commdialog.h"
#include "ui/gerneraldialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace TestHelpers;

namespace {

const char *const kPolicyName = "org.example.vexlor.Vexlor.policy";
const QString kSystemPolicyDir = QStringLiteral("/usr/share/polkit-1/actions");
const QString kRuleFile = QStringLiteral("/etc/polkit-1/rules.d/00-vexlor-installedburn.rules");
const QString kSeamDir = QStringLiteral("/run/vexlor");
const QString kBusSocket = QStringLiteral("/run/dbus/system_bus_socket");

// The child's part: as the test user, burn the image to the stick through the Burn page and
// print every prompt it showed, one per line.
int burnAsUser(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QString image = QString::fromLocal8Bit(argv[2]);
    const QString stick = QString::fromLocal8Bit(argv[3]);
    CBurnDialog page;
    page.show();
    page.findChild<QRadioButton *>("rusb")->setChecked(true);
    page.findChild<QLineEdit *>("isofile")->setText(image);
    page.findChild<QLineEdit *>("volumelab")->setText("VEXLOR");
    auto *list = page.findChild<QComboBox *>("usblist");
    if (list->findText(stick) < 0) {
        std::printf("the stick %s is not listed\n", qPrintable(stick));
        return 2;
    }
    list->setCurrentIndex(list->findText(stick));
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *d = qobject_cast<ImageDialog *>(w);
            if (!d || !d->isVisible()
                || (w->metaObject() != &CommDialog::staticMetaObject
                    && w->metaObject() != &GerneralDialog::staticMetaObject))
                continue;
            QLabel *label = d->findChild<QLabel *>("label");
            const QString text
                = label && !label->text().isEmpty() ? label->text() : d->BackGround();
            std::printf("PROMPT %s\n", qPrintable(QString(text).replace('\n', ' ')));
            std::fflush(stdout);
            d->done(1);
        }
    });
    answer.start(20);
    clickButton(page.findChild<CImageButton *>("burn"));
    if (!waitUntil([&] { return !page.IsBurning(); }, 240000))
        return 3;
    return 0;
}

bool busHas(const QString &name)
{
    return runCommand("dbus-send",
                      { "--system", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                        "org.freedesktop.DBus.NameHasOwner", "string:" + name },
                      10000)
        .output.contains("boolean true");
}

} // namespace

class TestInstalledBurn : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void allowedUserBurnsThroughPkexec();
    void deniedUserGetsACancelAndAnUnchangedStick();

private:
    QStringList burnAs(const QString &stick, int *exitCode);
    void setRule(const char *result);
    void startPolkit();
    void undo(std::function<void()> step) { m_Undo.prepend(std::move(step)); }

    QString m_Scratch, m_Prefix, m_Driver, m_Image, m_Source, m_User;
    uid_t m_Uid = 0;
    gid_t m_Gid = 0;
    QList<std::function<void()>> m_Undo; // run in order at the end, newest first
    QProcess *m_Polkitd = nullptr;
};

void TestInstalledBurn::initTestCase()
{
    if (::geteuid() != 0)
        QSKIP("installing a policy, a rule and a user needs root");
    for (const char *tool : { "pkexec", "dbus-daemon", "dbus-send", "useradd", "userdel", "setpriv",
                              "losetup", "genisoimage", "mcopy" }) {
        if (QStandardPaths::findExecutable(tool).isEmpty())
            QSKIP(qPrintable(QString("%1 is missing").arg(tool)));
    }
    if (!QFileInfo("/usr/lib/polkit-1/polkitd").isExecutable())
        QSKIP("polkitd is missing (package polkitd)");
    if (QFileInfo::exists(kSystemPolicyDir + "/" + kPolicyName))
        QSKIP("the program's policy is installed on this system; not replacing it");
    if (QFileInfo::exists(kSeamDir))
        QSKIP("/run/vexlor exists: another run of this test is going on");
    undo([] { QDir(kSeamDir).removeRecursively(); });

    // A scratch folder everyone may enter (the user runs the installed copy from it).
    QByteArray pattern = "/tmp/vexlor-installedburn-XXXXXX";
    QVERIFY(::mkdtemp(pattern.data()));
    m_Scratch = QString::fromLocal8Bit(pattern);
    QVERIFY(::chmod(pattern.constData(), 0755) == 0);
    undo([this] { QDir(m_Scratch).removeRecursively(); });

    m_Prefix = m_Scratch + "/prefix";
    const QString error = installBuild(VEXLOR_BUILD_DIR, m_Prefix);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    m_Driver = m_Prefix + "/bin/burn-driver";
    QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), m_Driver));

    m_Source = m_Scratch + "/src";
    QVERIFY(writeFile(m_Source + "/docs/read me.txt", "read me\n"));
    QByteArray data(200000, Qt::Uninitialized);
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 13 ^ (i >> 7));
    QVERIFY(writeFile(m_Source + "/sources/data.bin", data));
    m_Image = m_Scratch + "/image.iso";
    QCOMPARE(runCommand("genisoimage", { "-quiet", "-J", "-R", "-o", m_Image, m_Source }).code, 0);
    ::chmod(QFile::encodeName(m_Image).constData(), 0644);

    // The policy where polkitd reads it.
    QVERIFY(QFile::copy(m_Prefix + "/share/polkit-1/actions/" + kPolicyName,
                        kSystemPolicyDir + "/" + kPolicyName));
    undo([] { QFile::remove(kSystemPolicyDir + "/" + kPolicyName); });

    // The test user, with a home of its own in the scratch folder.
    m_User = QString("vexlortest%1").arg(::getpid());
    const QString home = m_Scratch + "/home";
    QCOMPARE(
        runCommand("useradd", { "-M", "-N", "-d", home, "-s", "/usr/sbin/nologin", m_User }).code,
        0);
    undo([this] {
        runCommand("userdel", { m_User });
        // The runtime folder Qt made for the user's runs.
        QDir(QDir::tempPath() + "/runtime-" + m_User).removeRecursively();
    });
    const passwd *entry = ::getpwnam(qPrintable(m_User));
    QVERIFY(entry);
    m_Uid = entry->pw_uid;
    m_Gid = entry->pw_gid;
    QVERIFY(QDir().mkpath(home));
    QVERIFY(::chown(QFile::encodeName(home).constData(), m_Uid, m_Gid) == 0);

    // The system bus, when none runs.
    if (!busHas("org.freedesktop.DBus")) {
        if (!QFileInfo::exists("/run/dbus")) {
            QDir().mkpath("/run/dbus");
            undo([] { QDir("/run/dbus").removeRecursively(); });
        }
        const CommandRun bus = runCommand("dbus-daemon", { "--system", "--fork", "--print-pid" });
        bool ok = false;
        const pid_t pid = QString::fromLatin1(bus.output).trimmed().toInt(&ok);
        QVERIFY2(bus.code == 0 && ok, bus.output.constData());
        undo([pid] {
            ::kill(pid, SIGTERM);
            QTest::qWait(200);
            QFile::remove(kBusSocket);
            QFile::remove("/run/dbus/pid");
        });
        QVERIFY(waitUntil([] { return busHas("org.freedesktop.DBus"); }, 10000));
    }
}

void TestInstalledBurn::cleanupTestCase()
{
    if (m_Polkitd) {
        m_Polkitd->terminate();
        if (!m_Polkitd->waitForFinished(5000))
            m_Polkitd->kill();
        m_Polkitd->waitForFinished(2000);
        delete m_Polkitd;
        m_Polkitd = nullptr;
    }
    for (const auto &step : qAsConst(m_Undo))
        step();
    m_Undo.clear();
}

// The rule that decides for the test user: "YES" or "NO", without a password either way.
void TestInstalledBurn::setRule(const char *result)
{
    const QByteArray rule
        = QString("polkit.addRule(function(action, subject) {\n"
                  "    if (action.id.indexOf(\"org.example.vexlor.Vexlor.\") == 0\n"
                  "        && subject.user == \"%1\")\n"
                  "        return polkit.Result.%2;\n"
                  "});\n")
              .arg(m_User, result)
              .toUtf8();
    if (!QFileInfo::exists(kRuleFile))
        undo([] { QFile::remove(kRuleFile); });
    QVERIFY(writeFile(kRuleFile, rule));
    ::chmod(QFile::encodeName(kRuleFile).constData(), 0644);
    startPolkit();
}

// polkitd reads the rules when it starts: the one this test started is restarted; one that ran
// before is left to notice the change.
void TestInstalledBurn::startPolkit()
{
    if (m_Polkitd) {
        m_Polkitd->terminate();
        m_Polkitd->waitForFinished(5000);
        delete m_Polkitd;
        m_Polkitd = nullptr;
        QVERIFY(waitUntil([] { return !busHas("org.freedesktop.PolicyKit1"); }, 10000));
    } else if (busHas("org.freedesktop.PolicyKit1")) {
        QTest::qWait(2000);
        return;
    }
    m_Polkitd = new QProcess;
    m_Polkitd->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_Polkitd->start("/usr/lib/polkit-1/polkitd", { "--no-debug" });
    QVERIFY(m_Polkitd->waitForStarted());
    QVERIFY2(waitUntil([] { return busHas("org.freedesktop.PolicyKit1"); }, 20000),
             "polkitd did not come up on the system bus");
}

// Runs the Burn page as the test user with a clean environment; returns the prompts it showed.
QStringList TestInstalledBurn::burnAs(const QString &stick, int *exitCode)
{
    // The root tools learn of the stick from a file only root can write.
    QDir().mkpath(kSeamDir);
    ::chmod(QFile::encodeName(kSeamDir).constData(), 0755);
    const QString media = m_Scratch + "/media";
    writeFile(
        kSeamDir + "/test-seams",
        QString("VEXLOR_TEST_USB_DISKS=%1\nVEXLOR_TEST_MEDIA_DIR=%2\n").arg(stick, media).toUtf8());
    ::chmod(QFile::encodeName(kSeamDir + "/test-seams").constData(), 0644);

    RunOptions options;
    options.timeoutMs = 300000;
    QProcessEnvironment &env = options.environment;
    env.clear();
    env.insert("PATH", "/usr/sbin:/usr/bin:/sbin:/bin");
    env.insert("HOME", m_Scratch + "/home");
    env.insert("LANG", "C.UTF-8");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
    // Set in the user's environment, the seams must change nothing for the root tools.
    env.insert("VEXLOR_TEST_USB_DISKS", "/dev/sda");
    const CommandRun run
        = runCommand("setpriv",
                     { QString("--reuid=%1").arg(m_Uid), QString("--regid=%1").arg(m_Gid),
                       "--clear-groups", "--", m_Driver, "--burn-as-user", m_Image, stick },
                     options);
    *exitCode = run.code;
    QStringList prompts;
    for (const QByteArray &line : run.output.split('\n')) {
        if (line.startsWith("PROMPT "))
            prompts << QString::fromUtf8(line.mid(7));
    }
    if (run.code != 0)
        qWarning() << "the burn as the test user said:" << run.output.right(3000);
    return prompts;
}

void TestInstalledBurn::allowedUserBurnsThroughPkexec()
{
    setRule("YES");
    LoopDevice stick(m_Scratch + "/allowed.img", 64 << 20);
    if (stick.node.isEmpty())
        QSKIP("no free loop device");
    int code = -1;
    const QStringList prompts = burnAs(stick.node, &code);
    QCOMPARE(code, 0);
    QCOMPARE(prompts, (QStringList { ":/nwu/format_usb", "Burning Successfully..." }));

    // Read back unmounted, with mtools: every file of the image, byte for byte.
    runCommand("umount", { m_Scratch + "/media/VEXLOR" });
    const QString copy = m_Scratch + "/copy";
    const auto onStick = fatFiles(stick.node + "p1", copy);
    QVERIFY(!onStick.isEmpty());
    const QString differs = firstMissingOrChanged(fileTree(m_Source), onStick);
    QVERIFY2(differs.isEmpty(), qPrintable(differs));
    QVERIFY(onStick.contains("syslinux/ldlinux.sys"));
}

void TestInstalledBurn::deniedUserGetsACancelAndAnUnchangedStick()
{
    setRule("NO");
    LoopDevice stick(m_Scratch + "/denied.img", 64 << 20);
    if (stick.node.isEmpty())
        QSKIP("no free loop device");
    // An old volume on the stick, which must stay as it was.
    QCOMPARE(runCommand("mkfs.fat", { "-I", "-n", "OLD", stick.node }).code, 0);
    const QByteArray before = readFile(stick.file);
    int code = -1;
    const QStringList prompts = burnAs(stick.node, &code);
    QCOMPARE(code, 0);
    QCOMPARE(prompts.size(), 2);
    QCOMPARE(prompts.first(), QString(":/nwu/format_usb"));
    QVERIFY2(prompts.last().startsWith("The burn was cancelled: administrator rights were not "
                                       "given. Nothing was written"),
             qPrintable(prompts.last()));
    QVERIFY(readFile(stick.file) == before);
}

int main(int argc, char **argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--burn-as-user") == 0)
        return burnAsUser(argc, argv);
    QApplication app(argc, argv);
    TestInstalledBurn test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_installedburn.moc"
