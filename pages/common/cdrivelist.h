#ifndef VEXLOR_CDRIVELIST_H
#define VEXLOR_CDRIVELIST_H

// The lists of drives the pages offer. CDriveList: the optical drives that hold a disc, as the
// Burn and Copy-disc pages offer them: a combo box filled from "drutil status", one entry per
// drive (text: vendor, product, revision and device; data: the device). The whole list is
// replaced at once when a reading has ended, and the drive chosen before stays chosen while its
// device is listed. CUsbDiskList: the USB sticks the Burn page can write.

#include "logic/burnlogic.h"
#include "services/disktools.h"

#include <QList>
#include <QObject>
#include <QString>

class CRunCommandThread;
class QComboBox;

class CDriveList : public QObject
{
    Q_OBJECT
public:
    // Fills list, which outlives this object (both belong to one page).
    explicit CDriveList(QComboBox *list, QObject *parent = nullptr);
    ~CDriveList() override;

    // Reads the drives again; a request while a reading runs reads them once more after it.
    void Refresh();
    // Refresh(), returning once the list is filled (events are handled meanwhile).
    void RefreshAndWait();
    // One line of "drutil status" of the reading under way.
    void AddLine(const QString &line);
    bool IsReading() const { return m_Runner != nullptr; }

signals:
    // The list holds the drives of the last reading.
    void refreshed();

private:
    // How long one reading may take before its tool is ended.
    static constexpr int ToolLimitMs = 30000;
    void OnFinished();

    QComboBox *m_List;
    CRunCommandThread *m_Runner = nullptr;
    bool m_Again = false;
    DiskTools::DriveStatusReader m_Reader;
    QList<DiskTools::Drive> m_Found;
};

// A combo box filled from "diskutil list", one entry per disk that "diskutil info" shows as a USB
// stick (text: its node), each known by the identity read when it was listed. The disk chosen
// before stays chosen only while it is the same device; when it is gone nothing is chosen, never
// another disk in its place.
class CUsbDiskList : public QObject
{
    Q_OBJECT
public:
    // Fills list, which outlives this object (both belong to one page).
    explicit CUsbDiskList(QComboBox *list, QObject *parent = nullptr);

    // Reads the disks again, returning once the list is filled (events are handled meanwhile).
    void RefreshAndWait();
    // One line of "diskutil list": the disk it names is listed when it is a USB stick.
    void AddLine(const QString &line);
    // The chosen disk as it was listed; an empty node when none is chosen.
    BurnLogic::DiskIdentity Chosen() const;

private:
    QComboBox *m_List;
    QList<BurnLogic::DiskIdentity> m_Disks; // one per entry of the list
};

#endif // VEXLOR_CDRIVELIST_H
