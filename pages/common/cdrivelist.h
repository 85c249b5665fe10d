#ifndef VEXLOR_CDRIVELIST_H
#define VEXLOR_CDRIVELIST_H

// The list of optical drives that hold a disc, as the Burn and Copy-disc pages offer it: a combo
// box filled from "drutil status", one entry per drive (text: vendor, product, revision and
// device; data: the device). The whole list is replaced at once when a reading has ended, and
// the drive chosen before stays chosen while its device is listed.

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

#endif // VEXLOR_CDRIVELIST_H
