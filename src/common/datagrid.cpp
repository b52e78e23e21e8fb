#include "common/datagrid.h"

#include "common/prompter.h"
#include "common/uilook.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QScrollBar>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

// ---- GridModel -------------------------------------------------------------

Qt::ItemFlags GridModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = DatasetModel::flags(index);
    if (index.isValid() && isEditable(index.column()) && !dataset()->isReadOnly())
        f |= Qt::ItemIsEditable;
    return f;
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (role == Qt::TextAlignmentRole && index.isValid() && m_align.contains(index.column()))
        return QVariant(m_align.value(index.column()));
    return DatasetModel::data(index, role);
}

bool GridModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || !isEditable(index.column()))
        return false;
    Dataset *ds = dataset();
    const QString field = fieldOfColumn(index.column());
    QVariant v = value;
    if (v.typeId() == QMetaType::QString && v.toString().isEmpty())
        v = QVariant();
    if (ds->valueAt(index.row(), ds->fieldIndex(field)) == v)
        return true;
    try {
        ds->setCurrentRow(index.row());
        ds->setValue(field, v);
        ds->post();
    } catch (const DataError &e) {
        ds->cancel();
        Prompter::instance().information(e.message());
        return false;
    }
    return true;
}

// ---- MarkedHeader ----------------------------------------------------------

MarkedHeader::MarkedHeader(QWidget *parent) : QHeaderView(Qt::Horizontal, parent)
{
    setSectionsClickable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::Alignment(int(Qt::AlignCenter) | int(Qt::TextWordWrap)));
}

void MarkedHeader::setMarker(int section, SortMarker m)
{
    if (m == SortMarker::None)
        m_markers.remove(section);
    else
        m_markers[section] = m;
    viewport()->update();
}

void MarkedHeader::clearMarkers()
{
    m_markers.clear();
    viewport()->update();
}

QSize MarkedHeader::sectionSizeFromContents(int logicalIndex) const
{
    QSize s = QHeaderView::sectionSizeFromContents(logicalIndex);
    const QString t = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
    const int lines = int(t.count(QLatin1Char('\n'))) + 1;
    s.setHeight(std::max(s.height(), fontMetrics().height() * lines + 8));
    return s;
}

void MarkedHeader::paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const
{
    painter->save();
    QHeaderView::paintSection(painter, rect, logicalIndex);
    painter->restore();
    const SortMarker m = marker(logicalIndex);
    if (m == SortMarker::None)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(QColor(80, 80, 80));
    const int cx = rect.right() - 9, cy = rect.center().y();
    QPolygon tri;
    if (m == SortMarker::Down)
        tri << QPoint(cx - 4, cy - 2) << QPoint(cx + 4, cy - 2) << QPoint(cx, cy + 3);
    else
        tri << QPoint(cx - 4, cy + 3) << QPoint(cx + 4, cy + 3) << QPoint(cx, cy - 2);
    painter->drawPolygon(tri);
    painter->restore();
}

// ---- editing delegate ------------------------------------------------------

namespace {
class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(DataGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &, const QModelIndex &index) const override
    {
        Q_UNUSED(index);
        // No maximum length on the cell editor: it would cut a paste to what
        // fits without a word. setData refuses text longer than the column
        // whole, with its message.
        auto *e = new QLineEdit(parent);
        UiLook::applyEditorLook(e);
        return e;
    }
    void setEditorData(QWidget *editor, const QModelIndex &index) const override
    {
        static_cast<QLineEdit *>(editor)->setText(index.data(Qt::EditRole).toString());
    }
    void setModelData(QWidget *editor, QAbstractItemModel *model, const QModelIndex &index) const override
    {
        model->setData(index, static_cast<QLineEdit *>(editor)->text(), Qt::EditRole);
    }

private:
    DataGrid *m_grid;
};
} // namespace

// ---- footer ----------------------------------------------------------------

