#pragma once

#include <QList>
#include <QPoint>
#include <QRect>

namespace dorvel {

// The main window's layout rules, in pixels, free of widgets so that they can be checked on
// their own.
namespace windowlayout {

// Height of the to-do list in a splitter whose two panes share `total` pixels: the user's
// share, but no more than the list's rows need (`wanted`, 0 = no cap), and never below either
// pane's minimum.
int todoListHeight(int total, double splitRatio, int wanted, int minTodo, int minActivity);

// The to-do list's share of both panes, kept between 0.05 and 0.95.
double splitRatioOf(int todoHeight, int activityHeight);

// The top-left corner for a window of `window` so that its title bar lies on one of the
// screens; a position that already does is kept.
QPoint visibleTopLeft(const QRect& window, const QList<QRect>& screens);

// The shown width of the stretching column: its own width, or the room that the other
// columns leave in the view, whichever is larger.
int stretchedWidth(int ownWidth, int viewWidth, int otherColumns);

} // namespace windowlayout

} // namespace dorvel
