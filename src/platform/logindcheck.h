#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>

namespace dorvel {

// What logind answers to CanPowerOff, CanSuspend and the like, asked without any wish to
// authorise: only "yes" lets an unattended PC act. "challenge" means polkit would ask for a
// password, which nobody at a sleeping PC can type.
struct LogindAnswer {
    QString method; // "CanPowerOff"
    QString answer; // "yes", "no", "challenge", "na"; empty when logind did not answer
    QString error;  // the D-Bus error when it did not
    bool yes() const { return error.isEmpty() && answer == QLatin1String("yes"); }
};

LogindAnswer askLogind(const QDBusConnection& systemBus, const QString& method,
                       int timeoutMs = 5000);

// One sentence for a user: what logind said and what it means. `action` is "power off" or
// "suspend".
QString describeLogindAnswer(const LogindAnswer& a, const QString& action);

// What keeps logind from a plain "yes": other users' sessions ("user bob is logged in") and
// block inhibitors of `what` ("shutdown" or "sleep") held by other programs. Empty when logind
// does not tell.
QStringList logindObstacles(const QDBusConnection& systemBus, const QString& what,
                            int timeoutMs = 5000);

} // namespace dorvel
