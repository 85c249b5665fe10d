#ifndef VEXLOR_NOFOCUSDELEGATE_H
#define VEXLOR_NOFOCUSDELEGATE_H

#include <QStyledItemDelegate>

// An item delegate that never draws the focus rectangle around the current cell.
class NoFocusDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    explicit NoFocusDelegate(QObject *parent = nullptr);

    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
};

#endif // VEXLOR_NOFOCUSDELEGATE_H
