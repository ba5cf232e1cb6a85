#pragma once

#include "entryview.h"
#include "recordingentry.h"

#include <QDialog>
#include <QMap>

#include <array>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QScrollBar;

namespace dorvel {

// Dialog_AddRec, the form that adds a recording. It forwards every event to RecordingEntry
// and shows what that decides. The check of a field runs before the focus leaves it, that is
// before a Tab or a click elsewhere in the form is carried out: when the check fails, the
// focus stays and the click or key does nothing.
class AddRecordingDialog final : public QDialog, public EntryView {
    Q_OBJECT
public:
    AddRecordingDialog(const EntryServices& services, QWidget* mainWindow);
    ~AddRecordingDialog() override;

    // Shows the form modally over the main window; returns RecordsAdded. The scheduler's
    // timer keeps running meanwhile.
    static bool run(const EntryServices& services, QWidget* mainWindow);

    bool load() { return m_entry.load(); }
    RecordingEntry& entry() { return m_entry; }

    // EntryView
    QString text(EntryField field) const override;
    void setText(EntryField field, const QString& text) override;
    void setSpinValue(EntrySpin spin, int value) override;
    void fillChannelLists(const QStringList& numbers, const QStringList& names) override;
    void selectNumber(const QString& number) override;
    void selectName(const QString& name) override;
    QString numberText() const override;
    QString nameText() const override;
    Repetition repetition() const override;
    int weekday(int index) const override;
    void setWeekdaysEnabled(bool on) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void okClicked();
    // The field that holds the focus, if it is one with a check.
    std::optional<EntryField> focusedField() const;
    // Runs the check of the focused field before the focus moves; false: it must stay.
    bool mayLeaveField();

    RecordingEntry m_entry;
    QPushButton* m_ok;
    QPushButton* m_cancel;
    QComboBox* m_num;
    QComboBox* m_name;
    QMap<EntryField, QLineEdit*> m_fields;
    QMap<EntrySpin, QScrollBar*> m_spins;
    QRadioButton* m_once;
    QRadioButton* m_daily;
    QRadioButton* m_weekly;
    std::array<QCheckBox*, 7> m_weekdays{};
    bool m_checking = false;
};

} // namespace dorvel
