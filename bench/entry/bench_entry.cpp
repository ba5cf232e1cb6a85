// Committing a daily series of 400 rows through the add-recording commit (one transaction),
// against the same 400 rows inserted by a bare sqlite3 transaction on the same file system in
// the same run. The same rows written one autocommit at a time show what the transaction saves.

#include "datetext.h"
#include "fakes.h"
#include "messages.h"
#include "recordingcommit.h"
#include "viewerdb.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

using namespace dorvel;

namespace {

constexpr int kRows = 400;
constexpr int kRuns = 15;

double median(QList<double> v)
{
    std::sort(v.begin(), v.end());
    return v.at(v.size() / 2);
}

bool makeDatabase(const QString& path)
{
    bool ok = false;
    {
        QSqlDatabase d =
            QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("make"));
        d.setDatabaseName(path);
        if (d.open()) {
            QSqlQuery q(d);
            ok = q.exec(QStringLiteral("CREATE TABLE CHANNELS(CHANNELNUM INTEGER, NAME TEXT, NID "
                                       "INTEGER, SID INTEGER, SOURCEID INTEGER)")) &&
                 q.exec(QStringLiteral("CREATE TABLE RECORD(NID INTEGER, SID INTEGER, SOURCEID "
                                       "INTEGER, STARTTIME TEXT, ENDTIME TEXT, SHORTDESC TEXT, "
                                       "LONGDESC TEXT, CHARID INTEGER, PRERECORD INTEGER, "
                                       "POSTRECORD INTEGER)")) &&
                 q.exec(QStringLiteral("INSERT INTO CHANNELS VALUES(1, 'Das Erste HD', 1, 10301, "
                                       "192)"));
        }
        d.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("make"));
    return ok;
}

bool clearRecords(ViewerDatabase& db)
{
    QSqlQuery q(db.db());
    return q.exec(QStringLiteral("DELETE FROM RECORD"));
}

int countRecords(ViewerDatabase& db)
{
    QSqlQuery q(db.db());
    return q.exec(QStringLiteral("SELECT count(*) FROM RECORD")) && q.next() ? q.value(0).toInt()
                                                                             : -1;
}

// The bare anchor: one transaction, one prepared statement, the rows of the plan.
double sqliteMs(const QString& path, const CommitPlan& plan)
{
    sqlite3* h = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &h, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return -1;
    QList<QByteArray> texts;
    for (const auto& r : plan.rows)
        texts << r.startTime.toUtf8() << r.endTime.toUtf8() << r.shortDesc.toUtf8()
              << r.longDesc.toUtf8();
    QElapsedTimer t;
    t.start();
    sqlite3_exec(h, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(h,
                       "INSERT INTO RECORD (SOURCEID, NID, SID, STARTTIME, ENDTIME, CHARID, "
                       "SHORTDESC, LONGDESC, PRERECORD, POSTRECORD) VALUES (?, ?, ?, ?, ?, 0, ?, "
                       "?, ?, ?)",
                       -1, &s, nullptr);
    bool ok = s != nullptr;
    for (int i = 0; ok && i < plan.rows.size(); ++i) {
        const auto& r = plan.rows.at(i);
        sqlite3_bind_text(s, 1, "192", -1, SQLITE_STATIC);
        sqlite3_bind_int64(s, 2, r.nid.toLongLong());
        sqlite3_bind_int64(s, 3, r.sid.toLongLong());
        for (int c = 0; c < 4; ++c) {
            const QByteArray& b = texts.at(i * 4 + c);
            sqlite3_bind_text(s, 4 + c, b.constData(), int(b.size()), SQLITE_STATIC);
        }
        sqlite3_bind_int64(s, 8, r.preRecord);
        sqlite3_bind_int64(s, 9, r.postRecord);
        ok = sqlite3_step(s) == SQLITE_DONE;
        sqlite3_reset(s);
    }
    sqlite3_finalize(s);
    ok = ok && sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    const double ms = t.nsecsElapsed() / 1e6;
    sqlite3_close(h);
    return ok ? ms : -1;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Orbivu.mdb"));
    if (!dir.isValid() || !makeDatabase(path))
        return 1;
    ViewerDatabase db(QStringLiteral("bench"));
    if (!db.open(path))
        return 1;

    test::FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(12, 0)));
    test::FakePrompter prompter; // confirms the series
    const MessageTable msg = MessageTable::forLanguage(QStringLiteral("eng"));
    CommitInput in;
    in.repetition = Repetition::Daily;
    in.startDate = QStringLiteral("2026.12.06");
    in.startTime = QStringLiteral("20:15");
    in.stopDate = QStringLiteral("2026.12.06");
    in.stopTime = QStringLiteral("21:45");
    in.untilDate = FormatDbTime(*parseUserDate(in.startDate) + kRows - 1).left(10);
    in.sdesc = QStringLiteral("Das_Erste_HD-2026_12_06-20_15");
    in.preRecord = in.postRecord = QStringLiteral("2");
    in.channelNumber = QStringLiteral("1");
    in.channelName = QStringLiteral("Das Erste HD");

    int status = 0;
    const auto keys = db.channelKeysByNumber(1);
    if (!keys || keys->isEmpty())
        return 1;
    const double start = *parseUserDate(in.startDate) + *parseUserTime(in.startTime);
    const double stop = *parseUserDate(in.stopDate) + *parseUserTime(in.stopTime);
    const CommitPlan plan = planRows(in, start, stop, *parseUserDate(in.untilDate), keys->first());
    // Turn about, so that both see the same state of a shared disk.
    QList<double> commitTimes, bareTimes, autoTimes;
    for (int run = 0; run < kRuns; ++run) {
        if (!clearRecords(db))
            return 1;
        QElapsedTimer t;
        t.start();
        RecordingCommit commit(db, prompter, clock, msg);
        const auto r = commit.commit(in);
        commitTimes << t.nsecsElapsed() / 1e6;
        if (r.outcome != RecordingCommit::Outcome::Finished || r.written != kRows ||
            countRecords(db) != kRows) {
            std::fprintf(stderr, "the commit wrote %d rows, not %d\n", r.written, kRows);
            status = 1;
        }
        if (!clearRecords(db))
            return 1;
        const double ms = sqliteMs(path, plan);
        if (ms < 0 || countRecords(db) != kRows)
            status = 1;
        bareTimes << ms;
    }
    for (int run = 0; run < 3; ++run) {
        if (!clearRecords(db))
            return 1;
        QElapsedTimer t;
        t.start();
        for (const auto& row : plan.rows)
            db.appendRecord(row);
        autoTimes << t.nsecsElapsed() / 1e6;
    }
    const double c = median(commitTimes), b = median(bareTimes), a = median(autoTimes);
    std::printf("daily series of %d rows: commit %.1f ms, bare sqlite3 transaction %.1f ms, "
                "ratio %.2f (target <= 2 and < 100 ms: %s)\n",
                kRows, c, b, b > 0 ? c / b : 0.0,
                (b > 0 && c / b <= 2 && c < 100) ? "met" : "MISSED");
    std::printf("the same rows one autocommit each: %.1f ms in all, %.3f ms per row (commit: "
                "%.3f ms per row)\n",
                a, a / kRows, c / kRows);
    return status;
}
