#include "pages/cburndialog.h"

#include "model/eltorito.h"
#include "logic/extractlogic.h"
#include "services/cruncommandthread.h"
#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/uefiboot.h"
#include "services/util.h"
#include "services/wimlib.h"
#include "ui/cimagebutton.h"
#include "ui/cmycombobox.h"
#include "ui/commdialog.h"
#include "ui/gerneraldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPointer>
#include <QRadioButton>
#include <QThread>
#include <QTimer>
#include <QValidator>

// vexlor.burn: the Burn page (debug lines off unless switched on; warnings of failures on).
Q_LOGGING_CATEGORY(lcBurn, "vexlor.burn", QtWarningMsg)

// The page's form, built in code.
namespace Ui {
class CBurnDialog
{
public:
    QRadioButton *rdvd = nullptr;
    CMyComboBox *dvdlist = nullptr;
    QRadioButton *rusb = nullptr;
    CMyComboBox *usblist = nullptr;
    QComboBox *ptlist = nullptr;
    QComboBox *sysfilelist = nullptr;
    QLineEdit *volumelab = nullptr;
    QLineEdit *isofile = nullptr;
    CImageButton *browser = nullptr;
    CImageButton *back = nullptr;
    CImageButton *burn = nullptr;
    QLabel *gptnote = nullptr;
    QLabel *bootkinds = nullptr;
    QCheckBox *diskimage = nullptr;
    QLabel *routenote = nullptr;

    void setupUi(QDialog *page)
    {
        page->setObjectName(QStringLiteral("CBurnDialog"));
        page->resize(664, 472);
        rdvd = new QRadioButton(page);
        rdvd->setObjectName(QStringLiteral("rdvd"));
        rdvd->setChecked(true);
        dvdlist = new CMyComboBox(page);
        dvdlist->setObjectName(QStringLiteral("dvdlist"));
        rusb = new QRadioButton(page);
        rusb->setObjectName(QStringLiteral("rusb"));
        usblist = new CMyComboBox(page);
        usblist->setObjectName(QStringLiteral("usblist"));
        ptlist = new QComboBox(page);
        ptlist->setObjectName(QStringLiteral("ptlist"));
        ptlist->addItem(QStringLiteral("MBR(for legacy BIOS/CSM boot)"));
        ptlist->addItem(QStringLiteral("GPT(required for UEFI boot)"));
        sysfilelist = new QComboBox(page);
        sysfilelist->setObjectName(QStringLiteral("sysfilelist"));
        sysfilelist->addItem(QStringLiteral("FAT32"));
        sysfilelist->addItem(QStringLiteral("FAT"));
        volumelab = new QLineEdit(page);
        volumelab->setObjectName(QStringLiteral("volumelab"));
        volumelab->setMaxLength(BurnLogic::LabelMaxLength);
        isofile = new QLineEdit(page);
        isofile->setObjectName(QStringLiteral("isofile"));
        isofile->setReadOnly(true);
        browser = new CImageButton(page);
        browser->setObjectName(QStringLiteral("browser"));
        back = new CImageButton(page);
        back->setObjectName(QStringLiteral("back"));
        burn = new CImageButton(page);
        burn->setObjectName(QStringLiteral("burn"));
        gptnote = new QLabel(page);
        gptnote->setObjectName(QStringLiteral("gptnote"));
        bootkinds = new QLabel(page);
        bootkinds->setObjectName(QStringLiteral("bootkinds"));
        diskimage = new QCheckBox(page);
        diskimage->setObjectName(QStringLiteral("diskimage"));
        routenote = new QLabel(page);
        routenote->setObjectName(QStringLiteral("routenote"));
        page->setWindowTitle(QStringLiteral("Dialog"));
    }
};
} // namespace Ui

QString CBurnDialog::dvdCurrent;

namespace {

const char *const RadioStyle = "QRadioButton::indicator:checked {\n"
                               "    image: url(:/nwu/rchecked);\n"
                               "}\n"
                               "\n"
                               "QRadioButton::indicator:unchecked {\n"
                               "    image: url(:/nwu/runchecked);\n"
                               "}";

// Refuses, as they are typed, the characters a FAT volume label cannot hold.
class LabelValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        for (const QChar c : input) {
            if (!BurnLogic::IsLabelChar(c))
                return Invalid;
        }
        return Acceptable;
    }
};

// A message with OK only; file names and tool output are shown as plain text.
void showMessage(const QString &text)
{
    CommDialog dialog;
    dialog.SetPlainText(text);
    dialog.SetCancelHidden();
    dialog.exec();
}

// Runs a command to its end while the interface keeps running; its whole output goes to lines
// when asked for.
CRunOutcome runCollect(const QString &program, const QStringList &arguments,
                       const CErrorLineReader &reader, QStringList *lines = nullptr)
{
    CRunCommandThread runner;
    runner.m_CollectOutput = lines != nullptr;
    runner.SetErrorReader(reader);
    runner.SetRunCmd(program, arguments);
    runner.start();
    runner.waitFinished();
    runner.wait();
    if (lines)
        *lines = runner.m_OutputLines;
    return runner.Outcome();
}

