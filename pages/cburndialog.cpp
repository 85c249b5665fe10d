#include "pages/cburndialog.h"

#include "pages/common/cdrivelist.h"
#include "pages/common/pagestyle.h"
#include "services/cruncommandthread.h"
#include "services/disktools.h"
#include "services/platformtools.h"
#include "services/sevenzip.h"
#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/cmycombobox.h"
#include "ui/commdialog.h"
#include "ui/gerneraldialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QRadioButton>
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

namespace {

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
    ui->volumelab->setValidator(new LabelValidator(ui->volumelab));
    m_Drives = new CDriveList(ui->dvdlist, this);

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
    // A USB burn still running is stopped; its job goes once its step has ended.
    if (m_Job) {
        m_Job->disconnect(this);
        m_Job->setParent(nullptr);
        connect(m_Job, &BurnJob::finished, m_Job, &QObject::deleteLater);
        m_Job->Stop();
        if (!m_Job->IsRunning())
            m_Job->deleteLater();
    }
    // An optical burn still running goes on to its end; its runner must not outlive the wait.
    if (m_CurrentRunner) {
        m_CurrentRunner->disconnect(this);
        if (!m_CurrentRunner->isFinished() && !m_CurrentRunner->wait(5000))
            qCWarning(lcBurn) << "CBurnDialog::~CBurnDialog the burn is still running; left behind";
        else
            delete m_CurrentRunner;
    }
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

void CBurnDialog::ShowStarts()
{
    // What the image can start with, and for a USB disk what the stick will start on.
    QString text = QStringLiteral("Boot: ") + m_Image.bootKinds;
    if (ui->rusb->isChecked())
        text += QStringLiteral("; the USB disk will start on ")
            + BurnLogic::StartsText(BurnLogic::WillStart(
                m_Image.boot, DiskImageRoute(), BurnLogic::IsGptChoice(ui->ptlist->currentText())));
    ui->bootkinds->setText(text);
}

bool CBurnDialog::RefuseStartsNowhere(bool diskImage, bool gpt)
{
    const QString why
        = BurnLogic::StartsNowhereText(m_Image.boot, !ui->diskimage->isHidden(), diskImage, gpt);
    if (!why.isEmpty())
        showMessage(why);
    return why.isEmpty();
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
    if (gpt)
        ui->sysfilelist->setCurrentIndex(0);
    ui->sysfilelist->setEnabled(!gpt);
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
    // From the press on Burn to its end nothing of the page can be changed. A disk image brings
    // its own partitions: the scheme, file system and label do not apply.
    const bool idle = !m_Burning;
    const bool dvd = ui->rdvd->isChecked();
    const bool image = DiskImageRoute();
    for (QWidget *w :
         QList<QWidget *> { ui->rdvd, ui->rusb, ui->isofile, ui->browser, ui->back, ui->burn })
        w->setEnabled(idle);
    ui->dvdlist->setEnabled(idle && dvd);
    ui->usblist->setEnabled(idle && !dvd);
    ui->diskimage->setEnabled(idle && !dvd);
    ui->ptlist->setEnabled(idle && !dvd && !image);
    ui->volumelab->setEnabled(idle && !dvd && !image);
    // A GPT choice keeps FAT32 locked.
    ui->sysfilelist->setEnabled(idle && !dvd && !image && ui->ptlist->currentIndex() != 1);
    ShowStarts();
    ui->routenote->setVisible(image);
    // The note on GPT sticks shares the place; it speaks of the file route only.
    ui->gptnote->setVisible(!image && !dvd && ui->ptlist->currentIndex() == 1);
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
        RefreshUSBList();
    if (type == 0 || type == 1)
        m_Drives->RefreshAndWait();
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
    const BurnLogic::DiskIdentity disk
        = node.isEmpty() ? BurnLogic::DiskIdentity() : BurnJob::UsbDisk(node);
    if (disk.node.isEmpty())
        return;
    m_ListedDisks << disk;
    ui->usblist->addItem(node);
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
    // The page keeps still from here to the end.
    m_Burning = true;
    ApplyEnabled();
    if (ui->rusb->isChecked())
        BurnUSB(image);
    else
        BurnDVD(image);
    if (!m_Job && !m_CurrentRunner) {
        m_Burning = false;
        ApplyEnabled();
    }
}

bool CBurnDialog::CheckImageFitsFat(BurnJob::Request *request)
{
    Util::SetCursorBusy();
    const BurnJob::ImageFacts facts = BurnJob::ReadImage(request->image);
    Util::RestoreCursor();
    request->imagePaths = facts.paths;
    request->files = facts.files;
    request->splitWim = facts.splitWim;
    if (!facts.complete)
        showMessage(BurnLogic::FailureText(
            QStringLiteral("The image \"%1\" cannot be read; the USB disk was not changed.")
                .arg(request->image),
            facts.listing));
    else if (!facts.tooLarge.isEmpty())
        showMessage(BurnLogic::TooLargeText(facts.tooLarge, facts.tooLargeSize));
    return facts.complete && facts.tooLarge.isEmpty();
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
    auto *name = PageStyle::Placed(new QLabel(BurnLogic::DiskText(disk), &dialog), "diskname", 20,
                                   108, 380, 24, QStringLiteral("font:bold 12px;\ncolor:#404040;"));
    name->setTextFormat(Qt::PlainText);
    name->setAlignment(Qt::AlignCenter);
    return dialog.exec() == QDialog::Accepted;
}

void CBurnDialog::BurnUSB(const QString &image)
{
    const int index = ui->usblist->currentIndex();
    if (ui->usblist->currentText().isEmpty() || index < 0 || index >= m_ListedDisks.size()) {
        ShowPicture(QStringLiteral(":/nwu/insert_usb"));
        return;
    }
    // The disk is the one shown at the press.
    BurnJob::Request request;
    request.image = image;
    request.disk = m_ListedDisks.at(index);
    request.diskImage = DiskImageRoute();
    request.scheme = ui->ptlist->currentText();
    request.fileSystem = ui->sysfilelist->currentText();
    request.label = ui->volumelab->text();
    // A file FAT cannot hold is found before the user is asked to give the disk up.
    if (!request.diskImage && !CheckImageFitsFat(&request))
        return;
    if (!RefuseStartsNowhere(request.diskImage, BurnLogic::IsGptChoice(request.scheme))
        || !ConfirmFormat(request.disk))
        return;
    const qint64 imageSize = QFileInfo(image).size();
    if (request.diskImage ? request.disk.size < imageSize
                          : !BurnLogic::EnoughSpace(request.disk.size, imageSize)) {
        ShowPicture(QStringLiteral(":/nwu/insufficient_space"));
        return;
    }
    m_Failure.clear();
    m_Job = new BurnJob(request, this);
    connect(m_Job, &BurnJob::progressText, &m_ProgressDialog, &CProgressDialog::SetText);
    connect(m_Job, &BurnJob::progressValue, this, [this](int percent) {
        m_ProgressDialog.SetRange(0, percent < 0 ? 0 : 100);
        m_ProgressDialog.SetValue(qMax(0, percent));
    });
    connect(m_Job, &BurnJob::stepFailed, this, [this](const QString &text) { m_Failure = text; });
    // Queued: the job has returned from its last step before it is dealt with.
    connect(m_Job, &BurnJob::finished, this, &CBurnDialog::OnJobFinished, Qt::QueuedConnection);
    m_ProgressDialog.show();
    m_ProgressDialog.DisableCancel();
    m_Job->Start();
    // The press returns once the burn has ended and its message was closed, as it always has.
    while (m_Burning)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void CBurnDialog::OnJobFinished(BurnJob::Outcome outcome)
{
    const QString disk = ui->usblist->currentText();
    delete m_Job;
    m_Job = nullptr;
    if (outcome == BurnJob::Outcome::Succeeded) {
        m_ProgressDialog.hide();
        Util::ShowError(QStringLiteral("Burning Successfully..."));
        m_Burning = false;
        ApplyEnabled();
        return;
    }
    FailBurn(outcome == BurnJob::Outcome::Stopped
                 ? QStringLiteral("The burn was stopped before it ended; the USB disk %1 may "
                                  "not be usable.")
                       .arg(disk)
                 : m_Failure);
    // A disk that changed is no longer chosen.
    InitializeUSBAndDVDComboBox(2);
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
    m_ProgressDialog.show();
    m_ProgressDialog.DisableCancel();
    m_ProgressDialog.SetRange(0, 100);
    m_ProgressDialog.SetValue(0);
    m_ProgressDialog.SetText(QStringLiteral("Burning the disc..."));
    m_CurrentRunner = new CRunCommandThread();
    connect(m_CurrentRunner, &CRunCommandThread::sigfinished, this,
            &CBurnDialog::onDVDBurnFinished);
    connect(m_CurrentRunner, &CRunCommandThread::standoutputline, this,
            &CBurnDialog::onDVDBurnOutput);
    m_CurrentRunner->SetErrorReader(BurnLogic::ToolLineReader());
    m_CurrentRunner->SetRunCmd(PlatformTools::Program(QStringLiteral("hdiutil")),
                               DiskTools::BurnArgs(image, ui->dvdlist->itemData(i).toString()));
    m_CurrentRunner->start();
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
    if (BurnLogic::Judge(end) != BurnLogic::Outcome::Done) {
        qCWarning(lcBurn) << "CBurnDialog::onDVDBurnFinished" << end.exitCode << end.errorLines;
        FailBurn(BurnLogic::FailureText(QStringLiteral("The disc could not be burnt."), end));
        return;
    }
    m_ProgressDialog.hide();
    Util::WriteLog(QStringLiteral("CBurnDialog burnt a disc"));
    Util::ShowError(QStringLiteral("Burning disc successfully."));
    m_Burning = false;
    ApplyEnabled();
}
