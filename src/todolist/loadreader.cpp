#include "loadreader.h"

#include <QByteArrayView>
#include <QHashFunctions>
#include <QLocale>

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <utility>

namespace dorvel {

namespace {

// The text QtSql gives a value, without the QVariant.
QString textOf(sqlite3_stmt* s, int column, int type)
{
    switch (type) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        return QString::number(sqlite3_column_int64(s, column));
    case SQLITE_FLOAT:
        return QString::number(sqlite3_column_double(s, column), 'g',
                               QLocale::FloatingPointShortest);
    case SQLITE_BLOB: {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(s, column));
        return QString::fromUtf8(bytes, sqlite3_column_bytes(s, column));
    }
    default:
        break;
    }
    // The stored UTF-8 as it is: plain ASCII and well-formed UTF-8 without a byte-order mark
    // turn into the same UTF-16 as SQLite's own conversion; anything else goes through that.
    const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
    const int n = sqlite3_column_bytes(s, column);
    bool ascii = true;
    for (int i = 0; i < n && ascii; ++i)
        ascii = uchar(utf8[i]) < 0x80;
    if (ascii)
        return QString::fromLatin1(utf8, n);
    const QByteArrayView view(utf8, n);
    if (view.isValidUtf8() && !view.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(view);
    const auto* utf16 = static_cast<const QChar*>(sqlite3_column_text16(s, column));
    return QString(utf16, sqlite3_column_bytes16(s, column) / int(sizeof(QChar)));
}

// Reads a value as textOf() does; true when it is a text of plain ASCII.
bool asciiText(sqlite3_stmt* s, int column, QString& out)
{
    const int type = sqlite3_column_type(s, column);
    if (type == SQLITE_TEXT) {
        const auto* utf8 = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
        const int n = sqlite3_column_bytes(s, column);
        bool ascii = true;
        for (int i = 0; i < n && ascii; ++i)
            ascii = uchar(utf8[i]) < 0x80;
        if (ascii) {
            out = QString::fromLatin1(utf8, n);
            return true;
        }
    }
    out = textOf(s, column, type);
    return false;
}

// Channel numbers and names, leads and trails repeat across entries: one shared text each
// instead of one per entry. A small table indexed by a hash of the value; a miss replaces
// the slot.
class Shared {
public:
    QString textOf(sqlite3_stmt* s, int column)
    {
        const int type = sqlite3_column_type(s, column);
        if (type == SQLITE_INTEGER) {
            const qint64 v = sqlite3_column_int64(s, column);
            Slot& slot = m_slots[size_t(qHash(v)) % m_slots.size()];
            if (slot.type != SQLITE_INTEGER || slot.number != v)
                slot = {SQLITE_INTEGER, v, {}, QString::number(v)};
            return slot.text;
        }
        if (type == SQLITE_TEXT) {
            const QByteArrayView bytes(
                reinterpret_cast<const char*>(sqlite3_column_text(s, column)),
                sqlite3_column_bytes(s, column));
            Slot& slot = m_slots[size_t(qHash(bytes)) % m_slots.size()];
            if (slot.type != SQLITE_TEXT || QByteArrayView(slot.bytes) != bytes)
                slot = {SQLITE_TEXT, 0, bytes.toByteArray(), dorvel::textOf(s, column, type)};
            return slot.text;
        }
        return dorvel::textOf(s, column, type);
    }

private:
    struct Slot {
        int type = SQLITE_NULL;
        qint64 number = 0;
        QByteArray bytes;
        QString text;
    };
    std::array<Slot, 128> m_slots;
};

// The engine's code and text as QtSql reports them.
QSqlError errorOf(sqlite3* db, const QString& what, QSqlError::ErrorType type, int code)
{
    return QSqlError(what, QString(static_cast<const QChar*>(sqlite3_errmsg16(db))), type,
                     QString::number(code));
}

// The statement, or nothing with the reason as QtSql gives it.
sqlite3_stmt* prepare(sqlite3* db, const QString& statement, QSqlError& error)
{
    sqlite3_stmt* s = nullptr;
    const int prepared = sqlite3_prepare16_v2(db, statement.utf16(),
                                              int(statement.size() * sizeof(QChar)), &s, nullptr);
    if (prepared == SQLITE_OK && s) // an empty statement prepares to nothing
        return s;
    error = errorOf(db, QStringLiteral("Unable to execute statement"), QSqlError::StatementError,
                    prepared);
    sqlite3_finalize(s);
    return nullptr;
}

// Why a step failed, as QtSql gives it. A plain error has its reason only after the reset; a
// busy file has it at once.
QSqlError stepError(sqlite3* db, sqlite3_stmt* s, int rc)
{
    const int code = rc == SQLITE_ERROR || rc == SQLITE_CONSTRAINT ? sqlite3_reset(s) : rc;
    return errorOf(db, QStringLiteral("Unable to fetch row"), QSqlError::ConnectionError, code);
}

sqlite3* connectionOf(const QVariant& handle)
{
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(handle.data());
}

// As QtSql binds a value: null texts, byte arrays and variants as NULL, the rest by type.
int bindAsQtSql(sqlite3_stmt* s, int index, const QVariant& value)
{
    const bool null = value.isNull() ||
                      (value.typeId() == QMetaType::QString && value.toString().isNull()) ||
                      (value.typeId() == QMetaType::QByteArray && value.toByteArray().isNull());
    if (null)
        return sqlite3_bind_null(s, index);
    switch (value.typeId()) {
    case QMetaType::QByteArray: {
        const QByteArray bytes = value.toByteArray();
        return sqlite3_bind_blob(s, index, bytes.constData(), int(bytes.size()), SQLITE_TRANSIENT);
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        return sqlite3_bind_int(s, index, value.toInt());
    case QMetaType::Double:
        return sqlite3_bind_double(s, index, value.toDouble());
    case QMetaType::UInt:
    case QMetaType::LongLong:
        return sqlite3_bind_int64(s, index, value.toLongLong());
    default:
        break;
    }
    const QString text = value.toString();
    return sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * sizeof(QChar)),
                               SQLITE_TRANSIENT);
}

