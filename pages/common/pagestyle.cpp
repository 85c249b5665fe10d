#include "pages/common/pagestyle.h"

#include "ui/cimagebutton.h"

#include <QFileIconProvider>

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

CImageButton *Button(QWidget *page, const char *name, const QString &prefix, int x, int y)
{
    auto *button = new CImageButton(page);
    button->setObjectName(QString::fromLatin1(name));
    button->SetBackGround(prefix + QLatin1Char('1'), prefix + QLatin1Char('2'),
                          prefix + QLatin1Char('3'), QString());
    button->move(x, y);
    return button;
}

} // namespace PageStyle
