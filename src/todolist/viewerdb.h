#pragma once

#include <QSqlDatabase>
#include <QString>

namespace dorvel {

// The viewer's database: a SQLite file (it keeps its .mdb name) shared with the viewer, which
// may write to it at the same time; a busy timeout makes us wait briefly instead of failing.
// Every value goes into a statement as a bound parameter.
class ViewerDatabase {
public:
    explicit ViewerDatabase(const QString& connectionName = QStringLiteral("orbivu"));
    ~ViewerDatabase();
    ViewerDatabase(const ViewerDatabase&) = delete;
    ViewerDatabase& operator=(const ViewerDatabase&) = delete;

    // OpenViewerDatabase: releases a previous connection and opens the file. Fails for a
    // missing file, a folder, and a file that is not a viewer database (no RECORD and
    // CHANNELS tables), without ever creating or changing the file.
    bool open(const QString& path);
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QSqlDatabase db() const;

    static constexpr int kBusyTimeoutMs = 5000;

private:
    QString m_connection;
    QString m_path;
};

} // namespace dorvel