// The "diskutil info" report of a disk; what it printed within 30 seconds.
QString diskutilInfo(const QString &disk)
{
    const QString report = Util::callexternapp(PlatformTools::Program(QStringLiteral("diskutil")),
                                               DiskTools::InfoArgs(disk), 30000);
    qCDebug(lcBurn) << "diskutil info" << disk << report;
    return report;
}

} // namespace

CBurnDialog::CBurnDialog(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , ui(new Ui::CBurnDialog)
    , m_ProgressDialog(this)
{
    SetEscapeAsBack(
        [this] {
            // Never while the page is listing drives or burning.
            return !m_Burning && !m_Refreshing;
        },
        [this] { onBack(); });
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("Vexlor"));
    SetBackGround(QStringLiteral(":/nwu/page1"));

    ui->rdvd->move(113, 83);
    ui->dvdlist->move(135, 137);
    ui->dvdlist->setFixedSize(371, 23);
    ui->rusb->move(113, 179);
    ui->usblist->move(135, 222);
    ui->usblist->setFixedSize(371, 23);
    ui->ptlist->move(260, 258);
    ui->ptlist->setFixedSize(246, 23);
    ui->sysfilelist->move(135, 349);
    ui->sysfilelist->setFixedSize(180, 23);
    ui->volumelab->move(405, 351);
    ui->volumelab->setFixedSize(208, 23);
    ui->volumelab->setValidator(new LabelValidator(ui->volumelab));
    ui->isofile->move(135, 26);
    ui->isofile->setFixedSize(306, 23);
    ui->rdvd->setStyleSheet(QString::fromLatin1(RadioStyle));
    ui->rusb->setStyleSheet(QString::fromLatin1(RadioStyle));

    ui->browser->SetBackGround(QStringLiteral(":/nwu/Broswe1"), QStringLiteral(":/nwu/Broswe2"),
                               QStringLiteral(":/nwu/Broswe3"), QString());
    ui->browser->move(462, 26);
    ui->back->SetBackGround(QStringLiteral(":/nwu/backwhite1"), QStringLiteral(":/nwu/backwhite2"),
                            QStringLiteral(":/nwu/backwhite3"), QString());
    ui->back->move(145, 405);
    ui->burn->SetBackGround(QStringLiteral(":/nwu/burn1"), QStringLiteral(":/nwu/burn2"),
                            QStringLiteral(":/nwu/burn3"), QString());
    ui->burn->move(279, 405);

    // A GPT stick has no place for the BIOS boot code of the MBR route; it starts on UEFI
    // firmware through the EFI/BOOT files of the image (or of its UEFI boot image).
    ui->gptnote->setText(QStringLiteral("A GPT USB disk is for UEFI firmware: it starts on UEFI "
                                        "firmware only, not on a legacy BIOS."));
    ui->gptnote->setWordWrap(true);
    ui->gptnote->setStyleSheet(QStringLiteral("font:12px;\ncolor:#606060;"));
    ui->gptnote->setGeometry(135, 284, 371, 32);
    ui->gptnote->hide();
    // What the chosen image can start with, under its name.
    ui->bootkinds->setStyleSheet(QStringLiteral("font:12px;\ncolor:#606060;"));
    ui->bootkinds->setGeometry(135, 50, 371, 16);
    ui->bootkinds->hide();
    connect(ui->isofile, &QLineEdit::textChanged, this, &CBurnDialog::ShowBootKinds);
    // An image that carries its own partition table is written as a disk image by default.
    ui->diskimage->setText(
        QStringLiteral("Write as a disk image (it has its own partition table)"));
    ui->diskimage->setStyleSheet(QStringLiteral("font:12px;\ncolor:#606060;"));
    ui->diskimage->setGeometry(135, 64, 371, 18);
    ui->diskimage->hide();
    ui->routenote->setText(QStringLiteral("Written as a disk image: its own partitions replace "
                                          "the partition scheme, file system and label."));
    ui->routenote->setWordWrap(true);
    ui->routenote->setStyleSheet(QStringLiteral("font:12px;\ncolor:#606060;"));
    ui->routenote->setGeometry(135, 284, 371, 32);
    ui->routenote->hide();
    connect(ui->diskimage, &QCheckBox::toggled, this, &CBurnDialog::ApplyEnabled);

    const auto clicked = qOverload<>(&CImageButton::clicked);
    connect(ui->browser, clicked, this, &CBurnDialog::onBrowser);
    connect(ui->back, clicked, this, &CBurnDialog::onBack);
    connect(ui->burn, clicked, this, &CBurnDialog::onBurn);
    connect(ui->volumelab, &QLineEdit::textChanged, this, &CBurnDialog::OnVolumeLabTextChange);
    connect(ui->ptlist, qOverload<int>(&QComboBox::currentIndexChanged), this,
            &CBurnDialog::OnMBRSelect);
    connect(ui->rdvd, &QRadioButton::toggled, this, &CBurnDialog::OnRadioSelected);
    connect(ui->dvdlist, &CMyComboBox::dropdownclicked, this, &CBurnDialog::OnRefresh);
    connect(ui->usblist, &CMyComboBox::dropdownclicked, this, &CBurnDialog::OnRefresh);
    if (parent && parent->metaObject()->indexOfSignal("sigdrivechange()") >= 0)
        connect(parent, SIGNAL(sigdrivechange()), this, SLOT(InitializeUSBAndDVDComboBox()));

    OnRadioSelected();
}

