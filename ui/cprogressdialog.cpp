#include "ui/cprogressdialog.h"

#include "ui/cimagebutton.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>

CProgressDialog::CProgressDialog(QWidget *parent)
    : CommDialog(parent)
{
    setModal(false);
    setWindowModality(Qt::ApplicationModal);

    m_btnClose->hide();
    m_btnOk->hide();
    m_btnCancel->SetBackGround(QStringLiteral(":/nwu/Stop1"), QStringLiteral(":/nwu/Stop2"),
                               QStringLiteral(":/nwu/Stop3"), QStringLiteral(":/nwu/Stop4"));
    m_btnCancel->move(325, 140);
    m_label->setGeometry(40, 60, 340, 25);

    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("progressBar"));
    m_bar->setGeometry(40, 100, 360, 20);
    m_bar->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_bar->setStyleSheet(QStringLiteral(
        "QProgressBar{ border: none; color: white; text-align: center; background: rgb(192, 192, "
        "192); } QProgressBar::chunk { border: none; background: rgb(0, 160, 230); }"));
}

void CProgressDialog::SetText(QString text)
{
    m_label->setText(text);
}

void CProgressDialog::SetRange(int minimum, int maximum)
{
    m_bar->setRange(minimum, maximum);
}

QString CProgressDialog::PercentText(int minimum, int maximum, int value)
{
    double percent = 0;
    if (minimum < maximum)
        percent = (double(value) - double(minimum)) * 100.0 / (double(maximum) - double(minimum));
    QString text = QStringLiteral("%1%").arg(percent, 0, 'f', 2);
    if (text.endsWith(QLatin1String(".00%"))) {
        text.chop(4);
        text += QLatin1Char('%');
    }
    return text;
}

void CProgressDialog::SetValue(int value)
{
    m_bar->setValue(value);
    m_bar->setFormat(PercentText(m_bar->minimum(), m_bar->maximum(), value));
}

void CProgressDialog::SetUnfinished()
{
    m_bar->setRange(0, 0);
}

void CProgressDialog::SetPercent(int percent)
{
    SetRange(0, percent < 0 ? 0 : 100);
    SetValue(qMax(0, percent));
}

void CProgressDialog::DisableCancel()
{
    m_btnCancel->setEnabled(false);
}

bool CProgressDialog::IsComplete()
{
    return m_bar->value() == m_bar->maximum();
}

QProgressBar *CProgressDialog::ProgressBar()
{
    return m_bar;
}

QString CProgressDialog::Text() const
{
    return m_label->text();
}

void CProgressDialog::OnBtnCancel()
{
    hide();
    emit SigCancel();
}

void CProgressDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape acts as the Stop button, and does nothing while Stop is disabled: it must not hide
    // the window of a step that cannot be interrupted.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (m_btnCancel->isEnabled())
            OnBtnCancel();
        return;
    }
    CommDialog::keyPressEvent(event);
}

void CProgressDialog::closeEvent(QCloseEvent *event)
{
    // A close request from the window system is treated like Escape; the page's own close()
    // hides the window as usual.
    if (event->spontaneous()) {
        event->ignore();
        if (m_btnCancel->isEnabled() && isVisible())
            OnBtnCancel();
        return;
    }
    CommDialog::closeEvent(event);
}
