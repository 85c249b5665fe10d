#include "ui/cimagebutton.h"

CImageButton::CImageButton(QWidget *parent)
    : CBaseImageCtrl(parent)
{
}
