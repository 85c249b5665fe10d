#ifndef VEXLOR_CPAGE5_H
#define VEXLOR_CPAGE5_H

// The Copy CD/DVD page: lists the optical drives that hold a disc and copies the disc of the
// chosen drive into an ISO file: sector by sector from the drive's device, so that the image is
// the disc, or, when the device cannot be read, through "hdiutil makehybrid", which rebuilds an
// ISO 9660 image with Joliet names from the files of the mounted disc. Either writes a hidden
// file beside the target, which takes the target's place only when the copy has succeeded. A
// second button ejects the disc.

#include "logic/copydisclogic.h"
#include "services/disccopy.h"
#include "services/disktools.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QList>
#include <QString>
#include <QStringList>

class CDriveList;
class CImageButton;
class CRunCommandThread;
class QComboBox;
class QKeyEvent;
class QLineEdit;
class QWidget;

// The device node of the drive whose disc is being copied.
extern QString currdev;

class CPage5 : public ImageDialog
{
    Q_OBJECT

public:
    explicit CPage5(QWidget *parent = nullptr);
    ~CPage5() override;

    // Whether a copy is running.
    bool IsCopying() const { return m_ReadThread != nullptr || m_DiscCopy != nullptr; }
    // Copying, or getting a copy ready in a wait of its own.
    bool IsBusy() const { return IsCopying() || m_Starting; }
    // The arguments of the last makehybrid run started by this page.
    QStringList LastArguments() const { return m_LastArguments; }
    // The kind of the last copy started.
    enum class CopyKind { None, Exact, Rebuilt };
    CopyKind LastCopy() const { return m_LastCopy; }

protected:
public slots:
    void OnBrowser();
    void OnStart();
    void OnEject();
    void InitializeDVDComboBox();
    void onLineOutput(QString line);
    void OnReadLineOutput(QString line);
    void OnReadFinished();
    void StopCreate();
    void onMountPointLineOutput(QString line);

    // The drives have changed: an open page reads them again.
    void OnDriveChange();

private slots:
    void OnEjectFinished();
    void OnDeviceCopyProgress(qint64 done);
    void OnDeviceCopyFinished();

private:
    struct Form
    {
        QComboBox *dvdlist = nullptr;
        CImageButton *eject = nullptr;
        QComboBox *formatlist = nullptr;
        QLineEdit *lineEdit = nullptr;
        CImageButton *browser = nullptr;
        CImageButton *back = nullptr;
        CImageButton *start = nullptr;
    };

    void SetupForm();
    // Finds the mount point of currdev's disc with "mount" into m_SourcePath.
    void FindSourcePath();
    // The checks made before a copy starts, with the bytes the copy needs; false once the user
    // has been told what is wrong. On success m_Output names a free place beside the target.
    bool CheckSourceAndTarget(const QString &target, const DiscCopy::Volume &volume);
    void EndCopy();
    // The copy has ended: the image takes the target's place, or failure is shown and the
    // hidden file removed.
    void FinishCopy(QString failure, const QString &note);

    Form *form;
    QString m_SourcePath;
    CRunCommandThread *m_ReadThread = nullptr;
    CProgressDialog m_ProgressDialog;
    bool m_Starting = false;

    CDriveList *m_Drives = nullptr; // fills "dvdlist"
    CRunCommandThread *m_EjectThread = nullptr;

    CDiscCopy *m_DiscCopy = nullptr;
    DiscCopy::Volume m_Volume;
    QString m_Target; // the ISO file the user chose
    QString m_Output; // the hidden file the copy writes beside it
    QStringList m_LastArguments;
    CopyKind m_LastCopy = CopyKind::None;
};

#endif // VEXLOR_CPAGE5_H
