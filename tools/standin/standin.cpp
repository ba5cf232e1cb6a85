#include "standin.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace dorvel::standin {

namespace {

constexpr int kTickMs = 100;
constexpr int kPacketsPerTick = 4;
// Far more duplicates than any test or demo makes; stops a loop on a strange file system.
constexpr int kMaxDuplicates = 10000;

QString stamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

void say(const QString& text)
{
    std::fprintf(stderr, "Orbivu stand-in: %s\n", qPrintable(text));
    std::fflush(stderr);
}

} // namespace

Standin::Standin(Setup setup) : m_setup(std::move(setup))
{
    m_options = Options::parse(m_setup.args);
    if (m_setup.signalFd >= 0) {
        m_signalNotifier =
            std::make_unique<QSocketNotifier>(m_setup.signalFd, QSocketNotifier::Read);
        connect(m_signalNotifier.get(), &QSocketNotifier::activated, this, &Standin::readSignals);
    }
    m_ticker.setInterval(kTickMs);
    connect(&m_ticker, &QTimer::timeout, this, &Standin::tick);
}

Standin::~Standin() = default;

void Standin::appendLog(const QString& text)
{
    QFile log(m_setup.folder + QStringLiteral("/standin.log"));
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append) ||
        log.write((text + QLatin1Char('\n')).toUtf8()) < 0)
        say(QStringLiteral("cannot write %1: %2").arg(log.fileName(), log.errorString()));
}

void Standin::fail(const QString& problem)
{
    if (m_problem.isEmpty())
        m_problem = problem;
    say(problem);
}

void Standin::start()
{
    appendLog(stamp() + QLatin1Char(' ') + m_setup.args.join(QLatin1Char(' ')));
    for (const QString& p : m_options.problems)
        say(p);

    if (m_options.recordMinutes) {
        const QString iniPath = m_setup.folder + QStringLiteral("/settings.ini");
        QFile ini(iniPath);
        QString directory;
        if (!ini.open(QIODevice::ReadOnly))
            fail(QStringLiteral("cannot read %1: %2").arg(iniPath, ini.errorString()));
        else if ((directory = recordDirectoryFromIni(ini.readAll())).isEmpty())
            fail(QStringLiteral("no RecordDirectory= in %1").arg(iniPath));
        else if (!QFileInfo(directory).isDir())
            fail(QStringLiteral("record folder %1 does not exist").arg(directory));
        else
            openRecording(directory, recordingStem(m_options, QDateTime::currentDateTime()));
        const double ms = double(*m_options.recordMinutes) * m_setup.secondsPerMinute * 1000.0;
        m_deadline.setRemainingTime(qint64(ms), Qt::PreciseTimer);
    } else {
        m_deadline = QDeadlineTimer(QDeadlineTimer::Forever);
    }
    m_ticker.start();
    tick();
}

bool Standin::openRecording(const QString& directory, const QString& stem)
{
    for (int attempt = 0; attempt <= kMaxDuplicates; ++attempt) {
        const QString name = candidateFileName(stem, attempt);
        m_file.setFileName(directory + name);
        // NewOnly: an existing recording is never overwritten, not even by a race.
        if (m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (attempt > 0) {
                m_fileNote = QStringLiteral("%1 existed, wrote %2 instead")
                                 .arg(candidateFileName(stem, 0), name);
                say(m_fileNote);
            }
            return true;
        }
        const QFileInfo existing(m_file.fileName());
        if (!existing.exists() && !existing.isSymLink()) {
            fail(QStringLiteral("cannot create %1: %2")
                     .arg(m_file.fileName(), m_file.errorString()));
            return false;
        }
    }
    fail(QStringLiteral("no free file name for %1 in %2").arg(stem, directory));
    return false;
}

void Standin::tick()
{
    if (m_file.isOpen()) {
        const QByteArray data = m_stream.packets(kPacketsPerTick);
        // Flushed every tick so that the file grows visibly while the recording runs.
        if (m_file.write(data) != data.size() || !m_file.flush()) {
            fail(
                QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
            m_file.close();
        }
    }
    if (m_deadline.hasExpired())
        finish(QStringLiteral("%1 %2 min")
                   .arg(m_problem.isEmpty() ? QStringLiteral("recorded") : QStringLiteral("after"))
                   .arg(m_options.recordMinutes.value_or(0)));
}

void Standin::readSignals()
{
    char buffer[16];
    const ssize_t n = ::read(m_setup.signalFd, buffer, sizeof buffer);
    for (ssize_t i = 0; i < n && !m_finished; ++i) {
        const int sig = buffer[i];
        const QString name = sig == SIGTERM ? QStringLiteral("SIGTERM") : QStringLiteral("SIGINT");
        if (m_setup.ignoreFirstClose && !m_ignoredClose) {
            // Like a viewer that asks its user whether to stop: the first request goes unheard.
            m_ignoredClose = true;
            say(QStringLiteral("close request ignored (%1)").arg(name));
            continue;
        }
        finish(QStringLiteral("closed by %1").arg(name));
    }
}

void Standin::finish(const QString& reason)
{
    if (m_finished)
        return;
    m_finished = true;
    m_ticker.stop();
    QString text = stamp() + QStringLiteral(" ended ") + reason;
    if (m_file.isOpen()) {
        const bool flushed = m_file.flush();
        m_file.close();
        if (!flushed || m_file.error() != QFileDevice::NoError)
            fail(
                QStringLiteral("cannot write %1: %2").arg(m_file.fileName(), m_file.errorString()));
    }
    if (!m_file.fileName().isEmpty() && QFileInfo::exists(m_file.fileName()))
        text += QStringLiteral(", file %1 (%2 bytes)")
                    .arg(m_file.fileName())
                    .arg(QFileInfo(m_file.fileName()).size());
    if (!m_fileNote.isEmpty())
        text += QStringLiteral(", ") + m_fileNote;
    if (!m_problem.isEmpty())
        text += QStringLiteral(", failed: ") + m_problem;
    appendLog(text);
    emit finished(m_problem.isEmpty() ? 0 : 2);
}

} // namespace dorvel::standin
