#include "startviewer.h"

#include "appstate.h"
#include "mainview.h"
#include "prompter.h"
#include "viewerprocess.h"

#include <QFileInfo>

namespace dorvel {

bool startViewerByHand(const AppState& state, MainView& view, Prompter& prompter,
                       ViewerProcess& viewer)
{
    if (state.orbivuState != 0) {
        prompter.message(view.caption());
        return false;
    }
    QString error;
    const QString folder = QFileInfo(state.orbivuExePath).absolutePath();
    if (!viewer.start(state.orbivuExePath, {}, folder, &error)) {
        prompter.message(QStringLiteral("ERROR: ") + state.orbivuExePath +
                         QStringLiteral(" not found"));
        return false;
    }
    return true;
}

} // namespace dorvel
