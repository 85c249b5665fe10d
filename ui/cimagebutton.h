#ifndef VEXLOR_CIMAGEBUTTON_H
#define VEXLOR_CIMAGEBUTTON_H

#include "ui/cbaseimagectrl.h"

// The image button that forms and pages place.
class CImageButton : public CBaseImageCtrl
{
    Q_OBJECT
public:
    explicit CImageButton(QWidget *parent = nullptr);
};

#endif // VEXLOR_CIMAGEBUTTON_H