CBurnDialog::~CBurnDialog()
{
    // An optical burn still running goes on to its end; its runner must not outlive the wait.
    if (m_CurrentRunner) {
        m_CurrentRunner->disconnect(this);
        if (!m_CurrentRunner->isFinished() && !m_CurrentRunner->wait(5000))
            qCWarning(lcBurn) << "CBurnDialog::~CBurnDialog the burn is still running; left behind";
        else
            delete m_CurrentRunner;
        m_CurrentRunner = nullptr;
    }
    delete ui;
    ui = nullptr;
}

// --- form ---------------------------------------------------------------------------------

void CBurnDialog::onBack()
{
    close();
}

void CBurnDialog::onBrowser()
{
    const QString file = Util::GetOpenFileDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (file.isEmpty() || !QFileInfo::exists(file))
        return;
    ui->isofile->setText(file);
}

void CBurnDialog::ShowBootKinds()
{
    const QString image = ui->isofile->text().trimmed();
    ui->bootkinds->setVisible(!image.isEmpty());
    m_BootFacts = BurnLogic::BootFacts();
    m_BootKinds.clear();
    bool offer = false;
    if (!image.isEmpty()) {
        const ElTorito::Catalog catalog = ElTorito::ReadCatalog(image);
        m_BootKinds = ElTorito::BootKinds(catalog);
        QStringList lines;
        Util::SetCursorBusy();
        runCollect(SevenZip::Program(), SevenZip::ListArgs(image), SevenZip::ErrorReader(), &lines);
        Util::RestoreCursor();
        const QStringList paths = UefiBoot::ListedPaths(lines);
        m_BootFacts.biosEntry = catalog.hasBios();
        m_BootFacts.bootmgr = BurnLogic::HasBootmgr(paths);
        m_BootFacts.uefiLoader = UefiBoot::Decide(paths, catalog).need != UefiBoot::Need::NoUefi;
        // The disk-image route is offered for images with a partition table of their own and
        // no /bootmgr (which the file route's boot loader starts).
        QFile file(image);
        offer = file.open(QIODevice::ReadOnly) && BurnLogic::OfferDiskImage(file.read(1024), paths);
    }
    ui->diskimage->setVisible(offer);
    ui->diskimage->setChecked(offer);
    ApplyEnabled();
}

void CBurnDialog::ShowStarts()
{
    // What the image can start with, and for a USB disk what the stick will start on.
    QString text = QStringLiteral("Boot: ") + m_BootKinds;
    if (ui->rusb->isChecked())
        text += QStringLiteral("; the USB disk will start on ")
            + BurnLogic::StartsText(BurnLogic::WillStart(
                m_BootFacts, DiskImageRoute(), BurnLogic::IsGptChoice(ui->ptlist->currentText())));
    ui->bootkinds->setText(text);
}

bool CBurnDialog::RefuseStartsNowhere(bool diskImage, bool gpt)
{
    const QString why
        = BurnLogic::StartsNowhereText(m_BootFacts, !ui->diskimage->isHidden(), diskImage, gpt);
    if (why.isEmpty())
        return true;
    m_Burning = false;
    ApplyEnabled();
    showMessage(why);
    return false;
}

bool CBurnDialog::DiskImageRoute() const
{
    return ui->rusb->isChecked() && !ui->diskimage->isHidden() && ui->diskimage->isChecked();
}

void CBurnDialog::OnVolumeLabTextChange(QString text)
{
    const QString clean = BurnLogic::CleanLabel(text);
    if (clean != text)
        ui->volumelab->setText(clean);
}

void CBurnDialog::OnMBRSelect()
{
    const bool gpt = ui->ptlist->currentIndex() == 1;
    if (gpt) {
        ui->sysfilelist->setCurrentIndex(0);
        ui->sysfilelist->setEnabled(false);
    } else {
        ui->sysfilelist->setEnabled(true);
    }
    ui->gptnote->setVisible(gpt);
    ShowStarts();
}

void CBurnDialog::OnRadioSelected()
{
    ApplyEnabled();
    InitializeUSBAndDVDComboBox(0);
}

