#include "app/childwindowregistry.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QMdiArea>
#include <QMetaMethod>
#include <QPushButton>
#include <QVBoxLayout>

ChildWindowRegistry::ChildWindowRegistry(QMdiArea *area, QObject *parent) : QObject(parent), m_area(area) {}

void ChildWindowRegistry::define(const QString &entry, const QString &key, const QString &title)
{
    m_entries.insert(entry, Entry{key, title});
}

void ChildWindowRegistry::plug(const QString &entry, Factory factory, CloseQuery query)
{
    const QString key = m_entries.contains(entry) ? m_entries.value(entry).key : entry;
    m_plugs.insert(key, Plug{std::move(factory), std::move(query)});
}

QString ChildWindowRegistry::keyOf(const QString &entry) const { return m_entries.value(entry).key; }
QString ChildWindowRegistry::titleOf(const QString &entry) const { return m_entries.value(entry).title; }

QMdiSubWindow *ChildWindowRegistry::frame(const QString &entry) const
{
    const auto it = m_open.constFind(keyOf(entry));
    return it == m_open.cend() ? nullptr : it->data();
}

QWidget *ChildWindowRegistry::instance(const QString &entry) const
{
    QMdiSubWindow *f = frame(entry);
    return f ? f->widget() : nullptr;
}

QWidget *ChildWindowRegistry::open(const QString &entry)
{
    if (!m_entries.contains(entry))
        return nullptr;
    const Entry e = m_entries.value(entry);
    if (QMdiSubWindow *f = m_open.value(e.key)) {
        f->showMaximized();
        m_area->setActiveSubWindow(f);
        f->raise();
        return f->widget();
    }

    auto *f = new ChildFrame;
    const auto plugged = m_plugs.constFind(e.key);
    QWidget *w = plugged != m_plugs.cend() ? plugged->make(f) : new PlaceholderForm(e.key, e.title, f);
    if (plugged != m_plugs.cend())
        f->query = plugged->query;
    if (w->windowTitle().isEmpty())
        w->setWindowTitle(e.title);
    f->setWidget(w);
    f->setWindowTitle(w->windowTitle());
    f->setWindowIcon(m_area->window()->windowIcon());
    m_area->addSubWindow(f);
    m_open.insert(e.key, f);
    const QString key = e.key;
    auto forget = [this, key, f] {
        const auto it = m_open.find(key);
        if (it != m_open.end() && (it->isNull() || it->data() == f))
            m_open.erase(it);
    };
    connect(f, &ChildFrame::closed, this, forget);
    // A frame destroyed without closing (its window deleted, the main window
    // going away). It is no longer a QMdiSubWindow while destroyed() runs, so
    // its entry is not read here; the entry reads null once the frame is
    // gone, and null entries are dropped a moment later.
    connect(f, &QObject::destroyed, this, [this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                for (auto it = m_open.begin(); it != m_open.end();)
                    it = it->isNull() ? m_open.erase(it) : std::next(it);
            },
            Qt::QueuedConnection);
    });
    f->showMaximized();
    m_area->setActiveSubWindow(f);
    emit created(key, w);
    return w;
}

QList<QWidget *> ChildWindowRegistry::openWindows() const
{
    QList<QWidget *> out;
    for (QMdiSubWindow *f : m_area->subWindowList(QMdiArea::StackingOrder))
        if (f->widget())
            out << f->widget();
    return out;
}

bool ChildWindowRegistry::queryClose(QWidget *window)
{
    if (!window)
        return true;
    if (auto *f = qobject_cast<ChildFrame *>(window->parentWidget()); f && f->query)
        return f->query(window);
    const QMetaObject *mo = window->metaObject();
    const int index = mo->indexOfMethod("queryClose()");
    if (index < 0)
        return true;
    const QMetaMethod m = mo->method(index);
    if (m.returnType() != QMetaType::Bool)
        return true;
    bool ok = true;
    m.invoke(window, Qt::DirectConnection, Q_RETURN_ARG(bool, ok));
    return ok;
}

bool ChildWindowRegistry::queryCloseAll() const
{
    // The window on top is asked first, as the user sees it.
    QList<QMdiSubWindow *> frames = m_area->subWindowList(QMdiArea::StackingOrder);
    for (auto it = frames.crbegin(); it != frames.crend(); ++it) {
        if (!queryClose((*it)->widget()))
            return false;
    }
    return true;
}

bool ChildWindowRegistry::closeChild(QWidget *window)
{
    for (QWidget *w = window; w; w = w->parentWidget()) {
        if (auto *f = qobject_cast<QMdiSubWindow *>(w))
            return f->close();
    }
    return window ? window->close() : false;
}

ChildFrame::ChildFrame(QWidget *parent) : QMdiSubWindow(parent) { setAttribute(Qt::WA_DeleteOnClose); }

void ChildFrame::closeEvent(QCloseEvent *e)
{
    // The window's own closeEvent asks its close query.
    QMdiSubWindow::closeEvent(e);
    if (e->isAccepted())
        emit closed();
}

PlaceholderForm::PlaceholderForm(const QString &key, const QString &title, QWidget *parent) : QWidget(parent)
{
    setObjectName(key);
    setWindowTitle(title);
    QFont songTi;
    songTi.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                        QStringLiteral("AR PL UMing CN")});
    songTi.setPixelSize(15);
    setFont(songTi);

    auto *top = new QHBoxLayout;
    auto *heading = new QLabel(title, this);
    heading->setObjectName(QStringLiteral("TitleLabel"));
    QFont headingFont = songTi;
    headingFont.setPixelSize(18);
    heading->setFont(headingFont);
    heading->setStyleSheet(QStringLiteral("color: rgb(0, 128, 0);"));
    top->addWidget(heading);
    top->addStretch();
    if (key == QLatin1String("TAssetVindcatorForm")) {
        auto *append = new QPushButton(QStringLiteral("增加"), this);
        append->setObjectName(QStringLiteral("AppendBtn"));
        auto *del = new QPushButton(QStringLiteral("删除"), this);
        del->setObjectName(QStringLiteral("DelBtn"));
        top->addWidget(append);
        top->addWidget(del);
    }
    auto *exit = new QPushButton(QStringLiteral("退出"), this);
    exit->setObjectName(QStringLiteral("ExitBtn"));
    connect(exit, &QPushButton::clicked, this, [this] { ChildWindowRegistry::closeChild(this); });
    top->addWidget(exit);

    auto *note = new QLabel(QStringLiteral("该功能窗口尚在建设中。"), this);
    note->setAlignment(Qt::AlignCenter);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(note, 1);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(255, 251, 240));
    setPalette(pal);
}
