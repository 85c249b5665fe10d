#ifndef VEXLOR_CABOUTUSDIALOG_H
#define VEXLOR_CABOUTUSDIALOG_H

#include "ui/imagedialog.h"

#include <QString>

class CImageButton;
class QLabel;

// The about box: a picture with a link to the product's home page.
class CAboutusDialog : public ImageDialog
{
    Q_OBJECT
public:
    explicit CAboutusDialog(QWidget *parent = nullptr);

    static QString HomePageUrl();

public slots:
    void openUrl(QString url);

private:
    CImageButton *m_close;
    QLabel *m_label;
};

#endif // VEXLOR_CABOUTUSDIALOG_H
