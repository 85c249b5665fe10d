#include "ui/cinputdialog.h"

#include <QLabel>
#include <QLineEdit>

CInputDialog::CInputDialog(QWidget *parent)
    : CommDialog(parent)
{
    m_label->setGeometry(40, 60, 340, 25);
    m_label->setText(QStringLiteral("Please input the name:"));
    m_edit = new QLineEdit(this);
    m_edit->setObjectName(QStringLiteral("lineEdit"));
    m_edit->setGeometry(40, 100, 360, 20);
    m_edit->setFocus();
}

void CInputDialog::SetInput(QString text)
{
    m_edit->setText(text.trimmed());
    m_edit->selectAll();
    m_edit->setFocus();
}

QString CInputDialog::GetInput()
{
    return m_edit->text().trimmed();
}
