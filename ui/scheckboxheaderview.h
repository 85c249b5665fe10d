#ifndef VEXLOR_SCHECKBOXHEADERVIEW_H
#define VEXLOR_SCHECKBOXHEADERVIEW_H

#include <QHeaderView>

// A table header with a select-all check box drawn in one column; a click on that column
// toggles the box and announces the new state instead of sorting.
class SCheckBoxHeaderView : public QHeaderView
{
    Q_OBJECT
public:
    SCheckBoxHeaderView(int checkColumn, Qt::Orientation orientation, QWidget *parent = nullptr);

    bool isChecked() const { return m_checked; }
    // Sets the box without announcing it (for a page that resets its table).
    void setChecked(bool checked);
    // The box's rectangle inside the given section rectangle.
    static QRect CheckBoxRect(const QRect &section);

signals:
    void checkStausChange(bool checked);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent *event) override;

private:
    bool m_checked = false;
    int m_checkColumn;
};

#endif // VEXLOR_SCHECKBOXHEADERVIEW_H
