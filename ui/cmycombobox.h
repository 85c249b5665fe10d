#ifndef VEXLOR_CMYCOMBOBOX_H
#define VEXLOR_CMYCOMBOBOX_H

#include <QComboBox>

// A combo box that announces a left click before its list opens, so that a listener can refill
// the list first.
class CMyComboBox : public QComboBox
{
    Q_OBJECT
public:
    explicit CMyComboBox(QWidget *parent = nullptr);

signals:
    void dropdownclicked();

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

#endif // VEXLOR_CMYCOMBOBOX_H
