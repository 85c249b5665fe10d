#include "pages/cpage5.h"

#include "services/cruncommandthread.h"
#include "services/platformtools.h"
#include "services/util.h"
#include "ui/cimagebutton.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QStorageInfo>

// The Copy-disc page's diagnostics: debug lines are off unless switched on, for example with
// QT_LOGGING_RULES="vexlor.copydisc.debug=true"; warnings of real failures are on.
Q_LOGGING_CATEGORY(lcCopyDisc, "vexlor.copydisc", QtWarningMsg)

QString currdev;
QString CPage5::dvdCurrent;

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
    SetupForm();
    InitializeDVDComboBox();
    // The home window announces changes of the drive set; any other parent has no such signal.
    if (parent && parent->metaObject()->indexOfSignal("sigdrivechange()") >= 0)
        connect(parent, SIGNAL(sigdrivechange()), this, SLOT(InitializeDVDComboBox()));
}

CPage5::~CPage5()
{
    // Each runner ends its tool before its thread ends; a copy cut short leaves no image.
    if (m_ReadThread) {
        delete m_ReadThread;
        m_ReadThread = nullptr;
        m_Image.RemoveIfWritten();
    }
    delete m_DriveThread;
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

    auto button = [this](const char *name, const QString &images, int x, int y) {
        auto *b = new CImageButton(this);
        b->setObjectName(QString::fromLatin1(name));
        b->SetBackGround(images + QLatin1Char('1'), images + QLatin1Char('2'),
                         images + QLatin1Char('3'), QString());
        b->move(x, y);
        return b;
    };

    Form *f = form;
    f->dvdlist = new QComboBox(this);
    f->dvdlist->setObjectName(QStringLiteral("dvdlist"));
    f->dvdlist->setGeometry(20, 147, 476, 26);
    f->eject = button("eject", QStringLiteral(":/nwu/refresh"), 508, 147);
    f->formatlist = new QComboBox(this);
    f->formatlist->setObjectName(QStringLiteral("formatlist"));
    f->formatlist->setGeometry(159, 270, 191, 27);
    f->formatlist->addItem(tr("ISO Format"));
    f->lineEdit = new QLineEdit(this);
    f->lineEdit->setObjectName(QStringLiteral("lineEdit"));
    f->lineEdit->setGeometry(20, 334, 476, 28);
    f->lineEdit->setReadOnly(true);
    f->browser = button("browser", QStringLiteral(":/nwu/filedialog"), 508, 334);
    f->back = button("back", QStringLiteral(":/nwu/backwhite"), 10, 417);
    f->start = button("start", QStringLiteral(":/nwu/start"), 546, 417);

    connect(f->eject, SIGNAL(clicked()), this, SLOT(OnEject()));
    connect(f->browser, SIGNAL(clicked()), this, SLOT(OnBrowser()));
    connect(f->back, SIGNAL(clicked()), this, SLOT(close()));
    connect(f->start, SIGNAL(clicked()), this, SLOT(OnStart()));
    connect(&m_ProgressDialog, SIGNAL(SigCancel()), this, SLOT(StopCreate()));
}

void CPage5::keyPressEvent(QKeyEvent *event)
{
    // Escape does what Back does, but never while a copy is being started or runs.
    if (event->key() == Qt::Key_Escape) {
        if (!m_Starting && !m_ReadThread)
            close();
        event->accept();
        return;
    }
    ImageDialog::keyPressEvent(event);
}

// --- the drive list ---

void CPage5::InitializeDVDComboBox()
{
    // One run at a time: a request during a run reads the drives again once that run has ended.
    if (m_DriveThread) {
        m_DriveRescan = true;
        return;
    }
    m_DriveRescan = false;
    m_DriveReader.Reset();
    m_NewDrives.clear();
    m_DriveThread = new CRunCommandThread(nullptr);
    connect(m_DriveThread, SIGNAL(standoutputline(QString)), this, SLOT(onLineOutput(QString)));
    connect(m_DriveThread, SIGNAL(sigfinished()), this, SLOT(OnDriveStatusFinished()));
    m_DriveThread->SetRunCmd(PlatformTools::Program(QStringLiteral("drutil")),
                             DiskTools::DriveStatusArgs());
    m_DriveThread->start();
}

void CPage5::onLineOutput(QString line)
{
    if (sender() && sender() != m_DriveThread)
        return;
    DiskTools::Drive drive;
    if (m_DriveReader.Feed(line, &drive))
        m_NewDrives << drive;
}

