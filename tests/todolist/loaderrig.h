#pragma once

// Everything the recordings loader touches, with the fakes of the platform seams.

#include "activitylist.h"
#include "appstate.h"
#include "dbfixture.h"
#include "fakes.h"
#include "recordingsloader.h"
#include "todolist.h"
#include "viewerdb.h"

namespace dorvel::test {

struct LoaderRig {
    explicit LoaderRig(const QDateTime& now = QDateTime(QDate(2026, 12, 5), QTime(19, 0)))
        : clock(now)
    {
        state.msg = MessageTable::forLanguage(QStringLiteral("eng"));
    }
    AppState state;
    TodoList todo;
    ActivityList activity;
    ViewerDatabase db{QStringLiteral("loader")};
    FakePrompter prompter;
    FakeView view;
    FakeTimer timer;
    FakeClock clock;
    MemorySettingsStore store;
    int ended = 0;
    RecordingsLoader loader{state, todo,  activity, db,    prompter,
                            view,  timer, clock,    store, [this] { ++ended; }};
};

} // namespace dorvel::test
