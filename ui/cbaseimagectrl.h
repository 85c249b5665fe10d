#ifndef VEXLOR_CBASEIMAGECTRL_H
#define VEXLOR_CBASEIMAGECTRL_H

#include "ui/cskinimage.h"

#include <QRect>
#include <QString>
#include <QWidget>

// A control drawn from up to four state pictures (normal, hover, pressed, disabled), either as
// four files of equal size or as one horizontal strip of equal frames. Every push button of the
// program is one of these.
class CBaseImageCtrl : public QWidget
{
    Q_OBJECT
public:
    explicit CBaseImageCtrl(QWidget *parent = nullptr);

    // Strip mode: strip holds count frames side by side (normal, hover, pressed, disabled).
    void SetBackGround(QString strip, int count);
    // File mode: four pictures of the same size; an empty path means "none".
    void SetBackGround(QString normal, QString hover, QString pressed, QString disabled);
    // 0 left, 1 top, 2 right, 3 bottom, anything else centred.
    void SetAlign(int align);
    void SetAutoSizeByImage(bool on);
    void Resize();
    bool isMouseIn();

    // The picture and the part of it that a paint would draw now (for inspection).
    QString CurrentImage(QRect *source = nullptr);

signals:
    void clicked(bool checked);
    void clicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void enterEvent(QEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    StatePictures m_pictures; // in strip mode, normal is the strip
    int m_stateCount = 0;
    bool m_autoSize = true;
    bool m_mouseInside = false;
    int m_align = -1;
};

#endif // VEXLOR_CBASEIMAGECTRL_H