class FooterBar : public QWidget {
public:
    FooterBar(DataGrid *grid) : QWidget(grid), m_grid(grid)
    {
        setAutoFillBackground(true);
        QPalette p = palette();
        p.setColor(QPalette::Window, QColor(238, 238, 230));
        setPalette(p);
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setPen(QColor(160, 160, 160));
        p.drawLine(0, 0, width(), 0);
        QHeaderView *h = m_grid->horizontalHeader();
        const int offset = m_grid->verticalHeader()->isVisible() ? m_grid->verticalHeader()->width() : 0;
        p.setPen(palette().color(QPalette::WindowText));
        for (int c = 0; c < m_grid->model()->columnCount(); ++c) {
            if (h->isSectionHidden(c))
                continue;
            const QString t = m_grid->footerText(c);
            if (t.isEmpty())
                continue;
            int x = h->sectionViewportPosition(c);
            if (c < m_grid->frozenColumns())
                x = h->sectionPosition(c);
            QRect r(offset + m_grid->frameWidth() + x + 3, 1, h->sectionSize(c) - 6, height() - 1);
            const Qt::Alignment a = Qt::Alignment(m_grid->model()->index(0, c).isValid()
                                                      ? m_grid->model()->index(0, c).data(Qt::TextAlignmentRole).toInt()
                                                      : int(Qt::AlignLeft | Qt::AlignVCenter));
            p.drawText(r, int((a & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter), t);
        }
    }

private:
    DataGrid *m_grid;
};

// ---- DataGrid ---------------------------------------------------------------

DataGrid::DataGrid(Dataset *ds, QWidget *parent) : QTableView(parent), m_ds(ds)
{
    m_model = new GridModel(ds, this);
    m_header = new MarkedHeader(this);
    setHorizontalHeader(m_header);
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed | QAbstractItemView::AnyKeyPressed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
    verticalHeader()->setMinimumWidth(16);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // The row indicator shows no numbers, only the current row.
    verticalHeader()->setDefaultAlignment(Qt::AlignCenter);
    setWordWrap(false);
    setAlternatingRowColors(false);
    UiLook::applyDataAreaLook(this);
    QPalette p = palette();
    p.setColor(QPalette::Highlight, QColor(10, 36, 106));
    p.setColor(QPalette::HighlightedText, Qt::white);
    setPalette(p);

    connect(m_header, &QHeaderView::sectionClicked, this, [this](int s) { onTitleClicked(s); });
    connect(ds, &Dataset::currentRowChanged, this, [this] { syncFromDataset(); });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        syncFromDataset();
        refreshFooter();
        // Many more rows (a list read in the background) widen the row
        // numbers: lay the titles and cells out again once the view has
        // taken the new row count in.
        QMetaObject::invokeMethod(this, [this] { updateGeometries(); }, Qt::QueuedConnection);
    });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { refreshFooter(); });
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] { refreshFooter(); });
    connect(m_model, &QAbstractItemModel::dataChanged, this, [this] { refreshFooter(); });

    auto *find = new QShortcut(QKeySequence::Find, this);
    find->setContext(Qt::WidgetWithChildrenShortcut);
    connect(find, &QShortcut::activated, this, &DataGrid::showFindDialog);
    syncFromDataset();
}

DataGrid::~DataGrid() = default;

int DataGrid::addColumn(const QString &field, const QString &title, int width, Qt::Alignment align, DatasetModel::Format format)
{
    m_model->addColumn(field, title, format, width);
    const int c = m_model->columnCount() - 1;
    m_model->setAlignment(c, align);
    for (const auto &col : m_model->columns())
        if (col.width > 0)
            setColumnWidth(int(&col - &m_model->columns()[0]), col.width);
    if (m_frozenView)
        layoutFrozen();
    return c;
}

void DataGrid::setColumnEditable(int column, bool on)
{
    m_model->setEditable(column, on);
}

void DataGrid::setRowColor(std::function<QColor(const Dataset &, int)> fn)
{
    m_model->setRowColor(std::move(fn));
}

