#ifndef VEXLOR_CBURNDIALOG_H
#define VEXLOR_CBURNDIALOG_H

// The Burn page: writes one ISO image either to a USB disk, which is repartitioned, made
// bootable and filled with the image's files (or given the image's bytes when it is a disk
// image), or to the disc in an optical drive. Either burn runs as a BurnJob; the page checks
// the choices, asks, and shows the job's progress and end.

#include "logic/burnjob.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QString>
#include <QStringList>

class CDriveList;
class CUsbDiskList;

namespace Ui {
class CBurnDialog;
}

class CBurnDialog : public ImageDialog
{
    Q_OBJECT

public:
    explicit CBurnDialog(QWidget *parent = nullptr);
    ~CBurnDialog() override;

    // Whether disk is a USB stick: its information report names the USB protocol and removable
    // media, and no optical drive.
    static bool CheckDiskIsUSB(QString disk);

    // True from the press on Burn until the burn has ended and its message was closed.
    bool IsBurning() const { return m_Burning; }
    // Burning, or listing the drives in a wait of its own.
    bool IsBusy() const { return m_Burning || m_Refreshing; }

public slots:
    void onBrowser();
    void onBurn();
    void onBack();
    void InitializeUSBAndDVDComboBox(int type = 0);
    void OnRadioSelected();
    void OnRefresh();
    void OnVolumeLabTextChange(QString text);
    void OnMBRSelect();
    void onLineOutput(QString line);
    void onDVDBurnFinished();
    void onDVDBurnOutput(QString line);
    void onUSBBurnOutput(QString line);
    void onUSBLineOutput(QString line);

private:
    void BurnUSB(const QString &image);
    void BurnDVD(const QString &image);
    // Whether the USB burn takes the disk-image route (offered and chosen).
    bool DiskImageRoute() const;
    // Shows under the image's name what it can start with ("Boot: BIOS and UEFI").
    void ShowBootKinds();
    void StartJob(const BurnJob::Request &request);
    void FailBurn(const QString &text);
    void EndBurn();
    // Enables the inputs as the target choice says, or none of them while a burn runs.
    void ApplyEnabled();
    void OnJobFinished(BurnJob::Outcome outcome);

    Ui::CBurnDialog *ui = nullptr;
    CProgressDialog m_ProgressDialog;
    CDriveList *m_Drives = nullptr;
    CUsbDiskList *m_UsbDisks = nullptr;
    BurnJob *m_Job = nullptr; // the burn under way

    bool m_Refreshing = false;
    bool m_Burning = false;
    QString m_Failure; // why the burn failed, as its job said
    BurnJob::ImageFacts m_Image; // read when the image was chosen
};

#endif // VEXLOR_CBURNDIALOG_H
