#include "ui/cmytreewidget.h"

#include <QMouseEvent>

CMyTreeWidget::CMyTreeWidget(QWidget *parent)
    : QTreeWidget(parent)
{
}

void CMyTreeWidget::mousePressEvent(QMouseEvent *event)
{
    QTreeWidget::mousePressEvent(event);
    if (!indexAt(event->pos()).isValid())
        clearSelection();
}
