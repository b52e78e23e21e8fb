#include "common/recordpanels.h"

#include "common/boundeditors.h"
#include "common/prompter.h"
#include "common/uilook.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

RecordPanel::RecordPanel(Dataset *ds, int storageRow, QWidget *parent) : QFrame(parent), m_ds(ds), m_storageRow(storageRow)
{
    setFrameShape(QFrame::StyledPanel);
    setLineWidth(1);
    UiLook::applyDataAreaLook(this);
    m_grid = new QGridLayout(this);
    m_grid->setContentsMargins(10, 8, 10, 8);
    m_grid->setColumnStretch(1, 1);
}

void RecordPanel::addLine(const QString &label, const QString &field)
{
    auto *e = new QLineEdit(this);
    UiLook::applyEditorLook(e);
    // No maximum length on the editor: it would cut a paste to what fits
    // without a word. The dataset refuses text longer than the column whole,
    // with its message, and the editor shows the value again.
    m_grid->addWidget(formLabel(label, this), m_lines, 0);
    m_grid->addWidget(e, m_lines, 1);
    ++m_lines;
    e->installEventFilter(this);
    connect(e, &QLineEdit::textEdited, this, [this, field](const QString &t) { write(field, t); });
    m_editors.push_back({field, e});
}

void RecordPanel::addMemo(const QString &title, const QString &field)
{
    auto *box = new QGroupBox(title, this);
    auto *lay = new QVBoxLayout(box);
    lay->setContentsMargins(6, 4, 6, 6);
    auto *e = new QPlainTextEdit(box);
    e->setTabChangesFocus(true);
    UiLook::applyEditorLook(e);
    lay->addWidget(e);
    m_grid->addWidget(box, 100 + m_lines, 0, 1, 2);
    m_grid->setRowStretch(100 + m_lines, 1);
    ++m_lines;
    e->installEventFilter(this);
    connect(e, &QPlainTextEdit::textChanged, this, [this, field, e] {
        if (m_showing)
            return;
        // Text longer than the column is refused whole by write(), never cut.
        write(field, e->toPlainText());
    });
    m_editors.push_back({field, e});
}

QWidget *RecordPanel::editorOf(const QString &field) const
{
    for (const Editor &e : m_editors)
        if (e.field.compare(field, Qt::CaseInsensitive) == 0)
            return e.widget;
    return nullptr;
}

void RecordPanel::showValues()
{
    if (!m_ds || m_writing)
        return;
    m_showing = true;
    for (const Editor &e : m_editors) {
        const QVariant v = m_ds->storageValue(m_storageRow, e.field);
        const QString t = v.isNull() ? QString() : v.toString();
        if (auto *le = qobject_cast<QLineEdit *>(e.widget)) {
            if (le->text() != t) {
                le->setText(t);
                le->setCursorPosition(0);
            }
        } else if (auto *pe = qobject_cast<QPlainTextEdit *>(e.widget)) {
            if (pe->toPlainText() != t)
                pe->setPlainText(t);
        }
    }
    m_showing = false;
}

void RecordPanel::setCurrent(bool on)
{
    setFrameShape(on ? QFrame::Box : QFrame::StyledPanel);
    QPalette p = palette();
    p.setColor(QPalette::WindowText, on ? UiLook::TitleGreen : QColor(150, 150, 150));
    setPalette(p);
    setLineWidth(on ? 2 : 1);
}

void RecordPanel::write(const QString &field, const QString &text)
{
    if (m_showing || !m_ds)
        return;
    emit activated(m_storageRow);
    const int row = m_ds->rowOfStorage(m_storageRow);
    if (row < 0)
        return;
    try {
        if (m_ds->currentRow() != row)
            m_ds->setCurrentRow(row);
        m_writing = true;
        m_ds->setValue(field, text.isEmpty() ? QVariant() : QVariant(text));
        m_writing = false;
    } catch (const DataError &e) {
        m_writing = false;
        Prompter::instance().information(e.message(), QString(), this);
        showValues();
    }
}

bool RecordPanel::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn)
        emit activated(m_storageRow);
    return QFrame::eventFilter(watched, event);
}

void RecordPanel::mousePressEvent(QMouseEvent *e)
{
    emit activated(m_storageRow);
    QFrame::mousePressEvent(e);
}

// ---- RecordPanelList ---------------------------------------------------------------

RecordPanelList::RecordPanelList(Dataset *ds, std::function<void(RecordPanel &)> build, int panelsInView, QWidget *parent)
    : QScrollArea(parent), m_ds(ds), m_build(std::move(build)), m_inView(std::max(1, panelsInView))
{
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_content = new QWidget(this);
    auto *lay = new QVBoxLayout(m_content);
    lay->setContentsMargins(4, 4, 4, 4);
    lay->setSpacing(4);
    lay->addStretch(1);
    setWidget(m_content);
    UiLook::applyDataAreaLook(this);
    connect(ds, &Dataset::layoutReset, this, &RecordPanelList::rebuild);
    connect(ds, &Dataset::rowsInserted, this, &RecordPanelList::rebuild);
    connect(ds, &Dataset::rowsRemoved, this, &RecordPanelList::rebuild);
    connect(ds, &Dataset::opened, this, &RecordPanelList::rebuild);
    connect(ds, &Dataset::currentRowChanged, this, &RecordPanelList::followCurrent);
    connect(ds, &Dataset::valueChanged, this, [this](int row, int) {
        if (RecordPanel *p = panelOfRow(row))
            p->showValues();
    });
    connect(ds, &Dataset::editStateChanged, this, [this] {
        // A cancelled edit puts the old values back.
        for (RecordPanel *p : m_panels)
            if (!p->isAncestorOf(QApplication::focusWidget()))
                p->showValues();
    });
    rebuild();
}

RecordPanel *RecordPanelList::panelOfRow(int row) const
{
    return row >= 0 && row < int(m_panels.size()) ? m_panels[size_t(row)] : nullptr;
}

RecordPanel *RecordPanelList::currentPanel() const
{
    return m_ds ? panelOfRow(m_ds->currentRow()) : nullptr;
}

void RecordPanelList::rebuild()
{
    for (RecordPanel *p : m_panels)
        p->deleteLater();
    m_panels.clear();
    if (!m_ds || !m_ds->isOpen())
        return;
    auto *lay = static_cast<QVBoxLayout *>(m_content->layout());
    for (int r = 0; r < m_ds->recordCount(); ++r) {
        auto *p = new RecordPanel(m_ds, m_ds->storageRow(r), m_content);
        m_build(*p);
        p->showValues();
        connect(p, &RecordPanel::activated, this, [this](int s) {
            const int row = m_ds ? m_ds->rowOfStorage(s) : -1;
            if (row >= 0 && row != m_ds->currentRow())
                m_ds->setCurrentRow(row);
        });
        lay->insertWidget(lay->count() - 1, p);
        m_panels.push_back(p);
    }
    fitPanels();
    followCurrent();
}

void RecordPanelList::followCurrent()
{
    const int cur = m_ds ? m_ds->currentRow() : -1;
    for (size_t i = 0; i < m_panels.size(); ++i)
        m_panels[i]->setCurrent(int(i) == cur);
    if (RecordPanel *p = panelOfRow(cur))
        ensureWidgetVisible(p, 0, 0);
}

void RecordPanelList::fitPanels()
{
    const int h = std::max(120, (viewport()->height() - 8) / m_inView - 4);
    for (RecordPanel *p : m_panels)
        p->setFixedHeight(h);
}

void RecordPanelList::resizeEvent(QResizeEvent *e)
{
    QScrollArea::resizeEvent(e);
    fitPanels();
}
