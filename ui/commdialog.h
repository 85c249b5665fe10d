#ifndef VEXLOR_COMMDIALOG_H
#define VEXLOR_COMMDIALOG_H

#include "ui/imagedialog.h"

#include <QString>

class CImageButton;
class QLabel;

// The message box: a text, OK, Cancel, and a close button. SetOpen turns Cancel into an
// Open-Folder button that shows a folder without closing the box.
class CommDialog : public ImageDialog
{
    Q_OBJECT
public:
    explicit CommDialog(QWidget *parent = nullptr);

    void SetText(QString text);
    void SetAllowWarp();
    void SetCancelHidden();
    void SetOpen(QString path);
    QString OpenPath() const { return m_openPath; }

public slots:
    virtual void OnBtnCancel();
    virtual void OnBtnOK();
    virtual void OnBtnClose();

protected:
    CImageButton *m_btnClose;
    CImageButton *m_btnOk;
    CImageButton *m_btnCancel;
    QLabel *m_label;

private:
    QString m_openPath;
};

#endif // VEXLOR_COMMDIALOG_H
