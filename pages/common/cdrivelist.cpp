#include "pages/common/cdrivelist.h"

#include "logic/burnjob.h"
#include "services/cruncommandthread.h"
#include "services/platformtools.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QTimer>

CDriveList::CDriveList(QComboBox *list, QObject *parent)
    : QObject(parent)
    , m_List(list)
{
}

CDriveList::~CDriveList()
{
    // The runner ends its tool before its thread ends.
    delete m_Runner;
}

void CDriveList::Refresh()
{
    if (m_Runner) {
        m_Again = true;
        return;
    }
    m_Again = false;
    m_Reader.Reset();
    m_Found.clear();
    m_Runner = new CRunCommandThread;
    connect(m_Runner, &CRunCommandThread::standoutputline, this, &CDriveList::AddLine);
    connect(m_Runner, &CRunCommandThread::sigfinished, this, &CDriveList::OnFinished);
    m_Runner->SetRunCmd(PlatformTools::Program(QStringLiteral("drutil")),
                        DiskTools::DriveStatusArgs());
    m_Runner->start();
    // A drive tool that hangs (a drive that does not answer) must not hold the list, nor the
    // page waiting for it, for ever: it is ended and the drives listed so far are shown.
    CRunCommandThread *runner = m_Runner;
    QTimer::singleShot(ToolLimitMs, runner, [runner] { runner->KillTool(); });
}

void CDriveList::RefreshAndWait()
{
    Refresh();
    while (m_Runner) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (m_Runner)
            QThread::msleep(10);
    }
}

void CDriveList::AddLine(const QString &line)
{
    DiskTools::Drive drive;
    if (m_Runner && m_Reader.Feed(line, &drive))
        m_Found << drive;
}

void CDriveList::OnFinished()
{
    CRunCommandThread *runner = m_Runner;
    if (!runner || sender() != runner)
        return;
    runner->wait();
    runner->deleteLater();
    m_Runner = nullptr;
    if (m_Again)
        return Refresh();
    // The drive chosen before is chosen again by its device, wherever it is listed now.
    const QString chosen = m_List->currentData().toString();
    m_List->clear();
    for (const DiskTools::Drive &drive : qAsConst(m_Found)) {
        m_List->addItem(drive.Text(), drive.device);
        if (drive.device == chosen)
            m_List->setCurrentIndex(m_List->count() - 1);
    }
    m_Found.clear();
    emit refreshed();
}

CUsbDiskList::CUsbDiskList(QComboBox *list, QObject *parent)
    : QObject(parent)
    , m_List(list)
{
}

void CUsbDiskList::RefreshAndWait()
{
    const QList<BurnLogic::DiskIdentity> before = m_Disks;
    const int chosen = m_List->currentIndex();
    m_List->clear();
    m_Disks.clear();
    for (const QString &line : BurnJob::DiskListing())
        AddLine(line);
    m_List->setCurrentIndex(BurnLogic::ChoiceAfterListing(before, chosen, m_Disks));
}

void CUsbDiskList::AddLine(const QString &line)
{
    const QString node = DiskTools::ListedDisk(line);
    const BurnLogic::DiskIdentity disk
        = node.isEmpty() ? BurnLogic::DiskIdentity() : BurnJob::UsbDisk(node);
    if (disk.node.isEmpty())
        return;
    m_Disks << disk;
    m_List->addItem(node);
}

BurnLogic::DiskIdentity CUsbDiskList::Chosen() const
{
    const int index = m_List->currentIndex();
    return index >= 0 && index < m_Disks.size() ? m_Disks.at(index) : BurnLogic::DiskIdentity();
}
