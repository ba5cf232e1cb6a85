#pragma once

#include "entryview.h"
#include "recordingcommit.h"

#include <optional>

namespace dorvel {

struct AppState;
class Clock;
class Prompter;
class ViewerDatabase;

struct EntryServices {
    const AppState& state; // message table, lead and trail minutes from the viewer's settings
    ViewerDatabase& db;
    Prompter& prompter;
    const Clock& clock;
};

// The logic of the add-recording form: the proposal when it opens, the two channel lists kept
// in step, the spin controls, the check of each field when the focus leaves it, and OK.
// The form forwards its events here and renders what it is told through EntryView.
class RecordingEntry {
public:
    RecordingEntry(const EntryServices& services, EntryView& view);

    // Form_Load. False when the form cannot be used (no channels, the database cannot be
    // read): a message has said why, and the form must close without being shown.
    bool load();

    void numberPicked(); // Combo_Num_Click
    void namePicked();   // Combo_Name_Click
    void spinChanged(EntrySpin spin, int value);
    void sdescEdited() { m_sdescEdited = true; } // Text_Sdesc_KeyUp
    void repetitionChosen(Repetition r);

    // The check that runs when the focus is about to leave a field; false keeps it there.
    bool validate(EntryField field);

    // OKButton_Click: every field is checked again first, in a fixed order, so that a field
    // the user never left cannot reach the commit.
    struct OkResult {
        bool close = false;
        std::optional<EntryField> failedField; // where the focus belongs after a refused check
    };
    OkResult ok();

    bool recordsAdded() const { return m_recordsAdded; }
    bool isSdescEdited() const { return m_sdescEdited; }
    double startStamp() const { return m_startStamp; }
    double stopStamp() const { return m_stopStamp; }
    qint64 dayBase() const { return m_dayBase; }

    // The order in which OK checks the fields.
    static const QList<EntryField>& checkOrder();

private:
    // Says why a channel look-up found nothing; true when it found at least one row.
    bool foundChannel(const std::optional<QList<ViewerDatabase::Channel>>& rows);
    void proposeSdesc();
    bool validateDateTime(EntryField field);
    bool validateMinutes(EntryField field);
    bool fail(const QString& text);

    EntryServices m_s;
    EntryView& m_view;
    bool m_formLoading = false;
    bool m_numSyncBusy = false;
    bool m_nameSyncBusy = false;
    bool m_sdescEdited = false;
    bool m_recordsAdded = false;
    double m_startStamp = 0;
    double m_stopStamp = 0;
    qint64 m_dayBase = 0;
};

} // namespace dorvel
