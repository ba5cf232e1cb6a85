#include "todogrid.h"

#include "todolist.h"

#include <QFocusEvent>
#include <QHash>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QStyleOptionHeader>

#include <algorithm>

namespace dorvel {

namespace {

// Measures its titles in its own font, once each. Qt's header measures every title again in
// bold whenever the view asks for its size (after each reset, hidden column and resize), and
// the bold face is loaded for that alone: a good part of the time the window takes to open.
// The titles here are plain text of fixed columns; their height is the font's either way.
class GridHeader final : public QHeaderView {
public:
    GridHeader(Qt::Orientation orientation, QWidget* parent) : QHeaderView(orientation, parent)
    {
        // As the table's own headers.
        setSectionsClickable(true);
        setHighlightSections(true);
    }

protected:
    QSize sectionSizeFromContents(int logicalIndex) const override
    {
        const QString title =
            model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
        const auto known = m_sizes.constFind(title);
        if (known != m_sizes.cend())
            return *known;
        QStyleOptionHeader option;
        initStyleOption(&option);
        option.section = logicalIndex;
        option.text = title;
        const QSize size =
            style()->sizeFromContents(QStyle::CT_HeaderSection, &option, QSize(), this);
        m_sizes.insert(title, size);
        return size;
    }

    // Qt re-measures when the font or style reaches the header's viewport, which may be
    // before the header itself hears of it.
    bool viewportEvent(QEvent* event) override
    {
        forgetSizesOn(event);
        return QHeaderView::viewportEvent(event);
    }
    bool event(QEvent* event) override
    {
        forgetSizesOn(event);
        return QHeaderView::event(event);
    }

private:
    void forgetSizesOn(const QEvent* event)
    {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            m_sizes.clear();
    }

    mutable QHash<QString, QSize> m_sizes;
};

} // namespace

TodoGrid::TodoGrid(QWidget* parent) : QTableView(parent)
{
    setHorizontalHeader(new GridHeader(Qt::Horizontal, this));
    setVerticalHeader(new GridHeader(Qt::Vertical, this));
    setAccessibleName(QStringLiteral("To-do list"));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);

    m_box = new QLineEdit(viewport());
    m_box->setObjectName(QStringLiteral("Text1"));
    m_box->setFrame(false);
    m_box->hide();
    m_box->installEventFilter(this);

    connect(horizontalHeader(), &QHeaderView::sectionResized, this, &TodoGrid::placeEditor);
    connect(verticalHeader(), &QHeaderView::sectionResized, this, &TodoGrid::placeEditor);
}

void TodoGrid::setModel(QAbstractItemModel* model)
{
    if (QAbstractItemModel* old = this->model())
        disconnect(old, nullptr, this, nullptr);
    drop();
    QTableView::setModel(model);
    if (!model)
        return;
    for (auto signal : {&QAbstractItemModel::rowsRemoved, &QAbstractItemModel::rowsInserted})
        connect(model, signal, this, &TodoGrid::followModel);
    connect(model, &QAbstractItemModel::modelReset, this, &TodoGrid::followModel);
    connect(model, &QAbstractItemModel::layoutChanged, this, &TodoGrid::followModel);
}

std::pair<int, int> TodoGrid::selectedRange() const
{
    if (!selectionModel())
        return {0, 0};
    const QModelIndexList rows = selectionModel()->selectedRows();
    if (rows.isEmpty()) {
        const QModelIndex current = currentIndex();
        return current.isValid() ? std::pair{current.row() + 1, current.row() + 1}
                                 : std::pair{0, 0};
    }
    int first = rows.first().row(), last = first;
    for (const QModelIndex& i : rows) {
        first = std::min(first, i.row());
        last = std::max(last, i.row());
    }
    return {first + 1, last + 1};
}

void TodoGrid::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F2:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            openEditor(currentIndex());
            return;
        }
        break;
    case Qt::Key_Delete:
        if (event->modifiers() == Qt::NoModifier) {
            Q_EMIT deleteRequested();
            return;
        }
        break;
    default:
        break;
    }
    QTableView::keyPressEvent(event);
}

void TodoGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        openEditor(indexAt(event->position().toPoint()));
}

void TodoGrid::openEditor(const QModelIndex& index)
{
    if (!m_edit || !index.isValid() || m_target)
        return;
    std::optional<TodoEdit::Target> target = m_edit->open(index.row() + 1, index.column() + 1);
    if (!target)
        return;
    m_target = std::move(target);
    m_cell = index;
    if (currentIndex() != index)
        selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                     QItemSelectionModel::Rows);
    scrollTo(index);
    m_box->setFont(font());
    m_box->setAccessibleName(model()->headerData(index.column(), Qt::Horizontal).toString());
    m_box->setText(m_target->text);
    m_box->setCursorPosition(0);
    placeEditor();
    m_box->show();
    m_box->setFocus(Qt::OtherFocusReason);
}

void TodoGrid::placeEditor()
{
    if (m_target && m_cell.isValid())
        m_box->setGeometry(visualRect(m_cell));
}

void TodoGrid::updateGeometries()
{
    QTableView::updateGeometries();
    placeEditor();
}

void TodoGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, dy);
    placeEditor();
}

void TodoGrid::followModel()
{
    if (!m_target)
        return;
    // The scheduler started the entry, or the list was loaded again: the edit box goes.
    if (!m_cell.isValid()) {
        drop();
        return;
    }
    placeEditor();
}

void TodoGrid::drop()
{
    if (!m_target)
        return;
    m_target.reset();
    m_cell = QPersistentModelIndex();
    if (m_box->hasFocus())
        setFocus(Qt::OtherFocusReason);
    m_box->hide();
}

void TodoGrid::commit(int move)
{
    if (!m_target)
        return;
    const TodoEdit::Target target = *m_target;
    const QString text = m_box->text();
    const int row = m_cell.isValid() ? m_cell.row() : currentIndex().row();
    const int column = m_cell.isValid() ? m_cell.column() : currentIndex().column();
    // Closed before the logic runs: its boxes take the focus, which must not commit again.
    drop();
    if (m_edit)
        m_edit->commit(target, text);
    if (!model() || model()->rowCount() == 0 || row < 0 || column < 0)
        return;
    const int to = std::clamp(row + move, 0, model()->rowCount() - 1);
    selectionModel()->setCurrentIndex(model()->index(to, column),
                                      QItemSelectionModel::ClearAndSelect |
                                          QItemSelectionModel::Rows);
}

bool TodoGrid::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_box || !m_target)
        return QTableView::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        switch (static_cast<QKeyEvent*>(event)->key()) {
        case Qt::Key_Escape:
            drop();
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            commit(0);
            return true;
        case Qt::Key_Up:
            commit(-1);
            return true;
        case Qt::Key_Down:
            commit(1);
            return true;
        default:
            break;
        }
    } else if (event->type() == QEvent::ShortcutOverride) {
        // Escape and Enter belong to the box while it is open.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) {
            event->accept();
            return true;
        }
    } else if (event->type() == QEvent::FocusOut) {
        // Another control takes the focus: the edit is committed. A box, a menu or another
        // window taking the focus leaves the edit open, so that no commit runs inside them.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            commit(0);
    }
    return QTableView::eventFilter(watched, event);
}

} // namespace dorvel
