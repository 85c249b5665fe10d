#include "pages/cburndialog.h"

#include "pages/common/cdrivelist.h"
#include "pages/common/pagestyle.h"
#include "services/disktools.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/charvalidator.h"
#include "ui/cimagebutton.h"
#include "ui/cmycombobox.h"
#include "ui/gerneraldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QRadioButton>

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
        using PageStyle::Button;
        using PageStyle::Placed;
        using PageStyle::Radio;
        page->setObjectName(QStringLiteral("CBurnDialog"));
        page->resize(664, 472);
        rdvd = Radio(page, "rdvd", QString(), 113, 83);
        rdvd->setChecked(true);
        dvdlist = Placed(new CMyComboBox(page), "dvdlist", 135, 137, 371, 23);
        rusb = Radio(page, "rusb", QString(), 113, 179);
        // Their words are in the background: a press beside the indicator picks it too.
        for (QRadioButton *radio : { rdvd, rusb })
            radio->resize(100, 30);
        usblist = Placed(new CMyComboBox(page), "usblist", 135, 222, 371, 23);
        ptlist = Placed(new QComboBox(page), "ptlist", 260, 258, 246, 23);
        ptlist->addItems({ QStringLiteral("MBR(for legacy BIOS/CSM boot)"),
                           QStringLiteral("GPT(required for UEFI boot)") });
        sysfilelist = Placed(new QComboBox(page), "sysfilelist", 135, 349, 180, 23);
        sysfilelist->addItems({ QStringLiteral("FAT32"), QStringLiteral("FAT") });
        volumelab = Placed(new QLineEdit(page), "volumelab", 405, 351, 208, 23);
        volumelab->setMaxLength(BurnLogic::LabelMaxLength);
        isofile = Placed(new QLineEdit(page), "isofile", 135, 26, 306, 23);
        isofile->setReadOnly(true);
        browser = Button(page, "browser", QStringLiteral(":/nwu/Broswe"), 462, 26);
        back = Button(page, "back", QStringLiteral(":/nwu/backwhite"), 145, 405);
        burn = Button(page, "burn", QStringLiteral(":/nwu/burn"), 279, 405);
        const QString note = QStringLiteral("font:12px;\ncolor:#606060;");
        // A GPT stick has no place for the BIOS boot code of the MBR route; it starts on UEFI
        // firmware through the EFI/BOOT files of the image (or of its UEFI boot image).
        gptnote = Placed(new QLabel(QStringLiteral("A GPT USB disk is for UEFI firmware: it "
                                                   "starts on UEFI firmware only, not on a "
                                                   "legacy BIOS."),
                                    page),
                         "gptnote", 135, 284, 371, 32, note);
        // What the chosen image can start with, under its name.
        bootkinds = Placed(new QLabel(page), "bootkinds", 135, 50, 371, 16, note);
        // An image that carries its own partition table is written as a disk image by default.
        diskimage = Placed(new QCheckBox(QStringLiteral("Write as a disk image (it has its own "
                                                        "partition table)"),
                                         page),
                           "diskimage", 135, 64, 371, 18, note);
        routenote = Placed(new QLabel(QStringLiteral("Written as a disk image: its own partitions "
                                                     "replace the partition scheme, file system "
                                                     "and label."),
                                      page),
                           "routenote", 135, 284, 371, 32, note);
        for (QLabel *label : { gptnote, routenote })
            label->setWordWrap(true);
        for (QWidget *hidden : QList<QWidget *> { gptnote, bootkinds, diskimage, routenote })
            hidden->hide();
        page->setWindowTitle(QStringLiteral("Dialog"));
    }
};
} // namespace Ui

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
    // The characters a FAT volume label cannot hold are refused as they are typed.
    ui->volumelab->setValidator(new CharValidator(BurnLogic::IsLabelChar, ui->volumelab));
    m_Drives = new CDriveList(ui->dvdlist, this);
    m_UsbDisks = new CUsbDiskList(ui->usblist, this);

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
    connect(ui->isofile, &QLineEdit::textChanged, this, &CBurnDialog::ShowBootKinds);
    connect(ui->diskimage, &QCheckBox::toggled, this, &CBurnDialog::ApplyEnabled);

    OnRadioSelected();
}

CBurnDialog::~CBurnDialog()
{
    // A burn still running is left to its job, which goes once it has ended.
    if (m_Job)
        m_Job->Abandon();
    delete ui;
}

// --- form ---------------------------------------------------------------------------------

