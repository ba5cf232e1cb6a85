#include "windowlayout.h"

#include <algorithm>
#include <cmath>

namespace dorvel::windowlayout {

int todoListHeight(int total, double splitRatio, int wanted, int minTodo, int minActivity)
{
    int h = int(std::lround(total * std::clamp(splitRatio, 0.05, 0.95)));
    if (wanted > 0)
        h = std::min(h, wanted);
    // The activity list keeps its minimum first; the to-do list its own when room allows.
    h = std::min(h, total - minActivity);
    return std::max({h, minTodo, 0});
}

double splitRatioOf(int todoHeight, int activityHeight)
{
    const int sum = todoHeight + activityHeight;
    if (sum <= 0)
        return 0.5;
    return std::clamp(double(todoHeight) / sum, 0.05, 0.95);
}

QPoint visibleTopLeft(const QRect& window, const QList<QRect>& screens)
{
    if (screens.isEmpty())
        return window.topLeft();
    // The strip a user grabs to move the window: enough of it must be on a screen.
    const QRect titleBar(window.x(), window.y(), std::max(window.width(), 1), 24);
    for (const QRect& s : screens) {
        const QRect seen = s.intersected(titleBar);
        if (seen.width() >= std::min(96, titleBar.width()) && seen.height() >= 12)
            return window.topLeft();
    }
    const QRect& first = screens.first();
    const int x = std::clamp(window.x(), first.left(),
                             std::max(first.left(), first.right() + 1 - window.width()));
    const int y = std::clamp(window.y(), first.top(),
                             std::max(first.top(), first.bottom() + 1 - window.height()));
    return {x, y};
}

int stretchedWidth(int ownWidth, int viewWidth, int otherColumns)
{
    return std::max(ownWidth, viewWidth - otherColumns);
}

} // namespace dorvel::windowlayout
