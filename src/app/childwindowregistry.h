#pragma once
#include <QHash>
#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <concepts>
#include <functional>
#include <type_traits>

#include "data/connection.h"

class QMdiArea;

// The child-window registry: at most one open window per window class.
//
// A menu entry names its window by a key (the window class, e.g.
// "TDeptEditForm"); two entries may share one key ("m_Archives" and
// "m_AssetArchives" both open "TAssetVindcatorForm"). open(entry) shows the
// open window of that key, or creates it, maximised in the MDI area. A window
// is destroyed when it closes and its entry cleared, so the next click
// creates a fresh window that reads its data again.
//
// Plugging in a real window (one line in app/childwindows.cpp):
//
//     registry.plug<DeptWindow>(QStringLiteral("m_dept"));
//
// plug<W>() builds W(Connection::current(), parent) when W has that
// constructor, else W(parent). The window is a plain QWidget whose
// windowTitle is the frame's caption (the entry's caption when empty).
// Until a window is plugged in, its entry opens a PlaceholderForm.
//
// Close query. A window that must be asked before it closes (the
// unsaved-changes question) has a public
//
//     bool queryClose();   // true: it may close (Yes saved, No dropped); false: Cancel
//
// and its closeEvent ignores the event when queryClose() says no (the
// frame's close box and closeChild() reach the window through closeEvent).
// Before the program ends the main window calls queryClose() of every open
// window (plug<W>() finds it at compile time; a window made by a factory
// lambda declares it Q_INVOKABLE instead); one refusal keeps everything
// open, and when all agree the windows are destroyed without being asked
// again. A window's own "退出" button calls ChildWindowRegistry::closeChild(this).
class ChildWindowRegistry : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QWidget *(QWidget *parent)>;
    using CloseQuery = std::function<bool(QWidget *window)>;

    explicit ChildWindowRegistry(QMdiArea *area, QObject *parent = nullptr);

    // Declares a menu entry: the key of its window and the caption its placeholder shows.
    void define(const QString &entry, const QString &key, const QString &title);
    // Plugs the real window of an entry (every entry sharing its key gets
    // it). Without `query`, the window's Q_INVOKABLE queryClose() is asked.
    void plug(const QString &entry, Factory factory, CloseQuery query = {});
    template <class W> void plug(const QString &entry)
    {
        Factory make = [](QWidget *parent) -> QWidget * {
            if constexpr (std::is_constructible_v<W, Connection *, QWidget *>)
                return new W(Connection::current(), parent);
            else
                return new W(parent);
        };
        CloseQuery query;
        if constexpr (requires(W &w) { { w.queryClose() } -> std::convertible_to<bool>; })
            query = [](QWidget *w) { return static_cast<W *>(w)->queryClose(); };
        plug(entry, std::move(make), std::move(query));
    }

    bool hasEntry(const QString &entry) const { return m_entries.contains(entry); }
    QString keyOf(const QString &entry) const;
    QString titleOf(const QString &entry) const;

    // The registry operation: bring the open window to the front, or create it.
    QWidget *open(const QString &entry);
    // The open window of an entry (nullptr when none).
    QWidget *instance(const QString &entry) const;
    QMdiSubWindow *frame(const QString &entry) const;
    QList<QWidget *> openWindows() const;

    // Asks every open window whether it may close, the top one first; false
    // as soon as one refuses.
    bool queryCloseAll() const;
    // Asks one open window; windows without a close query always may.
    static bool queryClose(QWidget *window);
    // Closes the MDI frame holding `window` (its close query is asked).
    static bool closeChild(QWidget *window);

signals:
    // A window was created (not when an open one is brought to the front).
    void created(const QString &key, QWidget *window);

private:
    struct Entry {
        QString key;
        QString title;
    };
    QMdiArea *m_area;
    QHash<QString, Entry> m_entries;                 // by menu entry
    struct Plug {
        Factory make;
        CloseQuery query;
    };
    QHash<QString, Plug> m_plugs;                    // by key
    QHash<QString, QPointer<QMdiSubWindow>> m_open;  // by key
};

// The frame of one child window, destroyed with its window on close; it
// keeps the window's close query.
class ChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit ChildFrame(QWidget *parent = nullptr);
    ChildWindowRegistry::CloseQuery query;

signals:
    // The close was accepted; the frame is deleted a moment later.
    void closed();

protected:
    void closeEvent(QCloseEvent *e) override;
};

// Stands in for a window not built yet: the window's title in the green
// heading of its top bar. The ledger placeholder also carries the two
// buttons the management mode hides.
class PlaceholderForm : public QWidget {
    Q_OBJECT
public:
    PlaceholderForm(const QString &key, const QString &title, QWidget *parent = nullptr);
};
