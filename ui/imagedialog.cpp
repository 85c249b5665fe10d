#include "ui/imagedialog.h"

#include <QKeyEvent>

#include <utility>

ImageDialog::ImageDialog(bool hasParent)
    : CSkinnedWindow(nullptr, "ImageDialog::SetBackGround")
{
    Q_UNUSED(hasParent);
    setModal(true);
}

void ImageDialog::SetEscapeAsBack(std::function<bool()> allowed, std::function<void()> back)
{
    m_BackAllowed = std::move(allowed);
    m_Back = std::move(back);
}

void ImageDialog::keyPressEvent(QKeyEvent *event)
{
    if (m_Back && event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (!m_BackAllowed || m_BackAllowed())
            m_Back();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}