void CBurnDialog::ApplyEnabled()
{
    // From the press on Burn to its end nothing of the page can be changed.
    const bool idle = !m_Burning;
    const bool dvd = ui->rdvd->isChecked();
    ui->rdvd->setEnabled(idle);
    ui->rusb->setEnabled(idle);
    ui->isofile->setEnabled(idle);
    ui->browser->setEnabled(idle);
    ui->back->setEnabled(idle);
    ui->burn->setEnabled(idle);
    ui->dvdlist->setEnabled(idle && dvd);
    ui->usblist->setEnabled(idle && !dvd);
    ui->ptlist->setEnabled(idle && !dvd);
    // A GPT choice keeps FAT32 locked.
    ui->sysfilelist->setEnabled(idle && !dvd && ui->ptlist->currentIndex() != 1);
    ui->volumelab->setEnabled(idle && !dvd);
    ui->diskimage->setEnabled(idle && !dvd);
    ShowStarts();
    // A disk image brings its own partitions: the scheme, file system and label do not apply.
    const bool image = DiskImageRoute();
    ui->routenote->setVisible(image);
    // The note on GPT sticks shares the place; it speaks of the file route only.
    ui->gptnote->setVisible(!image && !dvd && ui->ptlist->currentIndex() == 1);
    if (image) {
        ui->ptlist->setEnabled(false);
        ui->sysfilelist->setEnabled(false);
        ui->volumelab->setEnabled(false);
    }
}

void CBurnDialog::OnRefresh()
{
    InitializeUSBAndDVDComboBox(sender() == ui->dvdlist ? 1 : 2);
}

// --- lists --------------------------------------------------------------------------------

void CBurnDialog::InitializeUSBAndDVDComboBox(int type)
{
    if (type < 0 || type > 2)
        return;
    // Events are handled while the tools run; a refresh asked for meanwhile (a press on a
    // list, a drive change) does not start a nested one, and nothing is listed during a burn.
    if (m_Refreshing || m_Burning)
        return;
    m_Refreshing = true;
    if (type == 0 || type == 2)
        RefreshUSBList();
    if (type == 0 || type == 1)
        RefreshDVDList();
    m_Refreshing = false;
}

void CBurnDialog::RefreshUSBList()
{
    // The chosen disk stays chosen only while it is the same device; when it is gone nothing is
    // chosen, never another disk in its place.
    const int current = ui->usblist->currentIndex();
    const bool hadChoice = current >= 0 && current < m_ListedDisks.size();
    const BurnLogic::DiskIdentity chosen
        = hadChoice ? m_ListedDisks.at(current) : BurnLogic::DiskIdentity();
    const bool hadEntries = ui->usblist->count() > 0;
    ui->usblist->clear();
    m_ListedDisks.clear();
    CRunCommandThread runner;
    connect(&runner, &CRunCommandThread::standoutputline, this, &CBurnDialog::onUSBLineOutput);
    runner.SetRunCmd(PlatformTools::Program(QStringLiteral("diskutil")), DiskTools::ListArgs());
    runner.start();
    runner.waitFinished();
    runner.wait();
    if (!hadChoice && !hadEntries)
        return; // a first listing: the first disk is shown, as the list does by itself
    int at = -1;
    for (int i = 0; i < m_ListedDisks.size() && hadChoice; ++i) {
        if (BurnLogic::SameDisk(chosen, m_ListedDisks.at(i)))
            at = i;
    }
    ui->usblist->setCurrentIndex(at);
}

void CBurnDialog::onUSBLineOutput(QString line)
{
    const QString node = DiskTools::ListedDisk(line);
    if (node.isEmpty())
        return;
    const QString report = diskutilInfo(node);
    if (!DiskTools::IsUsbStickInfo(report))
        return;
    m_ListedDisks << BurnLogic::IdentityFromInfo(node, report);
    ui->usblist->addItem(node);
}

bool CBurnDialog::CheckDiskIsUSB(QString disk)
{
    return DiskTools::IsUsbStickInfo(diskutilInfo(disk));
}

void CBurnDialog::RefreshDVDList()
{
    m_DriveReader.Reset();
    CRunCommandThread runner;
    connect(&runner, &CRunCommandThread::standoutputline, this, &CBurnDialog::onLineOutput);
    runner.SetRunCmd(PlatformTools::Program(QStringLiteral("drutil")),
                     DiskTools::DriveStatusArgs());
    dvdCurrent = ui->dvdlist->currentText();
    ui->dvdlist->clear();
    runner.start();
    runner.waitFinished();
    runner.wait();
}

void CBurnDialog::onLineOutput(QString line)
{
    DiskTools::Drive drive;
    if (!m_DriveReader.Feed(line, &drive))
        return;
    ui->dvdlist->addItem(drive.Text(), drive.device);
    if (drive.Text() == dvdCurrent)
        ui->dvdlist->setCurrentIndex(ui->dvdlist->count() - 1);
}

// --- burning ------------------------------------------------------------------------------

void CBurnDialog::ShowPicture(const QString &image)
{
    GerneralDialog dialog;
    dialog.SetBackGround(image);
    dialog.AddOK(123, 0);
    dialog.exec();
}

