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

private:
    void EmbedPage(ImageDialog *page);
    // Frees closed pages that could still write into the shared working folder.
    void ReleaseWorkingFolder();

    struct Form;
    Form *m_form;
};

#endif // VEXLOR_MAINWINDOW_H
