#include "ui/commdialog.h"

#include "services/util.h"
#include "ui/cimagebutton.h"

#include <QLabel>

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
    m_label->setGeometry(40, 70, 351, 41);
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
}

void CommDialog::SetAllowWarp()
{
    m_label->setWordWrap(true);
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