void DataGrid::syncFromDataset()
{
    if (m_syncing)
        return;
    m_syncing = true;
    const int row = m_ds->isOpen() ? m_ds->currentRow() : -1;
    if (row >= 0 && row < m_model->rowCount()) {
        const int col = currentIndex().isValid() ? currentIndex().column() : 0;
        const QModelIndex idx = m_model->index(row, std::clamp(col, 0, std::max(0, m_model->columnCount() - 1)));
        if (currentIndex() != idx)
            selectionModel()->setCurrentIndex(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        else if (!selectionModel()->isRowSelected(row, {}))
            selectionModel()->select(idx, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    } else {
        selectionModel()->clear();
    }
    m_syncing = false;
}

void DataGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (m_syncing || !current.isValid() || !m_ds->isOpen())
        return;
    if (current.row() != m_ds->currentRow()) {
        m_syncing = true;
        try {
            m_ds->setCurrentRow(current.row());
        } catch (const DataError &e) {
            Prompter::instance().information(e.message());
        }
        m_syncing = false;
    }
    if (m_footer)
        m_footer->update();
}

void DataGrid::commitEdit()
{
    if (state() != QAbstractItemView::EditingState)
        return;
    for (QWidget *editor : viewport()->findChildren<QLineEdit *>(Qt::FindDirectChildrenOnly)) {
        if (!editor->isVisible())
            continue;
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    }
}

SortMarker DataGrid::marker(int column) const
{
    return m_header->marker(column);
}

void DataGrid::clickTitle(int column, bool ctrlHeld)
{
    if (!m_sortable || column < 0 || column >= m_model->columnCount())
        return;
    const SortMarker current = m_header->marker(column);
    SortMarker next = SortMarker::None;
    try {
        next = SortGridByColumn(*m_ds, m_model->fieldOfColumn(column), current);
    } catch (const DataError &e) {
        Prompter::instance().information(e.message());
        return;
    }
    if (!ctrlHeld) {
        for (int c = 0; c < m_model->columnCount(); ++c)
            if (c != column)
                m_header->setMarker(c, SortMarker::None);
    }
    m_header->setMarker(column, next);
    if (m_frozenView)
        m_frozenView->horizontalHeader()->viewport()->update();
}

void DataGrid::onTitleClicked(int section)
{
    clickTitle(section, QApplication::keyboardModifiers() & Qt::ControlModifier);
}

// ---- frozen columns -------------------------------------------------------

void DataGrid::setFrozenColumns(int n)
{
    m_frozen = std::max(0, n);
    if (m_frozen == 0) {
        delete m_frozenView;
        m_frozenView = nullptr;
        return;
    }
    if (!m_frozenView) {
        m_frozenView = new QTableView(this);
        auto *fh = new MarkedHeader(m_frozenView);
        m_frozenView->setHorizontalHeader(fh);
        m_frozenView->setModel(m_model);
        m_frozenView->setSelectionModel(selectionModel());
        m_frozenView->setItemDelegate(itemDelegate());
        m_frozenView->setFocusPolicy(Qt::NoFocus);
        m_frozenView->verticalHeader()->hide();
        m_frozenView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozenView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        m_frozenView->setSelectionBehavior(QAbstractItemView::SelectRows);
        m_frozenView->setEditTriggers(editTriggers());
        m_frozenView->setStyleSheet(QStringLiteral("QTableView { border: none; }"));
        m_frozenView->setPalette(palette());
        m_frozenView->setFont(font());
        m_frozenView->setWordWrap(false);
        m_frozenView->verticalHeader()->setDefaultSectionSize(verticalHeader()->defaultSectionSize());
        viewport()->stackUnder(m_frozenView);
        // The frozen copy's titles sort and show marks like the main ones.
        connect(fh, &QHeaderView::sectionClicked, this, [this](int s) { onTitleClicked(s); });
        connect(m_header, &QHeaderView::sectionResized, this, [this](int idx, int, int size) {
            if (m_frozenView && idx < m_frozen) {
                m_frozenView->setColumnWidth(idx, size);
                layoutFrozen();
            }
        });
        connect(verticalScrollBar(), &QAbstractSlider::valueChanged, m_frozenView->verticalScrollBar(), &QAbstractSlider::setValue);
        connect(m_frozenView->verticalScrollBar(), &QAbstractSlider::valueChanged, verticalScrollBar(), &QAbstractSlider::setValue);
    }
    layoutFrozen();
}

void DataGrid::layoutFrozen()
{
    if (!m_frozenView)
        return;
    auto *fh = static_cast<MarkedHeader *>(m_frozenView->horizontalHeader());
    for (int c = 0; c < m_model->columnCount(); ++c) {
        m_frozenView->setColumnHidden(c, c >= m_frozen);
        if (c < m_frozen) {
            m_frozenView->setColumnWidth(c, columnWidth(c));
            fh->setMarker(c, m_header->marker(c));
        }
    }
    int w = 0;
    for (int c = 0; c < std::min(m_frozen, m_model->columnCount()); ++c)
        w += columnWidth(c);
    m_frozenView->horizontalHeader()->setFixedHeight(horizontalHeader()->height());
    m_frozenView->setGeometry(verticalHeader()->width() + frameWidth(), frameWidth(), w + 1,
                              viewport()->height() + horizontalHeader()->height());
    m_frozenView->show();
}

void DataGrid::resizeEvent(QResizeEvent *e)
{
    QTableView::resizeEvent(e);
    layoutFrozen();
    layoutFooter();
}

void DataGrid::updateGeometries()
{
    const int fh = m_footer ? fontMetrics().height() + 8 : 0;
    setViewportMargins(verticalHeader()->isVisible() ? verticalHeader()->width() : 0,
                       horizontalHeader()->isVisible() ? horizontalHeader()->height() : 0, 0, fh);
    QTableView::updateGeometries();
    setViewportMargins(verticalHeader()->isVisible() ? verticalHeader()->width() : 0,
                       horizontalHeader()->isVisible() ? horizontalHeader()->height() : 0, 0, fh);
    layoutFrozen();
    layoutFooter();
}

QModelIndex DataGrid::moveCursor(CursorAction cursorAction, Qt::KeyboardModifiers modifiers)
{
    QModelIndex current = QTableView::moveCursor(cursorAction, modifiers);
    if (m_frozenView && cursorAction == MoveLeft && current.column() >= m_frozen) {
        int fw = 0;
        for (int c = 0; c < m_frozen; ++c)
            fw += columnWidth(c);
        if (visualRect(current).topLeft().x() < fw) {
            const int newValue = horizontalScrollBar()->value() + visualRect(current).topLeft().x() - fw;
            horizontalScrollBar()->setValue(newValue);
        }
    }
    return current;
}

void DataGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    if (m_frozenView && index.column() < m_frozen) {
        // Only scroll vertically: the frozen cell is always in view sideways.
        QTableView::scrollTo(m_model->index(index.row(), std::min(m_frozen, m_model->columnCount() - 1)), hint);
        return;
    }
    QTableView::scrollTo(index, hint);
}

