#include "ui/gerneraldialog.h"

#include "ui/cimagebutton.h"

GerneralDialog::GerneralDialog(QWidget *parent)
    : ImageDialog(parent != nullptr)
{
    setObjectName(QStringLiteral("GerneralDialog"));
    resize(400, 300);
    setWindowTitle(QStringLiteral("Dialog"));
    SetMoveable(true);
    setWindowTitle(QStringLiteral("Vexlor"));
}

void GerneralDialog::SetBackGround(QString image)
{
    ImageDialog::SetBackGround(image);
    if (m_close)
        return;
    m_close = new CImageButton(this);
    m_close->setObjectName(QStringLiteral("close"));
    m_close->setGeometry(5, 5, 12, 12);
    m_close->SetBackGround(QStringLiteral(":/nwu/osxclose1"), QStringLiteral(":/nwu/osxclose2"),
                           QStringLiteral(":/nwu/osxclose3"), QStringLiteral(":/nwu/osxclose4"));
    m_close->show();
    connect(m_close, qOverload<>(&CImageButton::clicked), this, &GerneralDialog::reject);
}

CImageButton *GerneralDialog::AddButton(const QString &name, const QString &image, int y, int x)
{
    auto *button = new CImageButton(this);
    button->setObjectName(name);
    // The size of the OK and No pictures, kept when the pictures are missing.
    button->resize(92, 22);
    button->SetBackGround(QStringLiteral(":/nwu/") + image + QLatin1Char('1'),
                          QStringLiteral(":/nwu/") + image + QLatin1Char('2'),
                          QStringLiteral(":/nwu/") + image + QLatin1Char('3'), QString());
    if (x == 0)
        x = (width() - button->width()) / 2;
    button->move(x, y);
    button->show();
    return button;
}

void GerneralDialog::AddOK(int y, int x)
{
    CImageButton *button = AddButton(QStringLiteral("btnok"), QStringLiteral("OK_"), y, x);
    connect(button, qOverload<>(&CImageButton::clicked), this, &GerneralDialog::accept);
}

void GerneralDialog::AddNo(int y, int x)
{
    CImageButton *button = AddButton(QStringLiteral("btnno"), QStringLiteral("NO_"), y, x);
    connect(button, qOverload<>(&CImageButton::clicked), this, &GerneralDialog::reject);
}

void GerneralDialog::ShowPicture(const QString &image, int y)
{
    GerneralDialog dialog;
    dialog.SetBackGround(image);
    dialog.AddOK(y, 0);
    dialog.exec();
}
