#include "ui/commdialog.h"

#include "services/util.h"
#include "ui/cimagebutton.h"

#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>

namespace {
// The label's place in the box's form.
const QRect kLabelRect(40, 70, 351, 41);
} // namespace

CommDialog::CommDialog(QWidget *parent)
    : ImageDialog(parent != nullptr)
{
    setObjectName(QStringLiteral("CommDialog"));
    resize(420, 188);
    setWindowTitle(QStringLiteral("Dialog"));

    // The buttons start at the size of their pictures, so that the form keeps its shape even
    // before the pictures are set.
    m_btnClose = new CImageButton(this);
    m_btnClose->setObjectName(QStringLiteral("btnclose"));
    m_btnClose->setGeometry(5, 5, 12, 12);
    m_btnOk = new CImageButton(this);
    m_btnOk->setObjectName(QStringLiteral("btnok"));
    m_btnOk->setGeometry(80, 140, 90, 21);
    m_btnCancel = new CImageButton(this);
    m_btnCancel->setObjectName(QStringLiteral("btncancel"));
    m_btnCancel->setGeometry(260, 140, 92, 22);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("label"));
    m_label->setGeometry(kLabelRect);
    m_label->setStyleSheet(QStringLiteral("font:13px;\ncolor:#606060;"));
    m_label->setWordWrap(false);
    m_label->setText(QStringLiteral("TextLabel"));

    setWindowTitle(QStringLiteral("Vexlor"));
    m_btnClose->SetBackGround(QStringLiteral(":/nwu/osxclose1"), QStringLiteral(":/nwu/osxclose2"),
                              QStringLiteral(":/nwu/osxclose3"), QStringLiteral(":/nwu/osxclose4"));
    m_btnOk->SetBackGround(QStringLiteral(":/nwu/OK1"), QStringLiteral(":/nwu/OK2"),
                           QStringLiteral(":/nwu/OK3"), QStringLiteral(":/nwu/OK3"));
    m_btnCancel->SetBackGround(QStringLiteral(":/nwu/NO_1"), QStringLiteral(":/nwu/NO_2"),
                               QStringLiteral(":/nwu/NO_3"), QStringLiteral(":/nwu/NO_3"));
    SetBackGround(QStringLiteral(":/nwu/commdialogbg"));
    SetMoveable(true);

    connect(m_btnOk, qOverload<>(&CImageButton::clicked), this, &CommDialog::OnBtnOK);
    connect(m_btnCancel, qOverload<>(&CImageButton::clicked), this, &CommDialog::OnBtnCancel);
    connect(m_btnClose, qOverload<>(&CImageButton::clicked), this, &CommDialog::OnBtnClose);
}

void CommDialog::SetText(QString text)
{
    m_label->setText(text);
    FitText();
}

void CommDialog::SetPlainText(QString text)
{
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    SetText(text);
}

void CommDialog::SetAllowWarp()
{
    m_label->setWordWrap(true);
    FitText();
}

void CommDialog::FitText()
{
    // Only the label of the plain message box is fitted; the progress and input dialogs place
    // their own.
    const bool scrolling = m_textArea && m_textArea->widget() == m_label;
    if (!scrolling && m_label->pos() != kLabelRect.topLeft())
        return;
    m_label->ensurePolished();
    const int textWidth = kLabelRect.width();
    if (!m_label->wordWrap() && m_label->sizeHint().width() > textWidth)
        m_label->setWordWrap(true);
    const int needed
        = m_label->wordWrap() ? m_label->heightForWidth(textWidth) : m_label->sizeHint().height();
    const int room = MaxHeight() - (height() - m_grown) + kLabelRect.height();
    const int shown = qBound(kLabelRect.height(), needed, room);
    const int grow = shown - kLabelRect.height();
    if (grow != m_grown) {
        for (QWidget *button :
             { static_cast<QWidget *>(m_btnOk), static_cast<QWidget *>(m_btnCancel) })
            button->move(button->x(), button->y() + grow - m_grown);
        setFixedSize(width(), height() + grow - m_grown);
        m_grown = grow;
    }
    if (needed <= room) {
        if (scrolling) {
            m_textArea->takeWidget();
            m_label->setParent(this);
            m_label->show();
            m_textArea->hide();
        }
        m_label->setGeometry(kLabelRect.x(), kLabelRect.y(), textWidth, shown);
        return;
    }
    // Too long for the box: the text scrolls, in a view that looks like the label.
    if (!m_textArea) {
        m_textArea = new QScrollArea(this);
        m_textArea->setObjectName(QStringLiteral("textarea"));
        m_textArea->setFrameShape(QFrame::NoFrame);
        m_textArea->setStyleSheet(QStringLiteral("background:transparent;"));
        m_textArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_textArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    }
    m_textArea->setGeometry(kLabelRect.x(), kLabelRect.y(), textWidth, shown);
    if (!scrolling)
        m_textArea->setWidget(m_label);
    const int inner = textWidth - m_textArea->verticalScrollBar()->sizeHint().width() - 4;
    m_label->setWordWrap(true);
    m_label->resize(inner, m_label->heightForWidth(inner));
    m_textArea->show();
}

void CommDialog::SetCancelHidden()
{
    m_btnCancel->hide();
    m_btnOk->move((width() - m_btnOk->width()) / 2, m_btnOk->y());
}

void CommDialog::SetOpen(QString path)
{
    m_openPath = path;
    m_btnCancel->SetBackGround(
        QStringLiteral(":/nwu/Open-Folder1"), QStringLiteral(":/nwu/Open-Folder2"),
        QStringLiteral(":/nwu/Open-Folder2"), QStringLiteral(":/nwu/Open-Folder3"));
}

void CommDialog::OnBtnCancel()
{
    if (m_openPath.isEmpty()) {
        reject();
        return;
    }
    // The Open-Folder button shows the folder and leaves the message open.
    Util::OpenExplorer(this, m_openPath);
}

void CommDialog::OnBtnOK()
{
    accept();
}

void CommDialog::OnBtnClose()
{
    reject();
}
