#ifndef VEXLOR_PAGESTYLE_H
#define VEXLOR_PAGESTYLE_H

// What every page's form shares: the controls every form has, the page's own set-up, the style
// sheets of its lists, the folder icon, the placing of its widgets, its image buttons and its
// lists' context menus. A page builds its form in one pass of Placed() and Button() calls into
// its struct Form.

#include <QAbstractItemView>
#include <QIcon>
#include <QList>
#include <QPair>
#include <QString>

#include <functional>

class CImageButton;
class ImageDialog;
class QHeaderView;
class QMenu;
class QRadioButton;
class QTableWidget;
class QTreeWidget;
class QWidget;

namespace PageStyle {

// The controls of a form that a page reaches after building it: every page its Back button, the
// pages that browse an image (Extract, Edit) also Load ISO, the folder view and the file table.
// A page's struct Form derives from one of them and adds its own.
struct PageForm
{
    CImageButton *back = nullptr;
};
struct BrowseForm : PageForm
{
    CImageButton *loadiso = nullptr;
    QTreeWidget *tree = nullptr;
    QTableWidget *list = nullptr;
};

// The white list of files (the Extract and Edit tables, the Edit folder view).
extern const char *const List;
// The Create page's project list: the same with normal-weight text.
extern const char *const ProjectList;
// The Extract page's green folder view.
extern const char *const FolderTree;

// The platform's folder icon.
QIcon FolderIcon();
// The type description of a local file: its extension's, else the platform's description of
// the file itself (README, Makefile).
QString FileType(const QString &path);

// Names a page, gives it the program's title and its background picture (which sets its size).
void SetUpPage(ImageDialog *page, const char *name, const QString &background);

// Names a widget of a page's form and places it at (x, y), fixed to width x height when given,
// with a style sheet when given; returns it. A negative x places the widget's right edge -x
// pixels inside its parent's, sized to its content when no width is given.
void Place(QWidget *widget, const char *name, int x, int y, int width = 0, int height = 0,
           const QString &style = QString());
template<class W>
W *Placed(W *widget, const char *name, int x, int y, int width = 0, int height = 0,
          const QString &style = QString())
{
    Place(widget, name, x, y, width, height, style);
    return widget;
}

// A three-state image button named name on page at (x, y): images prefix + "1", "2", "3" for
// normal, hover and pressed, no disabled image.
CImageButton *Button(QWidget *page, const char *name, const QString &prefix, int x, int y);

// Sets a list view up as every page's lists are: the style sheet, columns columns of equal width
// ((width - 2) / columns, so set the size first), header text of normal weight with no
// highlighted sections, whole rows selected with mode, not editable, no focus rectangle around
// the current cell or the view, a custom context menu.
void SetUpList(QAbstractItemView *view, QHeaderView *header, const QString &style, int columns,
               QAbstractItemView::SelectionMode mode);

// The context menu of a page's list, a child of list: an entry per text calling its action, a
// separator for an empty text.
QMenu *ListMenu(QWidget *list, const QList<QPair<QString, std::function<void()>>> &entries);

// A radio button with the skin's indicators, named name, at (x, y).
QRadioButton *Radio(QWidget *page, const char *name, const QString &text, int x, int y);
// Makes the texts of a row of buttons smaller alike, down to 10 pixels, until each fits before
// the next one (a wide fallback font would run one under the next).
void FitRow(const QList<QRadioButton *> &row);

} // namespace PageStyle

#endif // VEXLOR_PAGESTYLE_H
