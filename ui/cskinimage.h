#ifndef VEXLOR_CSKINIMAGE_H
#define VEXLOR_CSKINIMAGE_H

#include <QPixmap>
#include <QString>

// Loads the skin's pictures for painting. Pictures of the resource bundle never change while the
// program runs, so they are kept in the pixmap cache; a picture given as a file path is cached
// under its path, size and modification time, so a changed file is read again.
class CSkinImage
{
public:
    // The picture at path (":/nwu/..." or a file path); a null pixmap when it cannot be loaded.
    static QPixmap Load(const QString &path);
};

// The pictures of a control's states, one file each; an empty path means "none".
struct StatePictures
{
    QString normal;
    QString hover;
    QString pressed;
    QString disabled;

    // The picture a control shows: disabled (normal when there is none), else pressed, hovered
    // or normal.
    QString For(bool enabled, bool hovering, bool pressing) const
    {
        if (!enabled)
            return disabled.isEmpty() ? normal : disabled;
        return pressing ? pressed : (hovering ? hover : normal);
    }
};

#endif // VEXLOR_CSKINIMAGE_H