void CPage5::OnDriveStatusFinished()
{
    auto *thread = qobject_cast<CRunCommandThread *>(sender());
    if (!thread || thread != m_DriveThread)
        return;
    thread->wait();
    thread->deleteLater();
    m_DriveThread = nullptr;
    if (m_DriveRescan) {
        InitializeDVDComboBox();
        return;
    }
    qCDebug(lcCopyDisc) << "CPage5::OnDriveStatusFinished" << m_NewDrives.size() << "drives";

    // The whole list is replaced at once; the entry selected before comes back selected.
    QComboBox *list = form->dvdlist;
    dvdCurrent = list->currentText();
    list->clear();
    for (const DiskTools::Drive &drive : qAsConst(m_NewDrives)) {
        list->addItem(drive.Text(), drive.device);
        if (drive.Text() == dvdCurrent)
            list->setCurrentIndex(list->count() - 1);
    }
    m_NewDrives.clear();
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
    connect(m_EjectThread, SIGNAL(sigfinished()), this, SLOT(OnEjectFinished()));
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

bool CPage5::CheckSourceAndTarget(const QString &target)
{
    const QFileInfo source(m_SourcePath);
    if (m_SourcePath.isEmpty() || !source.isDir() || !source.isReadable()) {
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
    if (CopyDiscLogic::IsInside(folder.canonicalFilePath(), source.canonicalFilePath())
        || CopyDiscLogic::IsInside(folder.absoluteFilePath(), source.absoluteFilePath())) {
        Util::ShowError(tr("The ISO file cannot be saved on the disc being copied. Please "
                           "choose another place."));
        return false;
    }

    // Opening the target the way the tool will shows an unwritable place before anything runs.
    {
        const bool existed = image.exists();
        QFile probe(image.absoluteFilePath());
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Append)) {
            Util::ShowError(tr("The ISO file cannot be written to %1:\n%2")
                                .arg(image.absoluteFilePath(), probe.errorString()));
            return false;
        }
        probe.close();
        if (!existed)
            probe.remove();
    }

    qint64 needed = 0;
    {
        BusyCursor busy;
        needed = discDataSize(m_SourcePath);
    }
    const QStorageInfo storage(folder.absoluteFilePath());
    // An image already there is replaced, so its room counts as free.
    const qint64 available = storage.bytesAvailable() + (image.isFile() ? image.size() : 0);
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
    if (m_ReadThread || m_Starting)
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
    {
        BusyCursor busy;
        FindSourcePath();
    }
    const bool ok = CheckSourceAndTarget(target);
    m_Starting = false;
    if (!ok)
        return;

    const QStringList args = DiskTools::MakeHybridArgs(target, m_SourcePath);
    m_LastArguments = args;
    m_Image = ImageTarget::Before(target);
    m_ProgressDialog.SetRange(0, CopyDiscLogic::ProgressMaximum);
    m_ProgressDialog.SetValue(0);

    m_ReadThread = new CRunCommandThread(nullptr);
    m_ReadThread->SetErrorReader(CopyDiscLogic::ErrorReader());
    m_ReadThread->SetRunCmd(PlatformTools::Program(QStringLiteral("hdiutil")), args);
    connect(m_ReadThread, SIGNAL(standoutputline(QString)), this, SLOT(OnReadLineOutput(QString)));
    connect(m_ReadThread, SIGNAL(sigfinished()), this, SLOT(OnReadFinished()));
    m_ReadThread->start();

    m_ProgressDialog.SetText(tr("Start reading..."));
    m_ProgressDialog.show();
    // A copy runs to its end.
    m_ProgressDialog.DisableCancel();
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
    EndCopy();

    const QFileInfo image(m_Image.path);
    if (end.Ok() && image.isFile() && image.size() > 0 && m_Image.TouchedByRun()) {
        Util::ShowOpen(tr("Copy CD/DVD successfully!"), image.absolutePath());
        return;
    }
    qCWarning(lcCopyDisc) << "CPage5::OnReadFinished makehybrid failed" << end.exitCode
                          << end.errorLines;
    m_Image.RemoveIfWritten();
    QString text = end.kind != CRunOutcome::FailedToStart ? tr("Copy CD/DVD failed.")
                                                          : tr("Copy CD/DVD failed: hdiutil could "
                                                               "not be started.");
    const QString message = CopyDiscLogic::ToolMessage(end);
    if (!message.isEmpty())
        text += QLatin1Char('\n') + message;
    Util::ShowError(text);
}

void CPage5::StopCreate()
{
    if (!m_ReadThread)
        return;
    m_ReadThread->terminate();
    // The worker ends the tool (terminating, then killing it) before it ends.
    m_ReadThread->wait();
    delete m_ReadThread;
    m_ReadThread = nullptr;
    m_Image.RemoveIfWritten();
    EndCopy();
}

void CPage5::EndCopy()
{
    m_ProgressDialog.hide();
}

CPage5::ImageTarget CPage5::ImageTarget::Before(const QString &path)
{
    ImageTarget target;
    target.path = path;
    const QFileInfo info(path);
    target.existed = info.exists();
    if (target.existed) {
        target.oldSize = info.size();
        target.oldTime = info.lastModified();
    }
    return target;
}

bool CPage5::ImageTarget::TouchedByRun() const
{
    const QFileInfo now(path);
    if (path.isEmpty() || !now.exists())
        return false;
    if (!existed)
        return true;
    return now.size() != oldSize || now.lastModified() != oldTime;
}

void CPage5::ImageTarget::RemoveIfWritten() const
{
    // Only a file the run wrote goes; an earlier file it never touched stays.
    if (!QFileInfo(path).isFile() || !TouchedByRun())
        return;
    if (!QFile::remove(path))
        qCWarning(lcCopyDisc) << "CPage5::ImageTarget::RemoveIfWritten could not remove" << path;
}
