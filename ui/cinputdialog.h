#ifndef VEXLOR_CINPUTDIALOG_H
#define VEXLOR_CINPUTDIALOG_H

#include "ui/commdialog.h"

class QLineEdit;

// Asks for a name (the Edit page's Rename).
class CInputDialog : public CommDialog
{
    Q_OBJECT
public:
    explicit CInputDialog(QWidget *parent = nullptr);

    // Shows text without leading and trailing blanks, all of it selected.
    void SetInput(QString text);
    // The entered text without leading and trailing blanks.
    QString GetInput();

private:
    QLineEdit *m_edit;
};

#endif // VEXLOR_CINPUTDIALOG_H
