#include "pages/cpage5.h"

#include "pages/common/cdrivelist.h"
#include "pages/common/pagestyle.h"
#include "services/cruncommandthread.h"
#include "services/disccopy.h"
#include "services/platformtools.h"
#include "services/util.h"
#include "ui/cimagebutton.h"

#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QStorageInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>

// The Copy-disc page's diagnostics: debug lines are off unless switched on, for example with
// QT_LOGGING_RULES="vexlor.copydisc.debug=true"; warnings of real failures are on.
Q_LOGGING_CATEGORY(lcCopyDisc, "vexlor.copydisc", QtWarningMsg)

QString currdev;

namespace {

// The runner takes a program without arguments as a whole command line, split at blanks: the
// program's path is quoted so that a folder with blanks in its name stays one word.
QString wholeCommand(const QString &program)
{
    return QLatin1Char('"') + program + QLatin1Char('"');
}

// The bytes the disc's files take: what its file system reports as used, or, when it reports
// nothing (some FUSE file systems), the sum of its file sizes.
qint64 discDataSize(const QString &mountPoint)
{
    const QStorageInfo storage(mountPoint);
    const qint64 used = storage.bytesTotal() - storage.bytesFree();
    if (storage.isValid() && storage.bytesTotal() > 0 && used > 0)
        return used;
    return Util::DirSize(mountPoint);
}

class BusyCursor
{
public:
    BusyCursor() { Util::SetCursorBusy(); }
    ~BusyCursor() { Util::RestoreCursor(); }
};

} // namespace

CPage5::CPage5(QWidget *parent)
    : ImageDialog(parent != nullptr)
    , form(new Form)
    , m_ProgressDialog(parent)
{
    SetEscapeAsBack(
        [this] {
            // Never while a copy is being started or runs.
            return !m_Starting && !IsCopying();
        },
        [this] { close(); });
    SetupForm();
    m_Drives = new CDriveList(form->dvdlist, this);
    InitializeDVDComboBox();
}

CPage5::~CPage5()
{
    // Each runner ends its tool before its thread ends; a copy cut short leaves no image, and the
    // target stays as it was.
    if (m_ReadThread) {
        delete m_ReadThread;
        m_ReadThread = nullptr;
        QFile::remove(m_Output);
    }
    if (m_DiscCopy) {
        // A read of a damaged disc may take its time: the copy ends and goes by itself.
        m_DiscCopy->disconnect(this);
        m_DiscCopy->Stop();
        if (m_DiscCopy->wait(2000)) {
            delete m_DiscCopy;
            // A copy that had just succeeded is not taken either.
            QFile::remove(m_Output);
        } else {
            m_DiscCopy->Abandon();
        }
        m_DiscCopy = nullptr;
    }
    delete m_EjectThread;
    delete form;
}

void CPage5::SetupForm()
{
    setObjectName(QStringLiteral("CPage5"));
    setWindowTitle(QStringLiteral("Dialog"));
    resize(613, 356);
    SetBackGround(QStringLiteral(":/nwu/page5"));
    setWindowTitle(QStringLiteral("Vexlor"));

    using PageStyle::Button;
    using PageStyle::Placed;
    Form *f = form;
    f->dvdlist = Placed(new QComboBox(this), "dvdlist", 20, 147, 476, 26);
    f->eject = Button(this, "eject", QStringLiteral(":/nwu/refresh"), 508, 147);
    f->formatlist = Placed(new QComboBox(this), "formatlist", 159, 270, 191, 27);
    f->formatlist->addItem(tr("ISO Format"));
    f->lineEdit = Placed(new QLineEdit(this), "lineEdit", 20, 334, 476, 28);
    f->lineEdit->setReadOnly(true);
    f->browser = Button(this, "browser", QStringLiteral(":/nwu/filedialog"), 508, 334);
    f->back = Button(this, "back", QStringLiteral(":/nwu/backwhite"), 10, 417);
    f->start = Button(this, "start", QStringLiteral(":/nwu/start"), 546, 417);

    const auto clicked = qOverload<>(&CImageButton::clicked);
    connect(f->eject, clicked, this, &CPage5::OnEject);
    connect(f->browser, clicked, this, &CPage5::OnBrowser);
    connect(f->back, clicked, this, &CPage5::close);
    connect(f->start, clicked, this, &CPage5::OnStart);
    connect(&m_ProgressDialog, &CProgressDialog::SigCancel, this, &CPage5::StopCreate);
}

