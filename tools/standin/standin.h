#pragma once

#include "standinoptions.h"
#include "transportstream.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QObject>
#include <QSocketNotifier>
#include <QTimer>

#include <memory>

namespace dorvel::standin {

// One run of the stand-in viewer: with /record=N it records into the viewer's record folder
// for N (scaled) minutes and ends; without it, it runs until it is asked to close. Close
// requests arrive as signal numbers on a pipe that the signal handler writes to.
class Standin : public QObject {
    Q_OBJECT
public:
    struct Setup {
        QString folder; // the folder of the executable, ends without "/"
        QStringList args;
        double secondsPerMinute = 60;
        bool ignoreFirstClose = false;
        int signalFd = -1; // read end of the signal pipe
    };

    explicit Standin(Setup setup);
    ~Standin() override;

    // Writes the start line and begins recording; finished() follows, queued, at the end.
    void start();

signals:
    void finished(int exitCode);

private:
    void readSignals();
    void tick();
    void finish(const QString& reason);
    bool openRecording(const QString& directory, const QString& stem);
    void fail(const QString& problem);
    void appendLog(const QString& text);

    Setup m_setup;
    Options m_options;
    TransportStream m_stream;
    std::unique_ptr<QSocketNotifier> m_signalNotifier;
    QTimer m_ticker;
    QDeadlineTimer m_deadline;
    QFile m_file;
    QString m_fileNote; // said in the end line, e.g. that the wanted name existed
    QString m_problem;  // why nothing (more) could be recorded
    bool m_ignoredClose = false;
    bool m_finished = false;
};

} // namespace dorvel::standin
