// RECORD rows as the viewer (or anything else writing its database) may leave them, read by
// the real loader from a real SQLite file: any texts in the time columns, any numbers in the
// lead and trail columns, channels that exist or not.

#include "../todolist/loaderrig.h"
#include "fuzzcheck.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

using namespace dorvel;
using namespace dorvel::test;

namespace {

struct World {
    QTemporaryDir tmp;
    QString path = tmp.filePath(QStringLiteral("Orbivu.mdb"));
    LoaderRig rig{QDateTime(QDate(2026, 10, 25), QTime(1, 30))};
};

World* g_world = nullptr;

// A time text: mostly well-formed around the autumn change, sometimes anything.
QString timeText(FuzzedDataProvider& in)
{
    if (in.ConsumeBool())
        return QString::fromStdString(in.ConsumeRandomLengthString(24));
    return QStringLiteral("2026.10.%1 %2:%3")
        .arg(in.ConsumeIntegralInRange(20, 31), 2, 10, QLatin1Char('0'))
        .arg(in.ConsumeIntegralInRange(0, 25), 2, 10, QLatin1Char('0'))
        .arg(in.ConsumeIntegralInRange(0, 61), 2, 10, QLatin1Char('0'));
}

QVariant number(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        return QVariant(); // NULL
    case 1:
        return in.ConsumeIntegralInRange(-5, 70);
    case 2:
        return QVariant(qlonglong(in.ConsumeIntegral<qint64>()));
    default:
        return QString::fromStdString(in.ConsumeRandomLengthString(8));
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    g_world = new World;
    {
        DbFixture file(g_world->path);
        file.channel(12, QStringLiteral("Das Erste"));
        file.channel(3, QStringLiteral("Arte"));
    }
    if (!g_world->rig.db.open(g_world->path))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    LoaderRig& w = g_world->rig;
    FuzzedDataProvider in(data, size);
    QSqlDatabase sql = w.db.db();
    sql.transaction();
    QSqlQuery(QStringLiteral("DELETE FROM RECORD"), sql);
    QSqlQuery q(sql);
    q.prepare(QStringLiteral("INSERT INTO RECORD VALUES(?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"));
    const int rows = in.ConsumeIntegralInRange(0, 12);
    for (int r = 0; r < rows; ++r) {
        const int channel = in.PickValueInArray({3, 12, 99});
        for (const QVariant& v :
             {QVariant(channel), QVariant(channel), QVariant(channel), QVariant(timeText(in)),
              QVariant(timeText(in)),
              QVariant(QString::fromStdString(in.ConsumeRandomLengthString(40))),
              QVariant(QString::fromStdString(in.ConsumeRandomLengthString(20))), number(in),
              number(in)})
            q.addBindValue(v);
        if (!q.exec())
            std::abort();
    }
    sql.commit();
    w.state.settings.ignoreOverlap = in.ConsumeBool();
    w.state.settings.startPendingRecord = in.ConsumeBool();
    w.clock.set(QDateTime(QDate(2026, 10, 25), QTime(0, 0))
                    .addSecs(in.ConsumeIntegralInRange(-3 * 86400, 7 * 86400)));

    w.loader.getRecordings();

    FUZZ_CHECK(w.ended == 0, QString());
    FUZZ_CHECK(w.todo.recordingCount >= 0 && w.todo.recordingCount <= rows,
               QString::number(w.todo.recordingCount));
    FUZZ_CHECK(w.todo.rows() - 1 <= rows, QString::number(w.todo.rows()));
    // A row the tick could start has a readable launch time and a length.
    if (w.timer.active && w.todo.nextEventRow >= 1 && w.todo.nextEventRow < w.todo.rows()) {
        const int r = w.todo.nextEventRow;
        const int c = w.todo.nextEventColumn;
        FUZZ_CHECK(c >= 1 && c + 1 < TodoList::ColumnCount, QString::number(c));
        FUZZ_CHECK(parseDefault(w.todo.cell(r, c)).has_value(), w.todo.cell(r, c));
    }
    w.prompter.shown.clear();
    w.activity.clear();
    return 0;
}
