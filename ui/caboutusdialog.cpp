#include "ui/caboutusdialog.h"

#include "ui/cimagebutton.h"

#include <QDesktopServices>
#include <QFont>
#include <QLabel>
#include <QUrl>

CAboutusDialog::CAboutusDialog(QWidget *parent)
    : ImageDialog(parent != nullptr)
{
    setObjectName(QStringLiteral("CAboutusDialog"));
    resize(400, 300);
    setWindowTitle(QStringLiteral("Dialog"));

    m_close = new CImageButton(this);
    m_close->setObjectName(QStringLiteral("close"));
    m_close->setGeometry(5, 5, 12, 12);
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("label"));

    SetBackGround(QStringLiteral(":/nwu/about_us"));
    SetMoveable(true);
    setWindowTitle(QStringLiteral("Vexlor"));

    m_close->SetBackGround(QStringLiteral(":/nwu/osxclose1"), QStringLiteral(":/nwu/osxclose2"),
                           QStringLiteral(":/nwu/osxclose3"), QStringLiteral(":/nwu/osxclose4"));
    connect(m_close, qOverload<>(&CImageButton::clicked), this, &CAboutusDialog::close);

    QFont font = m_label->font();
    font.setPointSize(9);
    m_label->setFont(font);
    m_label->setFixedSize(186, 20);
    m_label->setStyleSheet(QStringLiteral("font-size:14px;"));
    const QString url = HomePageUrl();
    m_label->setTextFormat(Qt::RichText);
    m_label->setText(QStringLiteral("<a style=\"color:#67d995;\" href=\"%1\">%1</a>").arg(url));
    m_label->move(192, 112);
    m_label->show();
    connect(m_label, &QLabel::linkActivated, this, &CAboutusDialog::openUrl);
}

QString CAboutusDialog::HomePageUrl()
{
    return QStringLiteral("https://vexlor.example.org/");
}

void CAboutusDialog::openUrl(QString url)
{
    QDesktopServices::openUrl(QUrl(url));
}