void CBurnDialog::onBack()
{
    close();
}

void CBurnDialog::onBrowser()
{
    const QString file = Util::GetOpenFileDialog(this, QStringLiteral("ISO Files(*.ISO)"));
    if (!file.isEmpty() && QFileInfo::exists(file))
        ui->isofile->setText(file);
}

void CBurnDialog::ShowBootKinds()
{
    const QString image = ui->isofile->text().trimmed();
    ui->bootkinds->setVisible(!image.isEmpty());
    Util::SetCursorBusy();
    m_Image = image.isEmpty() ? BurnJob::ImageFacts() : BurnJob::ReadImage(image);
    Util::RestoreCursor();
    // The disk-image route is offered for images with a partition table of their own and no
    // /bootmgr (which the file route's boot loader starts).
    ui->diskimage->setVisible(m_Image.offerDiskImage);
    ui->diskimage->setChecked(m_Image.offerDiskImage);
    ApplyEnabled();
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
    // GPT takes FAT32 and keeps it (ApplyEnabled locks the choice).
    if (ui->ptlist->currentIndex() == 1)
        ui->sysfilelist->setCurrentIndex(0);
    ApplyEnabled();
}

void CBurnDialog::OnRadioSelected()
{
    ApplyEnabled();
    InitializeUSBAndDVDComboBox(0);
}

void CBurnDialog::ApplyEnabled()
{
    // From the press on Burn to its end nothing of the page can be changed.
    const bool dvd = ui->rdvd->isChecked();
    const bool image = DiskImageRoute();
    const bool gpt = BurnLogic::IsGptChoice(ui->ptlist->currentText());
    const BurnLogic::FormState form = BurnLogic::Form(m_Burning, dvd, image, gpt);
    for (QWidget *w :
         QList<QWidget *> { ui->rdvd, ui->rusb, ui->isofile, ui->browser, ui->back, ui->burn })
        w->setEnabled(form.idle);
    ui->dvdlist->setEnabled(form.dvdList);
    ui->usblist->setEnabled(form.usbList);
    ui->diskimage->setEnabled(form.usbList);
    ui->ptlist->setEnabled(form.scheme);
    ui->volumelab->setEnabled(form.scheme);
    ui->sysfilelist->setEnabled(form.fileSystem);
    ui->bootkinds->setText(BurnLogic::BootLine(m_Image.bootKinds, m_Image.boot, !dvd, image, gpt));
    // The two notes share one place.
    ui->routenote->setVisible(form.routeNote);
    ui->gptnote->setVisible(form.gptNote);
}

void CBurnDialog::OnRefresh()
{
    InitializeUSBAndDVDComboBox(sender() == ui->dvdlist ? 1 : 2);
}

// --- lists --------------------------------------------------------------------------------

void CBurnDialog::InitializeUSBAndDVDComboBox(int type)
{
    // Events are handled while the tools run; a refresh asked for meanwhile (a press on a
    // list, a drive change) does not start a nested one, and nothing is listed during a burn.
    if (type < 0 || type > 2 || m_Refreshing || m_Burning)
        return;
    m_Refreshing = true;
    if (type == 0 || type == 2)
        m_UsbDisks->RefreshAndWait();
    if (type == 0 || type == 1)
        m_Drives->RefreshAndWait();
    m_Refreshing = false;
}

void CBurnDialog::onUSBLineOutput(QString line)
{
    m_UsbDisks->AddLine(line);
}

bool CBurnDialog::CheckDiskIsUSB(QString disk)
{
    return !BurnJob::UsbDisk(disk).node.isEmpty();
}

void CBurnDialog::onLineOutput(QString line)
{
    m_Drives->AddLine(line);
}

// --- burning ------------------------------------------------------------------------------

void CBurnDialog::onBurn()
{
    // A press while the lists are being refilled does nothing: they are not complete yet.
    if (m_Burning || m_Refreshing)
        return;
    const QString image = ui->isofile->text().trimmed();
    if (!BurnLogic::IsIsoImage(image)) {
        GerneralDialog::ShowPicture(QStringLiteral(":/nwu/burn-fails"), 123);
        return;
    }
    // The page keeps still from here to the end.
    m_Burning = true;
    ApplyEnabled();
    if (ui->rusb->isChecked())
        BurnUSB(image);
    else
        BurnDVD(image);
    if (!m_Job)
        EndBurn();
}

