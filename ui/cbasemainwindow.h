#ifndef VEXLOR_CBASEMAINWINDOW_H
#define VEXLOR_CBASEMAINWINDOW_H

#include "ui/cwindowskin.h"

#include <QMainWindow>

// A frameless main window painted from one background picture: the base of the home window.
// It behaves like ImageDialog, but is a main window and not modal.
class CBaseMainWindow : public CSkinnedWindow<CBaseMainWindow, QMainWindow>
{
    Q_OBJECT
public:
    explicit CBaseMainWindow(QWidget *parent = nullptr);

signals:
    void sigvisable(bool visible);
    void sigmove();

public slots:
    void slot_minWindow() { showMinimized(); }
};

#endif // VEXLOR_CBASEMAINWINDOW_H
