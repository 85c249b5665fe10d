#ifndef VEXLOR_PAGESTYLE_H
#define VEXLOR_PAGESTYLE_H

// What every page's form shares: the style sheets of its lists, the folder icon, and the set-up
// of its image buttons.

#include <QIcon>
#include <QString>

class CImageButton;
class QWidget;

namespace PageStyle {

// The white list of files (the Extract and Edit tables, the Edit folder view).
extern const char *const List;
// The Create page's project list: the same with normal-weight text.
extern const char *const ProjectList;
// The Extract page's green folder view.
extern const char *const FolderTree;

// The platform's folder icon.
QIcon FolderIcon();

// A three-state image button named name on page at (x, y): images prefix + "1", "2", "3" for
// normal, hover and pressed, no disabled image.
CImageButton *Button(QWidget *page, const char *name, const QString &prefix, int x, int y);

} // namespace PageStyle

#endif // VEXLOR_PAGESTYLE_H
