#include "ui/scheckboxheaderview.h"
#include "services/logging.h"

#include <QDebug>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOptionButton>
#include <QStyleOptionHeader>

SCheckBoxHeaderView::SCheckBoxHeaderView(int checkColumn, Qt::Orientation orientation,
                                         QWidget *parent)
    : QHeaderView(orientation, parent)
    , m_checkColumn(checkColumn)
{
}

void SCheckBoxHeaderView::setChecked(bool checked)
{
    if (m_checked == checked)
        return;
    m_checked = checked;
    updateSection(m_checkColumn);
}

QRect SCheckBoxHeaderView::CheckBoxRect(const QRect &section)
{
    // A square of side n + 21 for a section n + 20 pixels high, 5 pixels from the left.
    const int n = section.bottom() - section.top() - 20;
    const int t = n / 2;
    return QRect(QPoint(section.left() + 5, section.top() + t - 1),
                 QPoint(section.left() + n + 25, section.top() + n + t + 19));
}

void SCheckBoxHeaderView::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    if (logicalIndex != m_checkColumn) {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        return;
    }
    // The check column: its background over the whole section, its label in the part right of
    // the box, so that the box never hides the label.
    const QRect box = CheckBoxRect(rect);
    painter->save();
    QStyleOptionHeader background;
    initStyleOption(&background);
    background.rect = rect;
    background.section = logicalIndex;
    style()->drawControl(QStyle::CE_HeaderSection, &background, painter, this);
    painter->restore();
    painter->save();
    QHeaderView::paintSection(painter, rect.adjusted(box.right() + 3 - rect.left(), 0, 0, 0),
                              logicalIndex);
    painter->restore();

    QStyleOptionButton option;
    option.rect = box;
    option.state = QStyle::State_Enabled | (m_checked ? QStyle::State_On : QStyle::State_Off);
    style()->drawControl(QStyle::CE_CheckBox, &option, painter, this);
}

void SCheckBoxHeaderView::mousePressEvent(QMouseEvent *event)
{
    const int position = orientation() == Qt::Horizontal ? event->pos().x() : event->pos().y();
    const int visual = visualIndexAt(position);
    qCDebug(lcUi) << "SCheckBoxHeaderView::mousePressEvent Click Col" << visual;
    // The box is drawn in the logical check column, so that is the section that toggles it, also
    // when the sections have been reordered.
    if (position >= 0 && visual >= 0 && logicalIndex(visual) == m_checkColumn) {
        m_checked = !m_checked;
        updateSection(m_checkColumn);
        emit checkStausChange(m_checked);
        return;
    }
    QHeaderView::mousePressEvent(event);
}