int bindText(sqlite3_stmt* s, int index, const QString& text)
{
    if (text.isNull())
        return sqlite3_bind_null(s, index);
    return sqlite3_bind_text16(s, index, text.utf16(), int(text.size() * sizeof(QChar)),
                               SQLITE_STATIC);
}

} // namespace

LoadReader::Result RecordAppender::append(const QVariant& handle, const QString& statement,
                                          const QList<ViewerDatabase::NewRecord>& records,
                                          int& appended, QSqlError& error)
{
    appended = 0;
    sqlite3* const db = connectionOf(handle);
    if (!db)
        return LoadReader::Result::NoHandle;
    sqlite3_stmt* const s = prepare(db, statement, error);
    if (!s)
        return LoadReader::Result::Failed;
    LoadReader::Result result = LoadReader::Result::Done;
    for (const ViewerDatabase::NewRecord& r : records) {
        sqlite3_reset(s);
        const std::array bound{bindText(s, 1, r.sourceId),
                               bindAsQtSql(s, 2, r.nid),
                               bindAsQtSql(s, 3, r.sid),
                               bindText(s, 4, r.startTime),
                               bindText(s, 5, r.endTime),
                               bindText(s, 6, r.shortDesc),
                               bindText(s, 7, r.longDesc),
                               sqlite3_bind_int64(s, 8, r.preRecord),
                               sqlite3_bind_int64(s, 9, r.postRecord)};
        const auto failed =
            std::find_if(bound.begin(), bound.end(), [](int rc) { return rc != SQLITE_OK; });
        if (failed != bound.end()) {
            error = errorOf(db, QStringLiteral("Unable to bind parameters"),
                            QSqlError::StatementError, *failed);
            result = LoadReader::Result::Failed;
            break;
        }
        const int rc = sqlite3_step(s);
        if (rc != SQLITE_DONE) {
            error = stepError(db, s, rc);
            result = LoadReader::Result::Failed;
            break;
        }
        ++appended;
    }
    sqlite3_finalize(s);
    return result;
}

LoadReader::Result
LoadReader::read(const QVariant& handle, const QString& statement,
                 const std::function<void(const ViewerDatabase::LoadRow&)>& receive,
                 QSqlError& error)
{
    sqlite3* const db = connectionOf(handle);
    if (!db)
        return Result::NoHandle;
    sqlite3_stmt* const s = prepare(db, statement, error);
    if (!s)
        return Result::Failed;
    Shared num, channel, pre, post;
    ViewerDatabase::LoadRow row;
    // Whether the fingerprint of plain texts is plainFingerprint() of them in this file (its
    // texts are stored as UTF-8): checked on the first such row, 0 until then.
    int plainChecked = 0;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        row.num = num.textOf(s, 0);
        row.channel = channel.textOf(s, 1);
        bool plain = true;
        for (const auto& [column, text] :
             {std::pair{2, &row.startTime}, std::pair{3, &row.endTime},
              std::pair{4, &row.shortDesc}, std::pair{5, &row.longDesc}})
            plain = asciiText(s, column, *text) && plain;
        row.preRecord = pre.textOf(s, 6);
        row.postRecord = post.textOf(s, 7);
        row.rowId = sqlite3_column_int64(s, 8);
        row.plainTexts = plain && plainChecked >= 0;
        if (row.plainTexts && plainChecked > 0) {
            row.fingerprint.clear();
        } else {
            row.fingerprint = textOf(s, 9, sqlite3_column_type(s, 9));
            if (row.plainTexts) {
                plainChecked =
                    row.fingerprint == ViewerDatabase::plainFingerprint(row.startTime, row.endTime,
                                                                        row.shortDesc, row.longDesc)
                        ? 1
                        : -1;
                row.plainTexts = false;
            }
        }
        receive(row);
    }
    Result result = Result::Done;
    if (rc != SQLITE_DONE) {
        error = stepError(db, s, rc);
        result = Result::Failed;
    }
    sqlite3_finalize(s);
    return result;
}

} // namespace dorvel
