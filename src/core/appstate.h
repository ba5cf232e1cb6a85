#pragma once

#include "messages.h"
#include "settings.h"

#include <QString>

namespace dorvel {

// The process-wide state that every subsystem shares, alive for the whole run. The to-do
// list's own state (next event, count, widths) lives in TodoList.
struct AppState {
    // Paths and values derived at load.
    QString appPath;       // the program's own folder, taken on the first load
    QString orbivuDBPath;  // the viewer database in use
    QString orbivuExePath; // <viewer folder>/Orbivu.EXE
    QString settingsIniPath;
    QString recordDirectory; // from settings.ini, ends in "/" unless empty
    int prerecordMinutes = 2;
    int postrecordMinutes = 2;
    QString mainCaption = QStringLiteral("Dorvel Ver 0.36");

    Settings settings;
    MessageTable msg = MessageTable::forLanguage(QString());

    // Window layout.
    double splitRatio = 0.5;
    qint16 hPos = 1000, vPos = 1000, vSize = 9000, hSize = 15000;

    // Start-up flags.
    bool reloadRequested = false;
    bool firstPaint = false;
    bool wakeToolPresent = false;
    bool wakeToolMode = false;

    // Scheduler and viewer state.
    int orbivuState = 0; // 0 none, 1 started by the scheduler and running, 2 started by the user
    qint64 orbivuTaskId = 0;
    quint64 orbivuTaskStart = 0; // start time of that pid, so a reused pid never passes
    bool busyWarningShown = false;
    bool resumedFromStandby = false;
    bool standbyMode = false;
    QString pendingPowerAction;
    bool gridEdited = false;
    bool shutdownConfirmed = false;
    double countdownEnd = 0.0;
};

} // namespace dorvel
