#include "ui/cbasemainwindow.h"

CBaseMainWindow::CBaseMainWindow(QWidget *parent)
    : CSkinnedWindow(parent, "CBaseMainWindow::SetBackGround")
{
}
