#pragma once

#include <QList>
#include <QString>

namespace dorvel {

// Status texts of the power operations. Callers compare with Resumed; the others are shown
// or logged as they are.
namespace powertext {
inline const QString Resumed = QStringLiteral("Resumed");
inline const QString BadTimeValue = QStringLiteral("Bad time value");
inline const QString CreateTimerFail = QStringLiteral("Create timer fail");
inline const QString SetTimerFail = QStringLiteral("SetTimer fail");
inline const QString FailToSetPowerState = QStringLiteral("Fail to set power state");
} // namespace powertext

// What a power request relies on; each request is checked only for what it needs, so that
// a machine without a wake alarm can still power off unattended.
enum class PowerRequest { PowerOff, TimedStandby, Standby };

// A check that failed: its name ("CanPowerOff", "CanSuspend", "WakeAlarm") and the reason.
struct PowerCheck {
    QString name;
    QString reason;
};

// The machine's power state, the wake alarm and the stay-awake lock. All calls are
// synchronous, non-interactive and never ask the user; failures come back as texts.
class Power {
public:
    virtual ~Power() = default;

    // The checks of this request that fail now; empty when all pass.
    virtual QList<PowerCheck> failedChecks(PowerRequest request) = 0;
    // Asks for a power-off and returns as soon as the request has been accepted or refused.
    virtual void powerOff() = 0;
    // Arms the wake alarm (created on first use, then reused) and suspends. Returns
    // powertext::Resumed after the machine has woken again, or one of the failure texts; the
    // machine is not suspended when the alarm could not be created or armed.
    virtual QString standbyWithWakeup(qint32 seconds) = 0;
    // Drops the wake alarm, so that nothing wakes the machine, and suspends. Resumed or
    // powertext::FailToSetPowerState.
    virtual QString standbyUntilUser() = 0;
    // Keeps the system from idling into sleep while on. Idempotent: the lock is taken once
    // and released when switched off.
    virtual void setSystemRequired(bool on) = 0;
    virtual bool systemRequired() const = 0;
    // Releases the wake alarm, if one exists.
    virtual void closeWakeTimer() = 0;
};

} // namespace dorvel
