#pragma once
#include <QHash>
#include <QMdiSubWindow>
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

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
//     registry.plug<DeptEditForm>(QStringLiteral("m_dept"));
//     registry.plug(QStringLiteral("m_Codes"), [](QWidget *parent) -> QWidget * { return new CodeForm(parent); });
//
// The window is a plain QWidget (constructed with the MDI frame as parent);
// its windowTitle is the frame's caption. Until a window is plugged in, its
// entry opens a PlaceholderForm with the entry's title.
//
// Close query. A window that must be asked before it closes (the
// unsaved-changes question) declares
//
//     Q_INVOKABLE bool queryClose();   // true: may close
//
// The registry asks it when the user closes the window's frame, and the main
// window asks every open window before the program ends (one refusal keeps
// everything open). Do not ask the question again in closeEvent. A window's own
// "退出" button closes its frame with ChildWindowRegistry::closeChild(this).
class ChildWindowRegistry : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QWidget *(QWidget *parent)>;

    explicit ChildWindowRegistry(QMdiArea *area, QObject *parent = nullptr);

    // Declares a menu entry: the key of its window and the caption its placeholder shows.
    void define(const QString &entry, const QString &key, const QString &title);
    // Plugs the real window of an entry (every entry sharing its key gets it).
    void plug(const QString &entry, Factory factory);
    template <class W> void plug(const QString &entry)
    {
        plug(entry, [](QWidget *parent) -> QWidget * { return new W(parent); });
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

    // Asks every open window whether it may close (in the MDI area's order);
    // false as soon as one refuses.
    bool queryCloseAll() const;
    // Asks one window; windows without a close query always may.
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
    QHash<QString, Factory> m_factories;             // by key
    QHash<QString, QPointer<QMdiSubWindow>> m_open;  // by key
};

// The frame of one child window: asks the window's close query when the
// user closes it, and is destroyed with its window on close.
class ChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    explicit ChildFrame(QWidget *parent = nullptr);

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