void CBurnDialog::onBurn()
{
    // A press while the lists are being refilled does nothing: they are not complete yet.
    if (m_Burning || m_Refreshing)
        return;
    const QString image = ui->isofile->text().trimmed();
    if (!BurnLogic::IsIsoImage(image)) {
        ShowPicture(QStringLiteral(":/nwu/burn-fails"));
        return;
    }
    if (ui->rusb->isChecked())
        BurnUSB(image);
    else
        BurnDVD(image);
}

CRunOutcome CBurnDialog::RunStep(const QString &program, const QStringList &arguments,
                                 void (CBurnDialog::*onLine)(QString), CErrorLineReader reader)
{
    auto *runner = new CRunCommandThread();
    m_CurrentRunner = runner;
    if (onLine)
        connect(runner, &CRunCommandThread::standoutputline, this, onLine);
    runner->SetErrorReader(reader ? reader : BurnLogic::ToolLineReader());
    runner->SetRunCmd(program, arguments);
    runner->start();
    runner->waitFinished();
    runner->wait();
    const CRunOutcome end = runner->Outcome();
    m_CurrentRunner = nullptr;
    delete runner;
    if (BurnLogic::Judge(end) != BurnLogic::Outcome::Done)
        qCWarning(lcBurn) << "CBurnDialog" << program << arguments << "ended with" << end.exitCode
                          << end.errorLines;
    return end;
}

CRunOutcome CBurnDialog::RunAdminStep(const QString &tool, const QStringList &arguments,
                                      void (CBurnDialog::*onLine)(QString))
{
    // Every step that writes the disk: the tool takes the disk and its identity as arguments and
    // checks them itself as root; it runs as root directly or through the administrator prompt.
    const PlatformTools::Command command = PlatformTools::AsAdministrator(tool, arguments);
    return RunStep(command.program, command.arguments, onLine);
}

bool CBurnDialog::CheckImageFitsFat(const QString &image)
{
    BurnLogic::LargeFileScan scan;
    Util::SetCursorBusy();
    QStringList lines;
    const CRunOutcome end = runCollect(SevenZip::Program(), SevenZip::ListArgs(image),
                                       SevenZip::ErrorReader(), &lines);
    Util::RestoreCursor();
    for (const QString &line : qAsConst(lines))
        scan.AddLine(line);
    m_ImagePaths = UefiBoot::ListedPaths(lines);
    m_ImageFiles = scan.Files();
    m_SplitWim = scan.SplitWim();
    if (!scan.Complete()) {
        showMessage(BurnLogic::FailureText(
            QStringLiteral("The image \"%1\" cannot be read; the USB disk was not changed.")
                .arg(image),
            end));
        return false;
    }
    if (scan.Found()) {
        showMessage(BurnLogic::TooLargeText(scan.Path(), scan.Size()));
        return false;
    }
    return true;
}

BurnLogic::DiskIdentity CBurnDialog::CurrentIdentity(const QString &disk)
{
    BurnLogic::DiskIdentity now;
    QStringList lines;
    runCollect(PlatformTools::Program(QStringLiteral("diskutil")), DiskTools::ListArgs(), {},
               &lines);
    bool listed = false;
    for (const QString &line : qAsConst(lines))
        listed = listed || DiskTools::ListedDisk(line) == disk;
    if (!listed)
        return now;
    const QString report = diskutilInfo(disk);
    if (!DiskTools::IsUsbStickInfo(report))
        return now;
    return BurnLogic::IdentityFromInfo(disk, report);
}

void CBurnDialog::FailBurn(const QString &text)
{
    m_ProgressDialog.hide();
    Util::WriteLog(QStringLiteral("CBurnDialog burn failed: ") + text);
    showMessage(text);
    m_Burning = false;
    ApplyEnabled();
}

bool CBurnDialog::ConfirmFormat(const BurnLogic::DiskIdentity &disk)
{
    CommDialog dialog;
    dialog.SetAllowWarp();
    dialog.SetBackGround(QStringLiteral(":/nwu/format_usb"));
    dialog.SetText(QString());
    auto *name = new QLabel(&dialog);
    name->setObjectName(QStringLiteral("diskname"));
    name->setTextFormat(Qt::PlainText);
    name->setAlignment(Qt::AlignCenter);
    name->setStyleSheet(QStringLiteral("font:bold 12px;\ncolor:#404040;"));
    name->setText(BurnLogic::DiskText(disk));
    name->setGeometry(20, 108, 380, 24);
    return dialog.exec() == QDialog::Accepted;
}

