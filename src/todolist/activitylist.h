#pragma once

#include <QAbstractListModel>
#include <QStringList>

namespace dorvel {

// The on-screen activity list: lines are appended at the end and never changed, except for
// the one replacement of the last line by the loader's take-over. Control characters in a
// line are shown escaped, so that text from the database cannot split or forge lines.
class ActivityList : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void clear();
    void append(const QString& line);
    // Many lines at once: one insertion for the view, however many lines.
    void append(const QStringList& lines);
    void removeLast();
    const QStringList& lines() const { return m_lines; }

Q_SIGNALS:
    // Every appended line, so the view can scroll to it and the demo can mirror it.
    void lineAppended(const QString& line);

private:
    QStringList m_lines;
};

} // namespace dorvel