// --- the drive list ---

void CPage5::OnDriveChange()
{
    // A closed page no longer follows the drives.
    if (!isHidden())
        InitializeDVDComboBox();
}

void CPage5::InitializeDVDComboBox()
{
    m_Drives->Refresh();
}

void CPage5::onLineOutput(QString line)
{
    m_Drives->AddLine(line);
}

// --- target, eject ---

void CPage5::OnBrowser()
{
    form->lineEdit->setText(Util::GetSaveDialog(this, QStringLiteral("ISO Files(*.ISO)")));
}

void CPage5::OnEject()
{
    if (form->dvdlist->currentIndex() < 0 || m_EjectThread)
        return;
    const QString device = form->dvdlist->currentData().toString();
    m_EjectThread = new CRunCommandThread(nullptr);
    m_EjectThread->SetErrorReader(CopyDiscLogic::ErrorReader());
    connect(m_EjectThread, &CRunCommandThread::sigfinished, this, &CPage5::OnEjectFinished);
    m_EjectThread->SetRunCmd(PlatformTools::Program(QStringLiteral("hdiutil")),
                             DiskTools::EjectArgs(device));
    m_EjectThread->start();
}

void CPage5::OnEjectFinished()
{
    auto *thread = qobject_cast<CRunCommandThread *>(sender());
    if (!thread || thread != m_EjectThread)
        return;
    thread->wait();
    const CRunOutcome end = thread->Outcome();
    const QString message = CopyDiscLogic::ToolMessage(end);
    thread->deleteLater();
    m_EjectThread = nullptr;
    // The drive list follows what the eject changed.
    InitializeDVDComboBox();
    if (!end.Ok()) {
        qCWarning(lcCopyDisc) << "CPage5::OnEjectFinished eject failed" << message;
        Util::ShowError(message.isEmpty() ? tr("The disc could not be ejected.")
                                          : tr("The disc could not be ejected.\n%1").arg(message));
    }
}

// --- copying ---

void CPage5::onMountPointLineOutput(QString line)
{
    DiskTools::MountEntry entry;
    if (DiskTools::ParseMountLine(line, &entry)
        && DiskTools::IsDiskOrPartition(entry.device, currdev))
        m_SourcePath = entry.mountPoint;
}

void CPage5::FindSourcePath()
{
    m_SourcePath.clear();
    CRunCommandThread mount(nullptr);
    mount.m_CollectOutput = true;
    mount.SetRunCmd(wholeCommand(PlatformTools::Program(QStringLiteral("mount"))), {});
    mount.start();
    mount.waitFinished();
    mount.wait();
    for (const QString &line : qAsConst(mount.m_OutputLines))
        onMountPointLineOutput(line);
    qCDebug(lcCopyDisc) << "CPage5::FindSourcePath" << currdev << m_SourcePath;
}