bool CBurnDialog::VerifyStick(const QString &image, const QString &disk, const QString &mountPoint)
{
    m_ProgressDialog.SetText(QStringLiteral("Verifying..."));
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.SetValue(0);
    QString error;
    BurnLogic::VerifyResult result;
    QAtomicInt percent(0);
    QEventLoop wait;
    const QList<BurnLogic::ListedFile> files = m_ImageFiles;
    const QString partition = DiskTools::FirstPartition(disk);
    QThread *worker = QThread::create([&] {
        error = BurnLogic::FlushVolume(mountPoint, partition);
        if (!error.isEmpty())
            return;
        result = BurnLogic::VerifyVolume(
            SevenZip::Program(),
            { QStringLiteral("x"), QStringLiteral("-so"), QStringLiteral("--"), image }, files,
            mountPoint, [&percent](qint64 done, qint64 total) {
                percent.storeRelaxed(total > 0 ? int(done * 100 / total) : 100);
            });
    });
    QTimer tick;
    connect(&tick, &QTimer::timeout, this,
            [&] { m_ProgressDialog.SetValue(percent.loadRelaxed()); });
    tick.start(200);
    connect(worker, &QThread::finished, &wait, &QEventLoop::quit);
    worker->start();
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    delete worker;
    if (!error.isEmpty()) {
        FailBurn(QStringLiteral("The image could not be written to the USB disk %1: %2")
                     .arg(disk, error));
        return false;
    }
    if (!result.ok) {
        FailBurn(BurnLogic::VerifyFailureText(result, disk));
        return false;
    }
    m_ProgressDialog.SetValue(100);
    return true;
}

void CBurnDialog::BurnUSB(const QString &image)
{
    using namespace BurnLogic;
    const int index = ui->usblist->currentIndex();
    const QString disk = ui->usblist->currentText();
    if (disk.isEmpty() || index < 0 || index >= m_ListedDisks.size()) {
        ShowPicture(QStringLiteral(":/nwu/insert_usb"));
        return;
    }
    // The disk is the one shown at the press; the page keeps still from here to the end.
    const DiskIdentity chosen = m_ListedDisks.at(index);
    m_Burning = true;
    ApplyEnabled();
    if (DiskImageRoute()) {
        BurnDiskImage(image, chosen);
        return;
    }
    // A file FAT cannot hold is found before the user is asked to give the disk up.
    if (!CheckImageFitsFat(image)) {
        m_Burning = false;
        ApplyEnabled();
        return;
    }
    const bool gpt = IsGptChoice(ui->ptlist->currentText());
    if (!RefuseStartsNowhere(false, gpt))
        return;
    if (!ConfirmFormat(chosen)) {
        m_Burning = false;
        ApplyEnabled();
        return;
    }
    const QString goneText = QStringLiteral("The USB disk %1 is no longer the disk that was "
                                            "chosen (it was removed or changed). Nothing was "
                                            "written to it; choose the disk again.")
                                 .arg(disk);
    DiskIdentity now = CurrentIdentity(disk);
    if (!SameDisk(chosen, now)) {
        FailBurn(goneText);
        InitializeUSBAndDVDComboBox(2);
        return;
    }
    const qint64 imageSize = QFileInfo(image).size();
    if (!EnoughSpace(now.size, imageSize)) {
        m_Burning = false;
        ApplyEnabled();
        ShowPicture(QStringLiteral(":/nwu/insufficient_space"));
        return;
    }
    // The root tools check the disk again themselves, on the disk they hold.
    const QStringList identity = IdentityArgs(chosen);
    const QStringList partitionArgs
        = PartitionArgs(disk, ui->ptlist->currentText(), ui->sysfilelist->currentText(), now.size,
                        ui->volumelab->text())
        + identity;

    CRunOutcome end = RunStep(PlatformTools::Program(QStringLiteral("sync")), {});
    m_ProgressDialog.show();
    m_ProgressDialog.DisableCancel();
    m_ProgressDialog.SetText(QStringLiteral("The USB disk is formating..."));
    m_ProgressDialog.SetRange(0, 0);
    m_ProgressDialog.SetValue(0);

    // The right disk or none: looked at again right before anything is written.
    now = CurrentIdentity(disk);
    if (!SameDisk(chosen, now)) {
        FailBurn(goneText);
        InitializeUSBAndDVDComboBox(2);
        return;
    }
    end = RunAdminStep(QStringLiteral("diskutil"), partitionArgs);
    if (Judge(end) == Outcome::Refused) {
        FailBurn(QStringLiteral("The burn was cancelled: administrator rights were not given. "
                                "Nothing was written to the USB disk %1.")
                     .arg(disk));
        return;
    }
    if (Judge(end) != Outcome::Done) {
        FailBurn(
            FailureText(QStringLiteral("The USB disk %1 could not be formatted.").arg(disk), end));
        return;
    }

    m_ProgressDialog.SetText(QStringLiteral("make usb driver bootable..."));
    const QString mountPoint = Util::GetMountPoint(DiskTools::FirstPartition(disk));
    if (mountPoint.isEmpty()) {
        FailBurn(QStringLiteral("The new volume on %1 was not mounted, so the image cannot be "
                                "written to it.")
                     .arg(disk));
        return;
    }
    if (!gpt) {
        end = RunAdminStep(QStringLiteral("diskutil"), DiskTools::UnmountDiskArgs(disk) + identity);
        if (Judge(end) != Outcome::Done) {
            FailBurn(FailureText(
                QStringLiteral("The USB disk %1 could not be unmounted.").arg(disk), end));
            return;
        }
        end = RunAdminStep(QStringLiteral("mkbootable"),
                           QStringList { disk, mountPoint } + identity);
        const Outcome boot = Judge(end);
        if (boot == Outcome::Refused) {
            FailBurn(QStringLiteral("The burn was cancelled: administrator rights were not "
                                    "given. The USB disk %1 was formatted but not made "
                                    "bootable.")
                         .arg(disk));
            return;
        }
        if (boot != Outcome::Done) {
            FailBurn(FailureText(
                QStringLiteral("The USB disk %1 could not be made bootable.").arg(disk), end));
            return;
        }
        RunStep(PlatformTools::Program(QStringLiteral("sync")), {});
        RunStep(PlatformTools::Program(QStringLiteral("sync")), {});
        const QString config = mountPoint + QStringLiteral("/syslinux.cfg");
        if (!Util::WriteMulLinesToFile(SyslinuxConfig(), config)) {
            FailBurn(QStringLiteral("The boot-loader configuration could not be written to "
                                    "\"%1\".")
                         .arg(config));
            return;
        }
        RunStep(PlatformTools::Program(QStringLiteral("sync")), {});
    }

    m_ProgressDialog.SetText(QStringLiteral("Burning the USB disk..."));
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.SetValue(0);
    // What FAT cannot hold (modes, owners, old times, links) is left out, as FAT readers expect;
    // any other failure fails the burn, and the read-back checks every file.
    const auto skips = std::make_shared<FatSkips>();
    QStringList unpack = SevenZip::UnpackArgs(mountPoint, image);
    if (!m_SplitWim.isEmpty()) // split onto the stick afterwards
        unpack.insert(unpack.indexOf(QStringLiteral("--")), QStringLiteral("-x!") + m_SplitWim);
    end = RunStep(SevenZip::Program(), unpack, &CBurnDialog::onUSBBurnOutput,
                  FatUnpackReader(mountPoint, skips));
    m_ImageFiles = FilesOnVolume(m_ImageFiles, *skips);
    if (!m_SplitWim.isEmpty()) {
        skips->links << m_SplitWim;
        m_ImageFiles = FilesOnVolume(m_ImageFiles, *skips);
    }
    // 7-Zip's failure lines, in its own words for the user.
    ExtractLogic::ToolErrors errors;
    for (const QString &line : qAsConst(end.errorLines))
        errors.AddKept(line);
    if (!UnpackSucceeded(end, *skips)) {
        end.errorLines = errors.Lines();
        FailBurn(FailureText(
            QStringLiteral("The image could not be written to the USB disk %1.").arg(disk), end));
        return;
    }
    // An image whose UEFI loader lies only inside its UEFI boot image gets that loader's EFI
    // folder on the volume too (read on a worker thread; the interface keeps running).
    UefiBoot::Result uefi;
    QEventLoop wait;
    QThread *worker = QThread::create(
        [&] { uefi = UefiBoot::MakeVolumeUefiBootable(image, mountPoint, m_ImagePaths); });
    connect(worker, &QThread::finished, &wait, &QEventLoop::quit);
    worker->start();
    wait.exec(QEventLoop::ExcludeUserInputEvents);
    worker->wait();
    delete worker;
    if (uefi.outcome == UefiBoot::Outcome::Failed) {
        RunStep(PlatformTools::Program(QStringLiteral("sync")), {});
        FailBurn(QStringLiteral("The image was written to the USB disk %1, but the files that "
                                "start it on UEFI firmware could not be added: %2")
                     .arg(disk, uefi.error));
        return;
    }
    if (!m_SplitWim.isEmpty() && !SplitWimOnto(image, disk, mountPoint))
        return;
    // Only a stick whose every file reads back as the image's is a success.
    if (!VerifyStick(image, disk, mountPoint))
        return;
    m_ProgressDialog.hide();
    Util::WriteLog(QStringLiteral("CBurnDialog burnt ") + image + QStringLiteral(" to ") + disk);
    Util::ShowError(QStringLiteral("Burning Successfully..."));
    m_Burning = false;
    ApplyEnabled();
}

