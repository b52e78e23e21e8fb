#include "reference/codetableswindow.h"

#include "common/datagrid.h"
#include "common/helpers.h"
#include "common/prompter.h"
#include "common/treewindow.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {
struct CodePage {
    const char *button;
    const char *title;
    const char *table;
    const char *column;
    int width;
    const char *failure;
};
const CodePage Pages[CodeTablesWindow::PageCount] = {
    {"计量单位", "计量单位维护", "Units", "计量单位", 377, "计量单位代码表保存失败！"},
    {"存放地点", "存放位置维护", "Positions", "存放位置", 377, "存放位置代码表保存失败！"},
    {"增加方式", "增加方式维护", "AddMode", "增加方式", 377, "增加方式代码表保存失败！"},
    {"销账方式", "销账方式维护", "DecMode", "销账方式", 284, "减少方式代码表保存失败！"},
    {"制造厂商", "制造厂商维护", "Factory", "制造厂商", 370, "制造厂商代码表保存失败！"},
    {"供应厂商", "供应厂商维护", "Firm", "供应厂商", 347, "供应厂商代码表保存失败！"},
};
const char *const ButtonNames[CodeTablesWindow::PageCount] = {"UnitsBtn", "PositionBtn", "AddModeBtn", "DecModeBtn", "FactoryBtn", "FirmBtn"};
} // namespace

CodeTablesWindow::CodeTablesWindow(Connection *conn, QWidget *parent) : QWidget(parent), m_conn(conn)
{
    setWindowTitle(QStringLiteral("代码表维护"));
    setFont(UiLook::font(15));

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    auto *left = new QWidget(splitter);
    auto *leftLay = new QVBoxLayout(left);
    leftLay->setContentsMargins(6, 6, 6, 6);
    leftLay->setSpacing(6);
    auto *right = new QWidget(splitter);
    auto *rightLay = new QVBoxLayout(right);
    rightLay->setContentsMargins(0, 0, 0, 0);
    rightLay->setSpacing(0);

    auto *bar = new QWidget(right);
    bar->setAutoFillBackground(true);
    QPalette p = bar->palette();
    p.setColor(QPalette::Window, QColor(236, 236, 228));
    bar->setPalette(p);
    auto *barLay = new QHBoxLayout(bar);
    barLay->setContentsMargins(10, 4, 6, 4);
    m_codeName = UiLook::titleLabel(QString::fromUtf8(Pages[0].title), bar);
    m_codeName->setObjectName(QStringLiteral("CodeName"));
    barLay->addWidget(m_codeName);
    barLay->addStretch(1);
    m_append = UiLook::iconButton(QStringLiteral("增加"), QIcon(), bar);
    m_delete = UiLook::iconButton(QStringLiteral("删除"), QIcon(), bar);
    m_save = UiLook::iconButton(QStringLiteral("保存"), QIcon(), bar);
    QToolButton *close = UiLook::iconButton(QStringLiteral("退出"), QIcon(), bar);
    m_append->setObjectName(QStringLiteral("AppendBtn"));
    m_delete->setObjectName(QStringLiteral("DelBtn"));
    m_save->setObjectName(QStringLiteral("SaveBtn"));
    close->setObjectName(QStringLiteral("CloseBtn"));
    for (QToolButton *b : {m_append, m_delete, m_save, close})
        barLay->addWidget(b);
    rightLay->addWidget(bar);
    m_stack = new QStackedWidget(right);
    rightLay->addWidget(m_stack, 1);

    for (int i = 0; i < PageCount; ++i) {
        const CodePage &pg = Pages[i];
        auto *ds = new Dataset(conn, this);
        ds->setTable(QString::fromLatin1(pg.table));
        ds->open();
        m_tables[size_t(i)] = ds;
        auto *grid = new DataGrid(ds, m_stack);
        grid->setColumnEditable(grid->addColumn(QStringLiteral("Name"), QString::fromUtf8(pg.column), pg.width));
        grid->setSortable(false);
        m_grids[size_t(i)] = grid;
        m_stack->addWidget(grid);
        auto *btn = new QPushButton(QString::fromUtf8(pg.button), left);
        btn->setObjectName(QString::fromLatin1(ButtonNames[i]));
        btn->setFont(UiLook::font(18));
        btn->setMinimumHeight(40);
        leftLay->addWidget(btn);
        m_pageButtons[size_t(i)] = btn;
        connect(btn, &QPushButton::clicked, this, [this, i] { showPage(i); });
    }
    leftLay->addStretch(1);
    splitter->addWidget(left);
    splitter->addWidget(right);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({130, 490});

    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(splitter);

    connect(m_append, &QToolButton::clicked, this, &CodeTablesWindow::append);
    connect(m_delete, &QToolButton::clicked, this, &CodeTablesWindow::removeCurrent);
    connect(m_save, &QToolButton::clicked, this, [this] { save(); });
    connect(close, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(this); });
    showPage(0);
}

CodeTablesWindow::~CodeTablesWindow() = default;

int CodeTablesWindow::currentPage() const { return m_stack->currentIndex(); }

QString CodeTablesWindow::pageTitle() const { return m_codeName->text(); }

void CodeTablesWindow::showPage(int page)
{
    if (page < 0 || page >= PageCount)
        return;
    m_stack->setCurrentIndex(page);
    m_codeName->setText(QString::fromUtf8(Pages[page].title));
}

void CodeTablesWindow::append()
{
    const int page = currentPage();
    Dataset *ds = m_tables[size_t(page)];
    try {
        ds->append();
        ds->post();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
        return;
    }
    DataGrid *grid = m_grids[size_t(page)];
    const QModelIndex idx = grid->model()->index(ds->currentRow(), 0);
    grid->setFocus();
    grid->setCurrentIndex(idx);
    grid->edit(idx);
}

void CodeTablesWindow::removeCurrent()
{
    Dataset *ds = m_tables[size_t(currentPage())];
    // An empty page has no row to delete.
    if (ds->isEmpty() || ds->currentRow() < 0)
        return;
    m_grids[size_t(currentPage())]->closePersistentEditor(m_grids[size_t(currentPage())]->currentIndex());
    ds->remove();
}

bool CodeTablesWindow::save()
{
    for (DataGrid *g : m_grids)
        g->commitEdit();
    bool all = true;
    for (int i = 0; i < PageCount; ++i) {
        Dataset *ds = m_tables[size_t(i)];
        ds->post();
        if (!ds->hasPendingUpdates())
            continue;
        if (!TreeWindow::save(*m_conn, {ds}, QString::fromUtf8(Pages[i].failure), this))
            all = false;
    }
    return all;
}

bool CodeTablesWindow::queryClose()
{
    for (DataGrid *g : m_grids)
        g->commitEdit();
    bool pending = false;
    for (Dataset *ds : m_tables)
        pending = HasPendingUpdates(*ds) || pending;
    return TreeWindow::askToSave(this, pending, [this] { return save(); }, [this] {
        for (Dataset *ds : m_tables)
            ds->cancelUpdates();
    });
}

void CodeTablesWindow::closeEvent(QCloseEvent *e)
{
    if (queryClose())
        e->accept();
    else
        e->ignore();
}
