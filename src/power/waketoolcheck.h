#pragma once

#include <QString>
#include <QStringList>

namespace dorvel {

// Runs the wake-up tool's own check ("Nocturo.exe --check /wakeup=...") and waits for its
// answer, so that Dorvel ends only when the tool can arm the alarm and power off. Empty when
// the tool says it can go ahead; otherwise what it says is wrong, the problems joined by "; ".
QString runWakeToolCheck(const QString& program, const QStringList& checkArgs,
                         int timeoutMs = 20000);

} // namespace dorvel