void CBurnDialog::BurnDiskImage(const QString &image, const BurnLogic::DiskIdentity &chosen)
{
    using namespace BurnLogic;
    const QString disk = chosen.node;
    if (!RefuseStartsNowhere(true, false))
        return;
    if (!ConfirmFormat(chosen)) {
        m_Burning = false;
        ApplyEnabled();
        return;
    }
    const DiskIdentity now = CurrentIdentity(disk);
    if (!SameDisk(chosen, now)) {
        FailBurn(QStringLiteral("The USB disk %1 is no longer the disk that was chosen (it was "
                                "removed or changed). Nothing was written to it; choose the disk "
                                "again.")
                     .arg(disk));
        InitializeUSBAndDVDComboBox(2);
        return;
    }
    if (now.size < QFileInfo(image).size()) {
        m_Burning = false;
        ApplyEnabled();
        ShowPicture(QStringLiteral(":/nwu/insufficient_space"));
        return;
    }
    m_ProgressDialog.show();
    m_ProgressDialog.DisableCancel();
    m_ProgressDialog.SetText(QStringLiteral("Burning the USB disk..."));
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.SetValue(0);
    // The tool writes, flushes, reads back and compares on the disk it holds.
    const CRunOutcome end = RunAdminStep(
        QStringLiteral("diskutil"), DiskTools::WriteImageArgs(disk, image) + IdentityArgs(chosen),
        &CBurnDialog::onImageWriteOutput);
    if (Judge(end) == Outcome::Refused) {
        FailBurn(QStringLiteral("The burn was cancelled: administrator rights were not given. "
                                "Nothing was written to the USB disk %1.")
                     .arg(disk));
        return;
    }
    if (Judge(end) != Outcome::Done) {
        FailBurn(FailureText(
            QStringLiteral("The image could not be written to the USB disk %1.").arg(disk), end));
        return;
    }
    m_ProgressDialog.hide();
    Util::WriteLog(QStringLiteral("CBurnDialog wrote the disk image ") + image
                   + QStringLiteral(" to ") + disk);
    Util::ShowError(QStringLiteral("Burning Successfully..."));
    m_Burning = false;
    ApplyEnabled();
}