// ---- footer -----------------------------------------------------------------

void DataGrid::setFooter(std::function<QString(int)> text)
{
    m_footerText = std::move(text);
    if (!m_footer) {
        m_footer = new FooterBar(this);
        m_footer->setFont(font());
        connect(horizontalScrollBar(), &QAbstractSlider::valueChanged, m_footer, [this] { m_footer->update(); });
        connect(m_header, &QHeaderView::sectionResized, m_footer, [this] { m_footer->update(); });
    }
    updateGeometries();
    m_footer->show();
}

QString DataGrid::footerText(int column) const
{
    return m_footerText ? m_footerText(column) : QString();
}

void DataGrid::refreshFooter()
{
    if (m_footer)
        m_footer->update();
}

void DataGrid::layoutFooter()
{
    if (!m_footer)
        return;
    const int h = fontMetrics().height() + 8;
    const QRect vr = viewport()->geometry();
    m_footer->setGeometry(frameWidth(), vr.bottom() + 1, width() - 2 * frameWidth(), h);
    m_footer->raise();
}

// ---- find -----------------------------------------------------------------------

bool DataGrid::findNext(const QString &text, int column, bool fromCurrent)
{
    const int rows = m_model->rowCount();
    if (text.isEmpty() || rows == 0)
        return false;
    const int start = fromCurrent && m_ds->currentRow() >= 0 ? m_ds->currentRow() + 1 : 0;
    for (int i = 0; i < rows; ++i) {
        const int r = (start + i) % rows;
        for (int c = 0; c < m_model->columnCount(); ++c) {
            if (column >= 0 && c != column)
                continue;
            if (m_model->index(r, c).data(Qt::DisplayRole).toString().contains(text, Qt::CaseInsensitive)) {
                m_ds->setCurrentRow(r);
                setCurrentIndex(m_model->index(r, c));
                return true;
            }
        }
    }
    return false;
}

void DataGrid::showFindDialog()
{
    QDialog dlg(this);
    dlg.setWindowTitle(QStringLiteral("查找"));
    dlg.setFont(UiLook::font(15));
    auto *text = new QLineEdit(m_lastFind, &dlg);
    auto *col = new QComboBox(&dlg);
    col->addItem(QStringLiteral("全部列"), -1);
    for (int c = 0; c < m_model->columnCount(); ++c)
        col->addItem(m_model->headerData(c, Qt::Horizontal).toString().remove(QLatin1Char('\n')), c);
    if (currentIndex().isValid())
        col->setCurrentIndex(currentIndex().column() + 1);
    auto *next = new QPushButton(QStringLiteral("查找下一个"), &dlg);
    auto *close = new QPushButton(QStringLiteral("关闭"), &dlg);
    next->setDefault(true);
    auto *form = new QVBoxLayout(&dlg);
    auto *r1 = new QHBoxLayout;
    r1->addWidget(new QLabel(QStringLiteral("查找内容："), &dlg));
    r1->addWidget(text, 1);
    auto *r2 = new QHBoxLayout;
    r2->addWidget(new QLabel(QStringLiteral("查找范围："), &dlg));
    r2->addWidget(col, 1);
    auto *r3 = new QHBoxLayout;
    r3->addStretch();
    r3->addWidget(next);
    r3->addWidget(close);
    form->addLayout(r1);
    form->addLayout(r2);
    form->addLayout(r3);
    connect(close, &QPushButton::clicked, &dlg, &QDialog::reject);
    connect(next, &QPushButton::clicked, &dlg, [&] {
        m_lastFind = text->text();
        if (!findNext(text->text(), col->currentData().toInt()))
            Prompter::instance().information(QStringLiteral("没有找到“%1”！").arg(text->text()), QString(), &dlg);
    });
    dlg.exec();
}