bool CPage5::CheckSourceAndTarget(const QString &target, const DiscCopy::Volume &volume)
{
    // The device's sectors need no mounted disc; the rebuilt copy reads the mounted files.
    const QFileInfo source(m_SourcePath);
    if (!volume.Found() && (m_SourcePath.isEmpty() || !source.isDir() || !source.isReadable())) {
        Util::ShowError(m_SourcePath.isEmpty()
                            ? tr("The disc in %1 is not mounted, so it cannot be read. Insert it "
                                 "again or choose another drive.")
                                  .arg(currdev)
                            : tr("The disc in %1 cannot be read.").arg(currdev));
        return false;
    }

    const QFileInfo image(target);
    const QFileInfo folder(image.absolutePath());
    if (!folder.isDir()) {
        Util::ShowError(tr("The folder %1 does not exist.").arg(folder.filePath()));
        return false;
    }
    if (image.isDir()) {
        Util::ShowError(tr("%1 is a folder. Please choose a file name for the ISO file.")
                            .arg(image.filePath()));
        return false;
    }
    // Nothing can be written onto the disc being read.
    if (!m_SourcePath.isEmpty()
        && (CopyDiscLogic::IsInside(folder.canonicalFilePath(), source.canonicalFilePath())
            || CopyDiscLogic::IsInside(folder.absoluteFilePath(), source.absoluteFilePath()))) {
        Util::ShowError(tr("The ISO file cannot be saved on the disc being copied. Please "
                           "choose another place."));
        return false;
    }

    // The copy writes a hidden file beside the target (same file system, so it can take the
    // target's place at once); its name is reserved here, which also shows an unwritable place
    // before anything runs. The copy creates the file itself.
    {
        QTemporaryFile reserve(folder.absoluteFilePath() + QStringLiteral("/.") + image.fileName()
                               + QStringLiteral(".XXXXXX"));
        if (!reserve.open()) {
            Util::ShowError(tr("The ISO file cannot be written to %1:\n%2")
                                .arg(image.absoluteFilePath(), reserve.errorString()));
            return false;
        }
        m_Output = reserve.fileName();
        reserve.close();
        reserve.remove();
    }

    qint64 needed = 0;
    if (volume.Found()) {
        needed = volume.sectors * DiscCopy::SectorSize;
    } else {
        BusyCursor busy;
        needed = discDataSize(m_SourcePath);
    }
    // An image already there stays until the copy is complete, so its room is not free.
    const QStorageInfo storage(folder.absoluteFilePath());
    const qint64 available = storage.bytesAvailable();
    qCDebug(lcCopyDisc) << "CPage5::CheckSourceAndTarget needs" << needed << "has" << available;
    if (storage.isValid() && needed > available) {
        Util::ShowError(tr("There is not enough free space for the ISO file: the disc holds %1, "
                           "but only %2 are free in %3.")
                            .arg(Util::SizeToString(needed), Util::SizeToString(available),
                                 folder.absoluteFilePath()));
        return false;
    }
    return true;
}

void CPage5::OnStart()
{
    // Events are delivered while the mount point is looked up: a second press meanwhile is
    // ignored.
    if (IsCopying() || m_Starting)
        return;
    if (form->dvdlist->currentIndex() < 0) {
        Util::ShowError(tr("Please select a drive first."));
        return;
    }
    const QString target = form->lineEdit->text();
    if (target.isEmpty()) {
        Util::ShowError(tr("Please select the iso file to save."));
        return;
    }
    currdev = form->dvdlist->currentData().toString();
    m_Starting = true;
    DiscCopy::Volume volume;
    {
        BusyCursor busy;
        FindSourcePath();
        // A disc may take seconds to spin up: its descriptors are read while the window paints.
        QEventLoop wait;
        QScopedPointer<QThread> probe(QThread::create(
            [&volume, device = currdev] { volume = DiscCopy::DeviceVolume(device); }));
        connect(probe.data(), &QThread::finished, &wait, &QEventLoop::quit);
        probe->start();
        wait.exec(QEventLoop::ExcludeUserInputEvents);
        probe->wait();
    }
    qCDebug(lcCopyDisc) << "CPage5::OnStart volume of" << currdev << volume.kind << volume.sectors
                        << volume.error;
    const bool ok = CheckSourceAndTarget(target, volume);
    m_Starting = false;
    if (!ok)
        return;

    m_Target = target;
    m_Volume = volume;
    m_ProgressDialog.SetRange(0, CopyDiscLogic::ProgressMaximum);
    m_ProgressDialog.SetValue(0);
    if (volume.Found()) {
        m_LastCopy = CopyKind::Exact;
        m_DiscCopy = new CDiscCopy(currdev, m_Output, volume.sectors);
        connect(m_DiscCopy, &CDiscCopy::progress, this, &CPage5::OnDeviceCopyProgress);
        connect(m_DiscCopy, &QThread::finished, this, &CPage5::OnDeviceCopyFinished);
        m_DiscCopy->start();
    } else {
        // The device cannot be read: the disc's files are copied into a new ISO 9660 image.
        qCWarning(lcCopyDisc) << "CPage5::OnStart no volume on" << currdev << volume.error
                              << "- rebuilding from" << m_SourcePath;
        m_LastCopy = CopyKind::Rebuilt;
        m_LastArguments = DiskTools::MakeHybridArgs(m_Output, m_SourcePath);
        m_ReadThread = new CRunCommandThread(nullptr);
        m_ReadThread->SetErrorReader(CopyDiscLogic::ErrorReader());
        m_ReadThread->SetRunCmd(PlatformTools::Program(QStringLiteral("hdiutil")), m_LastArguments);
        connect(m_ReadThread, &CRunCommandThread::standoutputline, this, &CPage5::OnReadLineOutput);
        connect(m_ReadThread, &CRunCommandThread::sigfinished, this, &CPage5::OnReadFinished);
        m_ReadThread->start();
    }
    m_ProgressDialog.SetText(tr("Start reading..."));
    m_ProgressDialog.show();
}

