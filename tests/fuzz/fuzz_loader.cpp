// RECORD rows as the viewer (or anything else writing its database) may leave them, read by
// the real loader from a real SQLite file: any texts in the time columns, any numbers in the
// lead and trail columns, channels that exist or not.

#include "activitylist.h"
#include "appstate.h"
#include "fakes.h"
#include "fuzzcheck.h"
#include "recordingsloader.h"
#include "todolist.h"
#include "viewerdb.h"
#include "viewerfolder.h"

#include <QCoreApplication>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>

using namespace dorvel;
using namespace dorvel::test;

namespace {

struct World {
    World()
    {
        state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
        folder.addChannel(12, QStringLiteral("Das Erste"));
        folder.addChannel(3, QStringLiteral("Arte"));
        if (!db.open(folder.db))
            std::abort();
    }

    QTemporaryDir tmp;
    ViewerFolder folder = ViewerFolder::create(tmp.filePath(QStringLiteral("Orbivu/")));
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{QStringLiteral("fuzz")};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock{QDateTime(QDate(2026, 10, 25), QTime(1, 30))};
    MemorySettingsStore store;
    int ended = 0;
    RecordingsLoader loader{state, todo,  activity, db,    prompter,
                            view,  timer, clock,    store, [this] { ++ended; }};
};

World* g_world = nullptr;

// A time text: mostly well-formed around the autumn change, sometimes anything.
QString timeText(FuzzedDataProvider& in)
{
    if (in.ConsumeBool())
        return QString::fromStdString(in.ConsumeRandomLengthString(24));
    const int day = in.ConsumeIntegralInRange(20, 31);
    const int hour = in.ConsumeIntegralInRange(0, 25);
    const int minute = in.ConsumeIntegralInRange(0, 61);
    return QStringLiteral("2026.10.%1 %2:%3")
        .arg(day, 2, 10, QLatin1Char('0'))
        .arg(hour, 2, 10, QLatin1Char('0'))
        .arg(minute, 2, 10, QLatin1Char('0'));
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
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    World& w = *g_world;
    FuzzedDataProvider in(data, size);
    QSqlDatabase sql = w.db.db();
    sql.transaction();
    QSqlQuery(QStringLiteral("DELETE FROM RECORD"), sql);
    QSqlQuery q(sql);
    q.prepare(QStringLiteral("INSERT INTO RECORD VALUES(?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const int rows = in.ConsumeIntegralInRange(0, 12);
    for (int r = 0; r < rows; ++r) {
        const int channel = in.PickValueInArray({3, 12, 99});
        const QList<QVariant> values{channel,
                                     channel,
                                     channel,
                                     timeText(in),
                                     timeText(in),
                                     QString::fromStdString(in.ConsumeRandomLengthString(40)),
                                     QString::fromStdString(in.ConsumeRandomLengthString(20)),
                                     0,
                                     number(in),
                                     number(in)};
        for (int i = 0; i < values.size(); ++i)
            q.bindValue(i, values[i]);
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
