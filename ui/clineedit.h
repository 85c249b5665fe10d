#ifndef VEXLOR_CLINEEDIT_H
#define VEXLOR_CLINEEDIT_H

#include "ui/cskinimage.h"

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
    // The pointer entering, leaving, pressing, moving or releasing repaints the picture in its
    // state; a release on it is a click.
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    StatePictures m_pictures;
    QPoint m_pos;
};

#endif // VEXLOR_CLINEEDIT_H