void CPage5::OnDeviceCopyProgress(qint64 done)
{
    if (m_DiscCopy && m_DiscCopy->Sectors() > 0)
        m_ProgressDialog.SetValue(
            int(done * CopyDiscLogic::ProgressMaximum / m_DiscCopy->Sectors()));
}

void CPage5::OnDeviceCopyFinished()
{
    CDiscCopy *copy = m_DiscCopy;
    if (!copy || sender() != copy)
        return;
    m_DiscCopy = nullptr;
    copy->wait();
    const DiscCopy::Result result = copy->Outcome();
    delete copy;
    if (result.kind == DiscCopy::Result::Stopped) {
        EndCopy();
        return;
    }
    FinishCopy(CopyDiscLogic::DeviceCopyFailure(result, currdev),
               CopyDiscLogic::ExactCopyNote(m_Volume));
}

void CPage5::OnReadLineOutput(QString line)
{
    if (sender() && sender() != m_ReadThread)
        return;
    qCDebug(lcCopyDisc) << "CPage5::OnReadLineOutput" << line;
    const int value = CopyDiscLogic::ProgressValue(line);
    if (value > 0)
        m_ProgressDialog.SetValue(value);
}

void CPage5::OnReadFinished()
{
    auto *thread = qobject_cast<CRunCommandThread *>(sender());
    if (!thread || thread != m_ReadThread)
        return;
    thread->wait();
    const CRunOutcome end = thread->Outcome();
    thread->deleteLater();
    m_ReadThread = nullptr;

    const QFileInfo image(m_Output);
    QString failure;
    if (!end.Ok() || !image.isFile() || image.size() == 0) {
        qCWarning(lcCopyDisc) << "CPage5::OnReadFinished makehybrid failed" << end.exitCode
                              << end.errorLines;
        failure = end.kind != CRunOutcome::FailedToStart ? QString()
                                                         : tr("hdiutil could not be started.");
        const QString message = CopyDiscLogic::ToolMessage(end);
        if (!message.isEmpty())
            failure += (failure.isEmpty() ? QString() : QStringLiteral("\n")) + message;
        if (failure.isEmpty())
            failure = tr("hdiutil wrote no ISO file.");
    }
    FinishCopy(failure, CopyDiscLogic::RebuiltCopyNote());
}

void CPage5::FinishCopy(QString failure, const QString &note)
{
    EndCopy();
    if (failure.isEmpty()
        && std::rename(QFile::encodeName(m_Output).constData(),
                       QFile::encodeName(m_Target).constData())
            != 0)
        failure = tr("The ISO file could not take the place of %1: %2.")
                      .arg(m_Target, QString::fromLocal8Bit(std::strerror(errno)));
    if (failure.isEmpty()) {
        Util::ShowOpen(tr("Copy CD/DVD successfully!") + QLatin1Char('\n') + note,
                       QFileInfo(m_Target).absolutePath());
        return;
    }
    QFile::remove(m_Output);
    Util::ShowError(tr("Copy CD/DVD failed.") + QLatin1Char('\n') + failure);
}

void CPage5::StopCreate()
{
    if (m_DiscCopy) {
        // The copy stops after the block it reads and removes what it wrote.
        m_DiscCopy->disconnect(this);
        m_DiscCopy->Abandon();
        m_DiscCopy = nullptr;
    }
    if (m_ReadThread) {
        m_ReadThread->terminate();
        // The worker ends the tool (terminating, then killing it) before it ends.
        m_ReadThread->wait();
        delete m_ReadThread;
        m_ReadThread = nullptr;
        QFile::remove(m_Output);
    }
    EndCopy();
}

void CPage5::EndCopy()
{
    m_ProgressDialog.hide();
}
