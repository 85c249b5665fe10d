#ifndef VEXLOR_CLINEEDIT_H
#define VEXLOR_CLINEEDIT_H

#include <QLineEdit>
#include <QPoint>
#include <QRect>
#include <QString>

// A line edit with a picture inside it that acts as a button (the search box's magnifier).
// Clicking the picture or pressing Return emits OnClicked().
class CLineEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit CLineEdit(QWidget *parent = nullptr);

    // pos places the picture; a negative coordinate counts from the right or bottom edge.
    void SetImage(QString n, QString h, QString p, QPoint pos);
    // The picture's hit square.
    QRect getRect();

signals:
    void OnClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QString m_normal;
    QString m_hover;
    QString m_pressed;
    QPoint m_pos;
};

#endif // VEXLOR_CLINEEDIT_H
