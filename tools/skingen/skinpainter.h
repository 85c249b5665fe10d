#pragma once

#include "skintable.h"

#include <QImage>

namespace Skin {

// Draws one table entry at its size (transparent where the picture has no surface).
QImage paint(const Entry &entry);

// The application icon, square, of the given side.
QImage paintLogo(int side);

} // namespace Skin
