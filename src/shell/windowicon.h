#pragma once

#include <QIcon>

namespace dorvel {

// An icon from a compiled-in file that reads the file, and loads what renders it, only when a
// pixmap is first asked for: a start that paints no icon need not load the SVG renderer.
QIcon lazyIcon(const QString& resourcePath);

} // namespace dorvel
