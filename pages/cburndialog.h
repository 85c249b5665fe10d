#ifndef VEXLOR_CBURNDIALOG_H
#define VEXLOR_CBURNDIALOG_H

// The Burn page: writes one ISO image either to a USB disk, which is repartitioned, made
// bootable and filled with the image's files, or to the disc in an optical drive.

#include "logic/burnlogic.h"
#include "services/disktools.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QString>
#include <QStringList>

class CImageButton;
class CMyComboBox;
class CRunCommandThread;
class QComboBox;
class QLabel;
class QLineEdit;
class QRadioButton;

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

    // The text of the drive list's current entry just before the last drive refresh.
    static QString dvdCurrent;

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
    void onImageWriteOutput(QString line);

protected:
private:
    void RefreshUSBList();
    void RefreshDVDList();
    void BurnUSB(const QString &image);
    void BurnDVD(const QString &image);
    // Runs program with arguments to its end while the interface keeps running; lines seen are
    // also handed to onLine when given. The error lines are picked by reader (by default
    // BurnLogic::ToolLineReader()).
    CRunOutcome RunStep(const QString &program, const QStringList &arguments,
                        void (CBurnDialog::*onLine)(QString) = nullptr,
                        CErrorLineReader reader = {});
    // Runs one step that writes the disk with administrator rights: "diskutil" (partitionDisk,
    // unmountDisk) or "mkbootable" (disk, mount point, then the identity options).
    CRunOutcome RunAdminStep(const QString &tool, const QStringList &arguments,
                             void (CBurnDialog::*onLine)(QString) = nullptr);
    // The disk-image route: the image's bytes onto the whole disk, read back and compared.
    void BurnDiskImage(const QString &image, const BurnLogic::DiskIdentity &chosen);
    // Splits the installation image onto the volume and checks the parts; false (after telling
    // the user) when that fails.
    bool SplitWimOnto(const QString &image, const QString &disk, const QString &mountPoint);
    // The "Boot:" line under the image: what it can start with, and what the USB disk will.
    void ShowStarts();
    // Tells why and returns false when the choice gives a stick that starts nowhere while
    // another would not.
    bool RefuseStartsNowhere(bool diskImage, bool gpt);
    // Whether the USB burn takes the disk-image route (offered and chosen).
    bool DiskImageRoute() const;
    // Reads the image's listing; false (after telling the user) when it cannot be read or holds
    // a file too large for FAT.
    bool CheckImageFitsFat(const QString &image);
    // Shows under the image's name what it can start with ("Boot: BIOS and UEFI").
    void ShowBootKinds();
    // The chosen disk as it is listed right now (empty node when it is no longer listed).
    BurnLogic::DiskIdentity CurrentIdentity(const QString &disk);
    void ShowPicture(const QString &image);
    void FailBurn(const QString &text);
    // The format warning, with the disk it will erase named under its picture; true for OK.
    bool ConfirmFormat(const BurnLogic::DiskIdentity &disk);
    // Enables the inputs as the target choice says, or none of them while a burn runs.
    void ApplyEnabled();
    // Flushes the volume and reads every file back against the image; false (after telling
    // the user) when anything differs or cannot be read.
    bool VerifyStick(const QString &image, const QString &disk, const QString &mountPoint);

    Ui::CBurnDialog *ui = nullptr;
    CRunCommandThread *m_CurrentRunner = nullptr;
    CProgressDialog m_ProgressDialog;
    DiskTools::DriveStatusReader m_DriveReader; // reads the drive status listing

    bool m_Refreshing = false;
    bool m_Burning = false;
    // Identity of each listed USB disk, taken when the list was filled.
    QList<BurnLogic::DiskIdentity> m_ListedDisks;
    QStringList m_ImagePaths; // the image's listing, read before a USB burn
    QList<BurnLogic::ListedFile> m_ImageFiles; // its files and sizes, in listing order
    QString m_SplitWim; // the installation image to split onto the stick, if any
    QString m_BootKinds; // what the chosen image can start with ("BIOS and UEFI")
    BurnLogic::BootFacts m_BootFacts; // read when the image was chosen
};

#endif // VEXLOR_CBURNDIALOG_H
