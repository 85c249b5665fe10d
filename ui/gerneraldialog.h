#ifndef VEXLOR_GERNERALDIALOG_H
#define VEXLOR_GERNERALDIALOG_H

#include "ui/imagedialog.h"

class CImageButton;

// A message whose whole text is drawn in its background picture, with OK and No buttons placed
// where the picture leaves room for them.
class GerneralDialog : public ImageDialog
{
    Q_OBJECT
public:
    explicit GerneralDialog(QWidget *parent = nullptr);

    // The dialog takes the picture's size and gets a close button at its top left.
    void SetBackGround(QString image);
    // An OK button (accepts) at (x, y); x = 0 centres it. Call after SetBackGround.
    void AddOK(int y, int x);
    // A No button (rejects) at (x, y); x = 0 centres it. Call after SetBackGround.
    void AddNo(int y, int x);
    // Shows the picture message image with its OK button centred at y, and waits for it.
    static void ShowPicture(const QString &image, int y);

private:
    CImageButton *AddButton(const QString &name, const QString &image, int y, int x);

    CImageButton *m_close = nullptr;
};

#endif // VEXLOR_GERNERALDIALOG_H
