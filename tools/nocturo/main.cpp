// The wake-up tool: arms the PC's RTC wake alarm for a moment and switches the PC off
// through logind. Dorvel starts it with the single argument /wakeup=<yyyy-MM-dd HH:mm:ss>.

#include "wakeuptool.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QString problem;
    const std::optional<dorvel::WakeUpToolOptions> options =
        dorvel::parseWakeUpToolArguments(app.arguments().mid(1), &problem);
    if (!options) {
        QTextStream(stderr) << "Nocturo: " << problem << Qt::endl
                            << dorvel::wakeUpToolUsage() << Qt::endl;
        return dorvel::ToolBadArguments;
    }
    return dorvel::WakeUpTool(*options).run();
}