bool CBurnDialog::SplitWimOnto(const QString &image, const QString &disk, const QString &mountPoint)
{
    // The installation image goes onto the stick in parts FAT can hold, which Windows Setup
    // reads as they are.
    m_ProgressDialog.SetText(QStringLiteral("Splitting the Windows installation image..."));
    m_ProgressDialog.SetRange(0, 100);
    Wimlib::SplitJob job;
    job.image = image;
    job.entry = m_SplitWim;
    job.volume = mountPoint;
    job.scratch = Util::GetTempDir() + QStringLiteral("/wimsplit");
    job.partMiB
        = Wimlib::PartMiB(qMin(BurnLogic::FileLimit(), Wimlib::VolumeFileLimit(mountPoint)));
    const CRunOutcome end = Wimlib::SplitOnto(
        job, [this](Wimlib::Stage, int percent) { m_ProgressDialog.SetValue(percent); });
    if (BurnLogic::Judge(end) != BurnLogic::Outcome::Done) {
        FailBurn(BurnLogic::FailureText(
            QStringLiteral("The Windows installation image \"%1\" could not be split onto the "
                           "USB disk %2.")
                .arg(m_SplitWim, disk),
            end));
        return false;
    }
    return true;
}

void CBurnDialog::onImageWriteOutput(QString line)
{
    if (line.trimmed() == QLatin1String("Verifying...")) {
        m_ProgressDialog.SetText(QStringLiteral("Verifying..."));
        return;
    }
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (isProgress)
        m_ProgressDialog.SetValue(int(fraction * 100));
}

void CBurnDialog::onUSBBurnOutput(QString line)
{
    qCDebug(lcBurn) << "CBurnDialog::onUSBBurnOutput" << line;
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (progress.valid)
        m_ProgressDialog.SetValue(progress.percent);
}

void CBurnDialog::BurnDVD(const QString &image)
{
    const int i = ui->dvdlist->currentIndex();
    if (i < 0 || i >= ui->dvdlist->count())
        return;
    const QString device = ui->dvdlist->itemData(i).toString();
    m_Burning = true;
    ApplyEnabled();
    m_ProgressDialog.show();
    m_ProgressDialog.DisableCancel();
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.SetValue(0);
    m_ProgressDialog.SetText(QStringLiteral("Burning the disc..."));

    auto *runner = new CRunCommandThread();
    m_CurrentRunner = runner;
    connect(runner, &CRunCommandThread::sigfinished, this, &CBurnDialog::onDVDBurnFinished);
    connect(runner, &CRunCommandThread::standoutputline, this, &CBurnDialog::onDVDBurnOutput);
    runner->SetErrorReader(BurnLogic::ToolLineReader());
    runner->SetRunCmd(PlatformTools::Program(QStringLiteral("hdiutil")),
                      DiskTools::BurnArgs(image, device));
    runner->start();
}

void CBurnDialog::onDVDBurnOutput(QString line)
{
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (isProgress && fraction > 0)
        m_ProgressDialog.SetValue(int(fraction * 100));
}

void CBurnDialog::onDVDBurnFinished()
{
    auto *runner = qobject_cast<CRunCommandThread *>(sender());
    if (!runner || runner != m_CurrentRunner)
        return;
    m_CurrentRunner = nullptr;
    const CRunOutcome end = runner->Outcome();
    runner->wait();
    runner->deleteLater();
    if (BurnLogic::Judge(end) == BurnLogic::Outcome::Done) {
        m_ProgressDialog.hide();
        Util::WriteLog(QStringLiteral("CBurnDialog burnt a disc"));
        Util::ShowError(QStringLiteral("Burning disc successfully."));
        m_Burning = false;
        ApplyEnabled();
    } else {
        qCWarning(lcBurn) << "CBurnDialog::onDVDBurnFinished" << end.exitCode << end.errorLines;
        FailBurn(BurnLogic::FailureText(QStringLiteral("The disc could not be burnt."), end));
    }
}
