#ifndef VEXLOR_MAINWINDOW_H
#define VEXLOR_MAINWINDOW_H

#include "ui/cbasemainwindow.h"

class ImageDialog;
class QMenu;

// The home window: five feature buttons, the Home and Help links, its own close and minimise
// buttons and a Help menu.
class MainWindow : public CBaseMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    static QString HomePageUrl();
    static QString HelpUrl();
    // The current Help menu (replaced by every onMenu()).
    static QMenu *HelpMenu();

    // Stops what the pages run (tools terminated, copiers stopped, each with a bounded wait)
    // and closes the pages, leaving no work folder of theirs behind. The close button does this
    // before it ends the process.
    void StopPages();

signals:
    // The set of drives has changed (for the pages' drive lists).
    void sigdrivechange();

public slots:
    void onClose();
    void onMin();
    void onMenu();
    void onBurn();
    void onExtract();
    void onCreate();
    void onEdit();
    void onCopy();
    void onHome();
    void onHelp();
    void aboutus();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void EmbedPage(ImageDialog *page);
    // Frees the closed Burn and Copy-disc pages that are not in the middle of work: they hold
    // nothing the user could come back to, and each would go on following the drives.
    void ReleaseClosedDrivePages();
    // Frees closed pages that could still write into the shared working folder.
    // False when the user keeps a closed page's work; that page is shown again.
    bool ReleaseWorkingFolder();
    // What the kernel lists of block devices; a change means a disk or a disc came or went.
    static QByteArray DriveSignature();

    struct Form;
    Form *m_form;
    QByteArray m_drives;
};

#endif // VEXLOR_MAINWINDOW_H