void CBurnDialog::EndBurn()
{
    m_Burning = false;
    ApplyEnabled();
}

void CBurnDialog::FailBurn(const QString &text)
{
    m_ProgressDialog.hide();
    Util::WriteLog(QStringLiteral("CBurnDialog burn failed: ") + text);
    Util::ShowError(text);
    EndBurn();
}

void CBurnDialog::BurnUSB(const QString &image)
{
    // The disk is the one shown at the press, as it was listed.
    BurnJob::Request request;
    request.image = image;
    request.disk = m_UsbDisks->Chosen();
    if (request.disk.node.isEmpty()) {
        GerneralDialog::ShowPicture(QStringLiteral(":/nwu/insert_usb"), 123);
        return;
    }
    request.diskImage = DiskImageRoute();
    request.scheme = ui->ptlist->currentText();
    request.fileSystem = ui->sysfilelist->currentText();
    request.label = ui->volumelab->text();
    // What keeps the burn from going on is found before the user is asked to give the disk up.
    Util::SetCursorBusy();
    const QString refusal = BurnJob::Prepare(&request, !ui->diskimage->isHidden());
    Util::RestoreCursor();
    if (!refusal.isEmpty()) {
        Util::ShowError(refusal);
        return;
    }
    if (Util::ShowChoose(QStringLiteral(":/nwu/format_usb"), BurnLogic::DiskText(request.disk))
        != 1)
        return;
    if (!BurnLogic::EnoughSpace(request.disk.size, QFileInfo(image).size(), request.diskImage)) {
        GerneralDialog::ShowPicture(QStringLiteral(":/nwu/insufficient_space"), 123);
        return;
    }
    StartJob(request);
    // The press returns once the burn has ended and its message was closed, as it always has.
    while (m_Burning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void CBurnDialog::BurnDVD(const QString &image)
{
    const int i = ui->dvdlist->currentIndex();
    if (i < 0 || i >= ui->dvdlist->count())
        return;
    BurnJob::Request request;
    request.image = image;
    request.drive = ui->dvdlist->itemData(i).toString();
    // The burn goes on in the background; the progress window keeps the user from other input.
    StartJob(request);
}

void CBurnDialog::StartJob(const BurnJob::Request &request)
{
    m_Failure.clear();
    m_Job = new BurnJob(request, this);
    connect(m_Job, &BurnJob::progressText, &m_ProgressDialog, &CProgressDialog::SetText);
    connect(m_Job, &BurnJob::progressValue, &m_ProgressDialog, &CProgressDialog::SetPercent);
    connect(m_Job, &BurnJob::stepFailed, this, [this](const QString &text) { m_Failure = text; });
    // Queued: the job has returned from its last step before it is dealt with.
    connect(m_Job, &BurnJob::finished, this, &CBurnDialog::OnJobFinished, Qt::QueuedConnection);
    m_ProgressDialog.show();
    m_ProgressDialog.DisableCancel();
    m_Job->Start();
}

void CBurnDialog::OnJobFinished(BurnJob::Outcome outcome)
{
    const bool disc = ui->rdvd->isChecked();
    delete m_Job;
    m_Job = nullptr;
    if (outcome != BurnJob::Outcome::Succeeded) {
        FailBurn(m_Failure);
        // A disk that changed is no longer chosen.
        if (!disc)
            InitializeUSBAndDVDComboBox(2);
        return;
    }
    if (disc)
        return onDVDBurnFinished();
    m_ProgressDialog.hide();
    Util::ShowError(QStringLiteral("Burning Successfully..."));
    EndBurn();
}

void CBurnDialog::onDVDBurnFinished()
{
    m_ProgressDialog.hide();
    Util::ShowError(QStringLiteral("Burning disc successfully."));
    EndBurn();
}

// A progress line of 7-Zip or of the disc burner into the progress window (the burn's job reads
// the lines of its own tools the same way).
void CBurnDialog::onUSBBurnOutput(QString line)
{
    qCDebug(lcBurn) << "CBurnDialog::onUSBBurnOutput" << line;
    const SevenZip::Progress progress = SevenZip::ParseProgress(line);
    if (progress.valid)
        m_ProgressDialog.SetValue(progress.percent);
}

void CBurnDialog::onDVDBurnOutput(QString line)
{
    bool isProgress = false;
    const double fraction = DiskTools::ProgressFraction(line, &isProgress);
    if (isProgress && fraction > 0)
        m_ProgressDialog.SetValue(int(fraction * 100));
}
