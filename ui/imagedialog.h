#ifndef VEXLOR_IMAGEDIALOG_H
#define VEXLOR_IMAGEDIALOG_H

#include "ui/cwindowskin.h"

#include <QColor>
#include <QDialog>
#include <QString>

#include <functional>

// A frameless dialog painted from one background picture; the base of every dialog and every
// feature page. It always starts as a parentless, modal top-level window; the home window embeds
// its pages as children later.
class ImageDialog : public QDialog
{
    Q_OBJECT
public:
    // hasParent only tells whether the subclass was given a parent; it changes nothing.
    explicit ImageDialog(bool hasParent = false);

    void SetBackGround(QString path);
    void SetBackGroundColor(QColor c);
    void SetMoveable(bool on);
    bool IsMoveable() const { return m_skin.IsMoveable(); }
    QString BackGround() const { return m_skin.BackGround(); }

    // Makes Escape act as the page's Back: back() runs when allowed() says that nothing would
    // be lost or cut short; otherwise Escape does nothing. Without it Escape closes the dialog.
    void SetEscapeAsBack(std::function<bool()> allowed, std::function<void()> back);

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
    void keyPressEvent(QKeyEvent *event) override;

private:
    CWindowSkin m_skin;
    std::function<bool()> m_BackAllowed;
    std::function<void()> m_Back;
};

#endif // VEXLOR_IMAGEDIALOG_H
