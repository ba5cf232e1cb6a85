#pragma once

#include "todoedit.h"

#include <QPersistentModelIndex>
#include <QTableView>

#include <optional>
#include <utility>

class QLineEdit;

namespace dorvel {

// The to-do list's grid (MSFlexGrid1): a current cell, a contiguous range of selected rows
// (mouse, Shift+arrows), the in-place edit box (Text1) and the Delete key. Its model shows
// to-do row r as model row r - 1 and column c as model column c - 1. What an edit means is
// decided by TodoEdit; the grid only opens, places and closes the box.
class TodoGrid : public QTableView {
    Q_OBJECT
public:
    explicit TodoGrid(QWidget* parent = nullptr);

    // Without it no edit box opens.
    void setEditLogic(TodoEdit* edit) { m_edit = edit; }

    void setModel(QAbstractItemModel* model) override;

    // The selected to-do rows first..last (first <= last); the current row when nothing is
    // selected; {0, 0} when there is neither.
    std::pair<int, int> selectedRange() const;

    QLineEdit* editBox() const { return m_box; }
    bool isEditing() const { return m_target.has_value(); }

Q_SIGNALS:
    void deleteRequested(); // the Delete key, as the "Del. Select" button

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;

private:
    void openEditor(const QModelIndex& index);
    // Hides the box and hands its text to the logic; then the current cell is placed `move`
    // rows away from where it was.
    void commit(int move);
    void drop();
    void placeEditor();
    void followModel(); // the edited row may have moved or gone

    TodoEdit* m_edit = nullptr;
    QLineEdit* m_box;
    std::optional<TodoEdit::Target> m_target;
    QPersistentModelIndex m_cell;
};

} // namespace dorvel
