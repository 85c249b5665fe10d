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

#endif // VEXLOR_CSKINIMAGE_H
