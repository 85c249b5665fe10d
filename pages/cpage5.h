#ifndef VEXLOR_CPAGE5_H
#define VEXLOR_CPAGE5_H

// The Copy CD/DVD page: lists the optical drives that hold a disc, finds where the disc of the
// chosen drive is mounted, and has "hdiutil makehybrid" write an ISO 9660 image with Joliet
// names of it to the chosen file. A second button ejects the disc.

#include "pages/copydisclogic.h"
#include "services/disktools.h"
#include "ui/cprogressdialog.h"
#include "ui/imagedialog.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

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

    // The text of the drive entry that was selected when a drive list was last rebuilt; shared by
    // every Copy-disc page.
    static QString dvdCurrent;

    // Whether a copy is running.
    bool IsCopying() const { return m_ReadThread != nullptr; }
    // The arguments of the last makehybrid run started by this page.
    QStringList LastArguments() const { return m_LastArguments; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

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

private slots:
    void OnDriveStatusFinished();
    void OnEjectFinished();

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

    // The image file of one run and what lay at its path before, so that only a file the run
    // wrote is ever removed.
    struct ImageTarget
    {
        QString path;
        bool existed = false;
        qint64 oldSize = -1;
        QDateTime oldTime;

        static ImageTarget Before(const QString &path);
        bool TouchedByRun() const;
        void RemoveIfWritten() const;
    };

    void SetupForm();
    // Finds the mount point of currdev's disc with "mount" into m_SourcePath.
    void FindSourcePath();
    // The checks made before a copy starts; false once the user has been told what is wrong.
    bool CheckSourceAndTarget(const QString &target);
    void EndCopy();

    Form *form;
    QString m_SourcePath;
    CRunCommandThread *m_ReadThread = nullptr;
    CProgressDialog m_ProgressDialog;
    bool m_Starting = false;

    // The "drutil status" run whose drives fill the list, and whether the drives are to be read
    // again once it has ended.
    CRunCommandThread *m_DriveThread = nullptr;
    bool m_DriveRescan = false;
    DiskTools::DriveStatusReader m_DriveReader;
    QList<DiskTools::Drive> m_NewDrives;
    CRunCommandThread *m_EjectThread = nullptr;

    ImageTarget m_Image;
    QStringList m_LastArguments;
};

#endif // VEXLOR_CPAGE5_H
