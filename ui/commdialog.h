#ifndef VEXLOR_COMMDIALOG_H
#define VEXLOR_COMMDIALOG_H

#include "ui/imagedialog.h"

#include <QString>

class CImageButton;
class QLabel;
class QScrollArea;

// The message box: a text, OK, Cancel, and a close button. SetOpen turns Cancel into an
// Open-Folder button that shows a folder without closing the box.
class CommDialog : public ImageDialog
{
    Q_OBJECT
public:
    explicit CommDialog(QWidget *parent = nullptr);

    // The box grows with its text up to MaxHeight(); a longer text scrolls.
    void SetText(QString text);
    // The same, the text shown as it is (never read as markup), word wrap on.
    void SetPlainText(QString text);
    void SetAllowWarp();
    static int MaxHeight() { return 420; }
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
    void FitText();

    QString m_openPath;
    QScrollArea *m_textArea = nullptr; // holds the label once its text is too long for the box
    int m_grown = 0; // pixels the box has grown beyond its picture for the text
};

#endif // VEXLOR_COMMDIALOG_H
