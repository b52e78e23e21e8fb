#pragma once
#include "data/connection.h"
#include "data/settings.h"

#include <QHash>
#include <QMainWindow>

class ChildWindowRegistry;
class QLabel;
class QMdiArea;
class QToolBar;

// The main form: the MDI frame every function opens in, with the main menu,
// the login, bill and help toolbars, the two status panels, the one database
// connection of the program and the child-window registry.
//
// Menu entries and toolbar buttons are QActions named as in the rest of the
// program (objectName "m_dept", "b_Login", ...); action(name) finds them.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(const Settings &settings, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Opens the register the settings name; the connection every window uses.
    // When it cannot be opened the reason is shown in a message box ("错误"),
    // after `splash` (if any) is closed so it cannot hide the message, and
    // false is returned; the program runs on without a connection and every
    // window reports the data it cannot read.
    bool connectDatabase(QWidget *splash = nullptr);
    Connection &connection() { return m_conn; }

    // Enables the menu entries and shows the bill toolbar for a rights level,
    // and writes the login line of the current LoginSession.
    void ApplyRights(int level);

    ChildWindowRegistry &registry() { return *m_registry; }
    QAction *action(const QString &name) const { return m_actions.value(name); }
    QToolBar *billToolBar() const { return m_billBar; }
    QString statusPanelText(int panel) const;

    // "台帐管理" opens the ledger window and switches it to management mode.
    // The real ledger window does it itself (childwindows.cpp); otherwise the children AppendBtn and DelBtn are hidden, the
    // QLabel TitleLabel and the caption become "物品台帐管理" and the
    // property "managementMode" is set.
    static void switchToManagementMode(QWidget *ledgerWindow);

public slots:
    // Another start of the program asked this copy to come forward.
    void bringToFront();

protected:
    void closeEvent(QCloseEvent *e) override;

private:
    QAction *makeAction(const QString &name, const QString &caption, const QString &hint, const QString &icon, bool enabled);
    void buildMenus();
    void buildToolBars();
    void openChild(const QString &entry);

    void m_loginClick();
    void m_modifpasswordClick();
    void m_AboutClick();
    void m_deptClick();
    void m_ArchivesClick();

    Settings m_settings;
    Connection m_conn;
    QMdiArea *m_mdi;
    ChildWindowRegistry *m_registry;
    QHash<QString, QAction *> m_actions;
    QToolBar *m_loginBar = nullptr;
    QToolBar *m_billBar = nullptr;
    QToolBar *m_helpBar = nullptr;
    QLabel *m_panels[2] = {nullptr, nullptr};
};
