#ifndef VEXLOR_CMYTREEWIDGET_H
#define VEXLOR_CMYTREEWIDGET_H

#include <QTreeWidget>

// A tree widget in which a click on empty space clears the selection.
class CMyTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CMyTreeWidget(QWidget *parent = nullptr);

protected:
    void mousePressEvent(QMouseEvent *event) override;
};

#endif // VEXLOR_CMYTREEWIDGET_H
