#include "common/treewindow.h"

#include "common/prompter.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

TreeWindowFrame::TreeWindowFrame(const QString &title, QWidget *parent) : QWidget(parent)
{
    setFont(UiLook::font(15));
    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    m_topBar = new QWidget(this);
    m_topBar->setObjectName(QStringLiteral("TopBar"));
    m_topBar->setAutoFillBackground(true);
    QPalette p = m_topBar->palette();
    p.setColor(QPalette::Window, QColor(236, 236, 228));
    m_topBar->setPalette(p);
    auto *bar = new QHBoxLayout(m_topBar);
    bar->setContentsMargins(10, 4, 6, 4);
    m_title = UiLook::titleLabel(title, m_topBar);
    bar->addWidget(m_title);
    bar->addSpacing(16);
    m_note = new QLabel(m_topBar);
    m_note->setObjectName(QStringLiteral("NoteLabel"));
    QPalette np = m_note->palette();
    np.setColor(QPalette::WindowText, QColor(110, 110, 110));
    m_note->setPalette(np);
    m_note->hide();
    bar->addWidget(m_note);
    bar->addStretch(1);
    m_buttons = new QHBoxLayout;
    m_buttons->setSpacing(2);
    bar->addLayout(m_buttons);
    bar->addSpacing(24);
    m_close = UiLook::iconButton(QStringLiteral("退出"), QIcon(), m_topBar);
    m_close->setObjectName(QStringLiteral("CloseBtn"));
    bar->addWidget(m_close);
    outer->addWidget(m_topBar);
    m_splitter = new QSplitter(Qt::Horizontal, this);
    m_splitter->setChildrenCollapsible(false);
    outer->addWidget(m_splitter, 1);
    connect(m_close, &QToolButton::clicked, this, [this] { TreeWindow::closeWindow(window() == this ? this : parentWidget()); });
}

void TreeWindowFrame::setTitle(const QString &title) { m_title->setText(title); }
QString TreeWindowFrame::title() const { return m_title->text(); }

void TreeWindowFrame::setNote(const QString &note)
{
    m_note->setText(note);
    m_note->setVisible(!note.isEmpty());
}

QString TreeWindowFrame::note() const { return m_note->text(); }

QToolButton *TreeWindowFrame::addButton(const QString &hint, const QString &objectName)
{
    QToolButton *b = UiLook::iconButton(hint, QIcon(), m_topBar);
    b->setObjectName(objectName);
    m_buttons->addWidget(b);
    return b;
}

void TreeWindowFrame::setPanes(QWidget *left, QWidget *right, int leftWidth)
{
    m_splitter->addWidget(left);
    m_splitter->addWidget(right);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({leftWidth, 800});
}

namespace TreeWindow {

bool save(Connection &conn, std::initializer_list<Dataset *> datasets, const QString &failMessage, QWidget *parent)
{
    try {
        Transaction tx(conn);
        for (Dataset *ds : datasets)
            ds->applyUpdates();
        tx.commit();
    } catch (const DataError &) {
        Prompter::instance().information(failMessage, QString(), parent);
        return false;
    }
    for (Dataset *ds : datasets)
        ds->commitUpdates();
    return true;
}

bool askToSave(QWidget *parent, bool pending, const std::function<bool()> &save, const std::function<void()> &drop)
{
    if (!pending)
        return true;
    switch (Prompter::instance().question(QStringLiteral("数据已经修改，需要保存吗？"), QStringLiteral("提示信息"), parent)) {
    case Prompter::Yes: return save();
    case Prompter::No: drop(); return true;
    default: return false;
    }
}

void closeWindow(QWidget *window)
{
    for (QWidget *w = window; w; w = w->parentWidget())
        if (auto *sub = qobject_cast<QMdiSubWindow *>(w)) {
            sub->close();
            return;
        }
    window->close();
}

} // namespace TreeWindow
