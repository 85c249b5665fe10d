#ifndef VEXLOR_IMAGEDIALOG_H
#define VEXLOR_IMAGEDIALOG_H

#include "ui/cwindowskin.h"

#include <QDialog>

#include <functional>

// A frameless dialog painted from one background picture; the base of every dialog and every
// feature page. It always starts as a parentless, modal top-level window; the home window embeds
// its pages as children later.
class ImageDialog : public CSkinnedWindow<ImageDialog, QDialog>
{
    Q_OBJECT
public:
    // hasParent only tells whether the subclass was given a parent; it changes nothing.
    explicit ImageDialog(bool hasParent = false);

    // Makes Escape act as the page's Back: back() runs when allowed() says that nothing would
    // be lost or cut short; otherwise Escape does nothing. Without it Escape closes the dialog.
    void SetEscapeAsBack(std::function<bool()> allowed, std::function<void()> back);

signals:
    void sigvisable(bool visible);
    void sigmove();

public slots:
    void slot_minWindow() { showMinimized(); }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::function<bool()> m_BackAllowed;
    std::function<void()> m_Back;
};

#endif // VEXLOR_IMAGEDIALOG_H
