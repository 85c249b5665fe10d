#ifndef VEXLOR_CBASEMAINWINDOW_H
#define VEXLOR_CBASEMAINWINDOW_H

#include "ui/cwindowskin.h"

#include <QColor>
#include <QMainWindow>
#include <QString>

// A frameless main window painted from one background picture: the base of the home window.
// It behaves like ImageDialog, but is a main window and not modal.
class CBaseMainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit CBaseMainWindow(QWidget *parent = nullptr);

    void SetBackGround(QString path);
    void SetBackGroundColor(QColor c);
    void SetMoveable(bool on);
    bool IsMoveable() const { return m_skin.IsMoveable(); }
    QString BackGround() const { return m_skin.BackGround(); }

signals:
    void sigvisable(bool visible);
    void sigmove();

public slots:
    void slot_minWindow();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    CWindowSkin m_skin;
};

#endif // VEXLOR_CBASEMAINWINDOW_H
