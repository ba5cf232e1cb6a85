#pragma once

#include "viewerdb.h"

#include <QSqlError>
#include <QVariant>

#include <functional>

namespace dorvel {

// Runs the load statement straight on the SQLite connection behind QtSql (the driver's
// handle): a load reads a dozen values for each of up to 100,000 entries, and QtSql's
// QVariant per value costs more than the engine takes to produce it. Every value reads as
// QtSql gives it, NULL as a null text, a number in its QVariant text form, a text as
// SQLite turns it into UTF-16, a BLOB as UTF-8; a failure carries the engine's code and
// text as QtSql would report them.
class LoadReader {
public:
    enum class Result { Done, Failed, NoHandle };
    // NoHandle when the connection is no SQLite one (nothing has been read).
    static Result read(const QVariant& handle, const QString& statement,
                       const std::function<void(const ViewerDatabase::LoadRow&)>& receive,
                       QSqlError& error);
};

// Appends RECORD rows on the same connection, for the same reason: QtSql binds every value
// through a QVariant, which cost a series of 400 entries about as much as the engine's own
// work. Each value is bound as QtSql binds it (a null text as NULL, a text as UTF-16, a
// number as an integer or a real), and a failure reads as QtSql would report it.
class RecordAppender {
public:
    // Appends in order through one statement and stops at the first failure; appended says
    // how many went in. NoHandle when the connection is no SQLite one (nothing was written).
    static LoadReader::Result append(const QVariant& handle, const QString& statement,
                                     const QList<ViewerDatabase::NewRecord>& records, int& appended,
                                     QSqlError& error);
};

} // namespace dorvel
