#include "pages/common/pagestyle.h"

#include "services/util.h"
#include "ui/cimagebutton.h"
#include "ui/imagedialog.h"
#include "ui/nofocusdelegate.h"

#include <QAction>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QMimeDatabase>
#include <QRadioButton>

namespace PageStyle {

const char *const List = "background:#ffffff;\nborder:1px solid #daffc8;\ngridline-color:#daffc8;\n"
                         "selection-background-color:#daffc8;\nselection-color:#000000;\n"
                         "QHeaderView::section{font:13pt;color: black;};\n"
                         "QHeaderView::section:focus{font:13pt;color: black;};";

const char *const ProjectList
    = "background:#ffffff;\nborder:1px solid #daffc8;\ngridline-color:#daffc8;\n"
      "font-weight:normal;\nselection-background-color:#daffc8;\nselection-color:#000000;\n"
      "QHeaderView::section{font:13pt;color: black;};\n"
      "QHeaderView::section:focus{font:13pt;color: black;};";

const char *const FolderTree = "background:#f3ffed;\nborder:1px solid #daffc8;\noutline:none;\n"
                               "QTreeView::focus{border: 1px solid #daffc8;}";

QIcon FolderIcon()
{
    static const QIcon icon = QFileIconProvider().icon(QFileIconProvider::Folder);
    return icon;
}

QString FileType(const QString &path)
{
    const QString type = Util::GetExtensionString(QFileInfo(path).fileName());
    if (!type.isEmpty())
        return type;
    static const QMimeDatabase types;
    return types.mimeTypeForFile(path).comment();
}

void SetUpPage(ImageDialog *page, const char *name, const QString &background)
{
    page->setObjectName(QString::fromLatin1(name));
    page->setWindowTitle(QStringLiteral("Vexlor"));
    page->SetBackGround(background);
}

void Place(QWidget *widget, const char *name, int x, int y, int width, int height,
           const QString &style)
{
    widget->setObjectName(QString::fromLatin1(name));
    if (!style.isEmpty())
        widget->setStyleSheet(style);
    if (width > 0)
        widget->setFixedSize(width, height);
    if (x < 0 && widget->parentWidget()) {
        if (width <= 0)
            widget->adjustSize();
        x += widget->parentWidget()->width() - widget->width();
    }
    widget->move(x, y);
}

QMenu *ListMenu(QWidget *list, const QList<QPair<QString, std::function<void()>>> &entries)
{
    auto *menu = new QMenu(list);
    for (const auto &entry : entries) {
        if (entry.first.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        const std::function<void()> run = entry.second;
        QObject::connect(menu->addAction(entry.first), &QAction::triggered, menu, [run] { run(); });
    }
    return menu;
}

CImageButton *Button(QWidget *page, const char *name, const QString &prefix, int x, int y)
{
    auto *button = new CImageButton(page);
    button->SetBackGround(prefix + QLatin1Char('1'), prefix + QLatin1Char('2'),
                          prefix + QLatin1Char('3'), QString());
    return Placed(button, name, x, y);
}

void SetUpList(QAbstractItemView *view, QHeaderView *header, const QString &style, int columns,
               QAbstractItemView::SelectionMode mode)
{
    view->setStyleSheet(style);
    const int width = (view->width() - 2) / columns;
    for (int c = 0; c < columns; ++c)
        header->resizeSection(c, width);
    QFont font = header->font();
    font.setWeight(50);
    header->setFont(font);
    header->setHighlightSections(false);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(mode);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setItemDelegate(new NoFocusDelegate(view));
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    view->setAttribute(Qt::WA_MacShowFocusRect, false);
}

QRadioButton *Radio(QWidget *page, const char *name, const QString &text, int x, int y)
{
    auto *button = Placed(new QRadioButton(text, page), name, x, y);
    button->setStyleSheet(QStringLiteral("QRadioButton::indicator:checked {\n"
                                         "    image: url(:/nwu/rchecked);\n"
                                         "}\n"
                                         "\n"
                                         "QRadioButton::indicator:unchecked {\n"
                                         "    image: url(:/nwu/runchecked);\n"
                                         "}"));
    button->adjustSize();
    return button;
}

void FitRow(const QList<QRadioButton *> &row)
{
    int pixels = row.isEmpty() ? 0 : QFontInfo(row.first()->font()).pixelSize();
    auto apply = [&] {
        for (QRadioButton *b : row) {
            QFont font = b->font();
            font.setPixelSize(pixels);
            b->setFont(font);
            b->adjustSize();
        }
    };
    for (int i = 0; i + 1 < row.size(); ++i) {
        while (row.at(i)->sizeHint().width() > row.at(i + 1)->x() - row.at(i)->x() - 4
               && pixels > 10) {
            --pixels;
            apply();
        }
    }
}

} // namespace PageStyle
