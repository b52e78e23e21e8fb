// The main window: its menu and toolbars, rights, the child-window registry
// rules, the close queries of the child windows and start-up without a register.
#include "app/childwindowregistry.h"
#include "app/mainwindow.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "login/loginform.h"
#include "login/loginsession.h"
#include "login/rights.h"
#include "reference/assetledgerwindow.h"
#include "support/testdb.h"

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <memory>

// A child window with a close query whose answer the test sets, built the
// way the program's windows are.
class QueryWindow : public QWidget {
    Q_OBJECT
public:
    QueryWindow(Connection *conn, QWidget *parent) : QWidget(parent), conn(conn) { setWindowTitle(QStringLiteral("测试单据")); }
    Connection *conn;
    bool answer = false;
    int asked = 0;
    bool queryClose()
    {
        ++asked;
        return answer;
    }

protected:
    void closeEvent(QCloseEvent *e) override
    {
        if (queryClose())
            e->accept();
        else
            e->ignore();
    }
};

class TestAppMainWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<ScopedScriptedPrompter> m_prompter;
    std::unique_ptr<MainWindow> m_w;

    ScriptedPrompter &prompter() { return m_prompter->get(); }
    void newMainWindow(const Settings &settings, bool connect)
    {
        m_w.reset();
        m_w = std::make_unique<MainWindow>(settings);
        if (connect)
            QVERIFY(m_w->connectDatabase());
        m_w->show();
    }

    QStringList allWindowEntries() const
    {
        return Rights::queryEntries() + Rights::billEntries() + Rights::baseDataEntries();
    }
    QMdiSubWindow *activeFrame() { return m_w->findChild<QMdiArea *>()->activeSubWindow(); }
    void enableAll() { m_w->ApplyRights(3); }

private slots:
    void initTestCase()
    {
        qputenv("ZENTRAV_FAST_PWHASH", "1");
    }
    void init()
    {
        LoginSession::reset();
        m_prompter = std::make_unique<ScopedScriptedPrompter>();
        newMainWindow(Settings::forDatabase(m_dir.filePath(QStringLiteral("Zentrav.db"))), true);
    }
    void cleanup()
    {
        m_w.reset();
        m_prompter.reset();
        LoginSession::reset();
    }

    void menuAndToolBars()
    {
        // Sub-menus and their entries in order. Every hint of the menu is the
        // entry's caption (系统退出 and 关于 have none, and show no other).
        struct Sub { const char *name; const char *caption; QStringList entries; };
        const QList<Sub> subs = {
            {"m_Sys", "系统", {"m_login|系统登录", "m_modifpassword|修改密码", "m_exit|系统退出"}},
            {"m_Manage", "物品管理", {"m_AddAsset|物品增加", "m_Archives|台帐管理", "m_Prepare|物品调拨", "m_Loan|物品借出",
                                      "m_Back|物品归还", "m_Maintain|物品维修", "m_Retake|维修完成", "m_DecAsset|物品销账"}},
            {"m_Query", "系统查询", {"m_QArchives|物品变动情况查询", "m_QAddAsset|物品增加单据查询", "m_QPrepare|物品调拨单据查询",
                                     "m_QLoan|物品借出单据查询", "m_QMaintain|物品维修单据查询", "m_QDecAsset|物品销账单据查询",
                                     "m_grloanlist|个人借用物品查询"}},
            {"m_Statistics", "统计报表", {"m_QSumy|物品分类汇总报表", "m_zcfllb|物品分类明细列表", "m_bmzcmxlb|部门物品明细列表",
                                          "m_AddList|新增物品明细列表", "m_decList|销账物品明细列表", "m_matureAssetList|到期资产明细列表"}},
            {"m_BasicInfo", "基础信息维护", {"m_dept|组织机构维护", "m_Staffer|职员档案维护", "m_Assetype|物品类别维护",
                                             "m_AssetArchives|物品台帐维护", "m_Codes|基础代码维护"}},
            {"m_Helps", "帮助", {"m_Help|帮助", "m_About|关于"}},
        };
        const QList<QAction *> top = m_w->menuBar()->actions();
        QCOMPARE(top.size(), subs.size());
        for (int i = 0; i < subs.size(); ++i) {
            QMenu *menu = top.at(i)->menu();
            QVERIFY(menu);
            QCOMPARE(menu->objectName(), QLatin1String(subs.at(i).name));
            QCOMPARE(menu->title(), QString::fromUtf8(subs.at(i).caption));
            QVERIFY(menu->isEnabled());
            QVERIFY(menu->toolTipsVisible());
            QStringList got;
            for (QAction *a : menu->actions()) {
                got << a->objectName() + QLatin1Char('|') + a->text();
                QCOMPARE(a->toolTip(), a->text());
            }
            QCOMPARE(got, subs.at(i).entries);
        }

        // The toolbars, left to right, with their hints.
        const QStringList bars = {"LoginToolBar", "BillToolBar", "HelpToolBar"};
        const QList<QStringList> buttons = {
            {"b_Login|系统登录"},
            {"b_Archives|台帐管理", "b_AddAsset|增加物品", "b_Prepare|物品调拨", "b_loan|物品借出", "b_back|物品归还",
             "b_Maintain|物品维修", "b_Retake|维修完成", "b_DelAsset|物品销账"},
            {"b_help|帮助", "b_About|关于", "|", "b_Exit|系统退出"}};
        for (int i = 0; i < bars.size(); ++i) {
            auto *tb = m_w->findChild<QToolBar *>(bars.at(i));
            QVERIFY(tb);
            QCOMPARE(tb->toolButtonStyle(), Qt::ToolButtonIconOnly);
            QStringList got;
            for (QAction *a : tb->actions()) {
                got << (a->isSeparator() ? QStringLiteral("|") : a->objectName() + QLatin1Char('|') + a->toolTip());
                if (!a->isSeparator())
                    QVERIFY2(!a->icon().isNull(), qPrintable(a->objectName()));
            }
            QCOMPARE(got, buttons.at(i));
        }

        // The status bar: two panels of 400 px.
        for (int i = 0; i < 2; ++i)
            QCOMPARE(m_w->findChild<QLabel *>(QStringLiteral("StatusPanel%1").arg(i))->width(), 400);
        QCOMPARE(m_w->windowTitle(), QStringLiteral("Zentrav"));
    }

    void rightsLevels_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("queries");
        QTest::addColumn<bool>("bills");
        QTest::addColumn<bool>("baseData");
        QTest::newRow("0") << 0 << false << false << false;
        QTest::newRow("1") << 1 << true << false << false;
        QTest::newRow("2") << 2 << true << true << false;
        QTest::newRow("3") << 3 << true << true << true;
        QTest::newRow("4") << 4 << true << true << true;
        QTest::newRow("negative") << -1 << false << false << false;
    }
    void rightsLevels()
    {
        QFETCH(int, level);
        QFETCH(bool, queries);
        QFETCH(bool, bills);
        QFETCH(bool, baseData);
        const QStringList always = Rights::alwaysEnabledEntries();
        const QStringList q = {"m_QArchives", "m_QAddAsset", "m_QPrepare", "m_QLoan", "m_QMaintain", "m_QDecAsset", "m_QSumy",
                               "m_zcfllb", "m_bmzcmxlb", "m_matureAssetList", "m_AddList", "m_decList", "m_grloanlist", "m_modifpassword"};
        const QStringList b = {"m_AddAsset", "m_Archives", "m_Prepare", "m_Loan", "m_Back", "m_Maintain", "m_Retake", "m_DecAsset"};
        const QStringList d = {"m_dept", "m_Staffer", "m_Assetype", "m_AssetArchives", "m_Codes"};

        // From everything on, and from everything off: the level alone decides.
        for (int from : {3, 0}) {
            m_w->ApplyRights(from);
            LoginSession s;
            s.LoginCode = QStringLiteral("u");
            s.LoginName = QStringLiteral("某人");
            s.LoginRights = level;
            s.LoginTime = QDateTime(QDate(2024, 1, 2), QTime(8, 9, 10));
            s.StafferId = 7;
            LoginSession::set(s);
            m_w->ApplyRights(level);
            for (const QString &n : always)
                QVERIFY2(m_w->action(n)->isEnabled(), qPrintable(n));
            for (const QString &n : q)
                QVERIFY2(m_w->action(n)->isEnabled() == queries, qPrintable(n));
            for (const QString &n : b)
                QVERIFY2(m_w->action(n)->isEnabled() == bills, qPrintable(n));
            for (const QString &n : d)
                QVERIFY2(m_w->action(n)->isEnabled() == baseData, qPrintable(n));
            QCOMPARE(m_w->billToolBar()->isVisible(), bills);
            QCOMPARE(m_w->statusPanelText(1), QStringLiteral("登录人：[u]某人          登录时间：08:09:10"));
            QVERIFY(!m_w->action(QStringLiteral("m_Popedom"))->isEnabled());
        }
    }

    void startsLoggedOut()
    {
        for (QAction *a : m_w->findChildren<QAction *>()) {
            const QString n = a->objectName();
            if (!n.startsWith(QLatin1String("m_")) || a->menu())
                continue;
            QVERIFY2(a->isEnabled() == Rights::alwaysEnabledEntries().contains(n), qPrintable(n));
        }
        QVERIFY(!m_w->billToolBar()->isVisible());
        QVERIFY(m_w->findChild<QToolBar *>(QStringLiteral("LoginToolBar"))->isVisible());
        QVERIFY(m_w->findChild<QToolBar *>(QStringLiteral("HelpToolBar"))->isVisible());
        QCOMPARE(m_w->statusPanelText(1), QString());
    }

    void loginThroughTheMenu()
    {
        QSettings ini(m_dir.filePath(QStringLiteral("zentrav.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("General/OrganisationName"), QStringLiteral("某某研究所"));
        ini.sync();
        newMainWindow(Settings::forDatabase(m_dir.filePath(QStringLiteral("Zentrav.db"))), true);
        QCOMPARE(m_w->statusPanelText(0), QStringLiteral("某某研究所"));
        prompter().clear();
        bool filled = false;
        QTimer::singleShot(0, this, [&] {
            auto *dlg = qobject_cast<LoginForm *>(QApplication::activeModalWidget());
            if (!dlg)
                return;
            filled = true;
            dlg->findChild<QLineEdit *>(QStringLiteral("CodeTextEdit"))->setText(QStringLiteral(" Admin "));
            QTest::mouseClick(dlg->findChild<QPushButton *>(QStringLiteral("Okbtn")), Qt::LeftButton);
        });
        m_w->action(QStringLiteral("b_Login"))->trigger();
        QVERIFY(filled);
        for (const QString &n : allWindowEntries())
            QVERIFY2(m_w->action(n)->isEnabled(), qPrintable(n));
        QVERIFY(m_w->billToolBar()->isVisible());
        QVERIFY(m_w->statusPanelText(1).startsWith(QStringLiteral("登录人：[Admin]系统管理员          登录时间：")));
        // The administrator still has the empty password of a new register: a reminder, not a stop.
        QCOMPARE(prompter().shown.size(), size_t(1));
        QCOMPARE(prompter().shown.front().title, QStringLiteral("提示"));
        QVERIFY(prompter().shown.front().text.contains(QStringLiteral("修改密码")));
    }

    void secondClickBringsToFrontWithoutReload()
    {
        enableAll();
        QSignalSpy created(&m_w->registry(), &ChildWindowRegistry::created);
        m_w->action(QStringLiteral("m_QArchives"))->trigger();
        QPointer<QWidget> first = m_w->registry().instance(QStringLiteral("m_QArchives"));
        QVERIFY(first);
        QCOMPARE(first->windowTitle(), QStringLiteral("物品变动查询"));
        QVERIFY(activeFrame()->isMaximized());
        m_w->action(QStringLiteral("m_QLoan"))->trigger();
        QCOMPARE(activeFrame()->widget()->windowTitle(), QStringLiteral("物品借出查询"));

        m_w->action(QStringLiteral("m_QArchives"))->trigger();
        QCOMPARE(activeFrame()->widget(), first.data());
        QCOMPARE(created.count(), 2);

        // Closed and clicked again: a fresh window.
        QVERIFY(ChildWindowRegistry::closeChild(first));
        QVERIFY(!m_w->registry().instance(QStringLiteral("m_QArchives")));
        m_w->action(QStringLiteral("m_QArchives"))->trigger();
        QCOMPARE(created.count(), 3);
        QTRY_VERIFY(first.isNull());
        QVERIFY(m_w->registry().instance(QStringLiteral("m_QArchives")));
        QCOMPARE(m_w->findChild<QMdiArea *>()->subWindowList().size(), 2);
    }

    // A frame deleted without closing (as the main window's teardown does):
    // its entry goes, the others stay.
    void frameDeletedWithoutClosingIsForgotten()
    {
        enableAll();
        QSignalSpy created(&m_w->registry(), &ChildWindowRegistry::created);
        m_w->action(QStringLiteral("m_QLoan"))->trigger();
        QPointer<QWidget> loans = m_w->registry().instance(QStringLiteral("m_QLoan"));
        m_w->action(QStringLiteral("m_QArchives"))->trigger();
        QPointer<QWidget> history = m_w->registry().instance(QStringLiteral("m_QArchives"));
        QVERIFY(loans && history);
        delete activeFrame();
        QVERIFY(history.isNull());
        QVERIFY(!m_w->registry().instance(QStringLiteral("m_QArchives")));
        QCoreApplication::processEvents();
        QCOMPARE(m_w->registry().instance(QStringLiteral("m_QLoan")), loans.data());

        m_w->action(QStringLiteral("m_QLoan"))->trigger();
        QCOMPARE(created.count(), 2);
        m_w->action(QStringLiteral("m_QArchives"))->trigger();
        QCOMPARE(created.count(), 3);
        QVERIFY(m_w->registry().instance(QStringLiteral("m_QArchives")));
    }

    void deptWindowStaysWhereItIs()
    {
        enableAll();
        QSignalSpy created(&m_w->registry(), &ChildWindowRegistry::created);
        m_w->action(QStringLiteral("m_dept"))->trigger();
        QWidget *dept = m_w->registry().instance(QStringLiteral("m_dept"));
        QVERIFY(dept);
        m_w->action(QStringLiteral("m_Staffer"))->trigger();
        QMdiArea *area = m_w->findChild<QMdiArea *>();
        const QList<QMdiSubWindow *> order = area->subWindowList(QMdiArea::StackingOrder);
        QMdiSubWindow *active = area->activeSubWindow();
        QVERIFY(active->widget() != dept);

        m_w->action(QStringLiteral("m_dept"))->trigger();
        QCOMPARE(area->subWindowList(QMdiArea::StackingOrder), order);
        QCOMPARE(area->activeSubWindow(), active);
        QCOMPARE(created.count(), 2);
        QCOMPARE(m_w->registry().instance(QStringLiteral("m_dept")), dept);
    }

    void ledgerManagementMode()
    {
        enableAll();
        auto visible = [](QWidget *w, const char *name) { return !w->findChild<QWidget *>(QLatin1String(name))->isHidden(); };
        auto heading = [](QWidget *w) { return w->findChild<QLabel *>(QStringLiteral("TitleLabel"))->text(); };

        m_w->action(QStringLiteral("m_AssetArchives"))->trigger();
        QPointer<QWidget> ledger = m_w->registry().instance(QStringLiteral("m_AssetArchives"));
        QCOMPARE(ledger->windowTitle(), QStringLiteral("物品台帐初始化"));
        QVERIFY(visible(ledger, "AppendBtn") && visible(ledger, "DelBtn"));
        // Its two print buttons run the item card and label print-outs.
        auto *lw = qobject_cast<AssetLedgerWindow *>(ledger.data());
        QVERIFY(lw && lw->printCards && lw->printLabels);

        // 台帐管理 switches the open window, it does not open another.
        m_w->action(QStringLiteral("b_Archives"))->trigger();
        QCOMPARE(m_w->registry().instance(QStringLiteral("m_Archives")), ledger.data());
        QCOMPARE(ledger->windowTitle(), QStringLiteral("物品台帐管理"));
        QCOMPARE(activeFrame()->windowTitle(), QStringLiteral("物品台帐管理"));
        QCOMPARE(heading(ledger), QStringLiteral("物品台帐管理"));
        QVERIFY(!visible(ledger, "AppendBtn") && !visible(ledger, "DelBtn"));

        // The mode stays with the window.
        m_w->action(QStringLiteral("m_AssetArchives"))->trigger();
        QCOMPARE(m_w->registry().instance(QStringLiteral("m_AssetArchives")), ledger.data());
        QCOMPARE(ledger->windowTitle(), QStringLiteral("物品台帐管理"));

        // Closed, the next 物品台帐维护 opens a fresh window in initialisation mode.
        QVERIFY(ChildWindowRegistry::closeChild(ledger));
        m_w->action(QStringLiteral("m_AssetArchives"))->trigger();
        QWidget *fresh = m_w->registry().instance(QStringLiteral("m_AssetArchives"));
        QVERIFY(fresh && fresh != ledger.data());
        QCOMPARE(fresh->windowTitle(), QStringLiteral("物品台帐初始化"));
        QVERIFY(visible(fresh, "AppendBtn"));
        QCOMPARE(m_w->findChild<QMdiArea *>()->subWindowList().size(), 1);
    }

    void exitAsksEveryChild()
    {
        enableAll();
        m_w->registry().plug<QueryWindow>(QStringLiteral("m_AddAsset"));
        m_w->action(QStringLiteral("m_QLoan"))->trigger();
        m_w->action(QStringLiteral("m_AddAsset"))->trigger();
        QPointer<QueryWindow> bill = qobject_cast<QueryWindow *>(m_w->registry().instance(QStringLiteral("m_AddAsset")));
        m_w->action(QStringLiteral("m_QDecAsset"))->trigger();
        QVERIFY(bill);
        QCOMPARE(bill->conn, &m_w->connection());
        QCOMPARE(bill->windowTitle(), QStringLiteral("测试单据"));

        bill->answer = false;
        m_w->action(QStringLiteral("b_Exit"))->trigger();
        QCOMPARE(bill->asked, 1);
        QVERIFY(m_w->isVisible());
        QCOMPARE(m_w->findChild<QMdiArea *>()->subWindowList().size(), 3);
        // The window's own close box asks too.
        QVERIFY(!ChildWindowRegistry::closeChild(bill));
        QCOMPARE(bill->asked, 2);
        QVERIFY(bill);

        bill->answer = true;
        QVERIFY(m_w->close());
        QVERIFY(!m_w->isVisible());
    }

    void startsWithoutARegister_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing folder") << "missing" << "文件夹不存在";
        QTest::newRow("not a database") << "garbage" << "不是 Zentrav 数据库";
        QTest::newRow("another program's database") << "foreign" << "不是 Zentrav 数据库";
        QTest::newRow("read-only file") << "readonly" << "只读";
        QTest::newRow("PostgreSQL unreachable") << "pg" << "无法连接数据库服务器";
    }
    void startsWithoutARegister()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(kind == QLatin1String("missing") ? QStringLiteral("no/such/Zentrav.db") : QStringLiteral("Zentrav.db"));
        QByteArray before;
        Settings settings = Settings::forDatabase(path);
        if (kind == QLatin1String("garbage")) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(QByteArray(4096, 'x'));
        } else if (kind == QLatin1String("foreign")) {
            Connection c;
            c.open(ConnectionParams::sqlite(path));
            c.exec(QStringLiteral("CREATE TABLE invoices (id INTEGER)"));
        } else if (kind == QLatin1String("readonly")) {
            {
                Connection c;
                c.open(ConnectionParams::sqlite(path));
            }
            QFile::setPermissions(path, QFileDevice::ReadOwner);
            if (QFileInfo(path).isWritable())
                QSKIP("running as root: a read-only file is still writable");
        } else if (kind == QLatin1String("pg")) {
            ConnectionParams p = ConnectionParams::fromPgString(QStringLiteral("host=127.0.0.1 port=1 dbname=zentrav user=zentrav"));
            settings.setConnection(p);
        }
        if (QFile::exists(path)) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            before = f.readAll();
        }

        m_w.reset();
        prompter().clear();
        m_w = std::make_unique<MainWindow>(settings);
        // The reason is shown, then the main window opens all the same.
        QVERIFY(!m_w->connectDatabase());
        QCOMPARE(prompter().shown.size(), size_t(1));
        QCOMPARE(prompter().shown.front().title, QStringLiteral("错误"));
        QVERIFY2(prompter().shown.front().text.contains(reason), qPrintable(prompter().shown.front().text));
        m_w->show();
        QVERIFY(!m_w->connection().isOpen());
        QCOMPARE(Connection::current(), &m_w->connection());
        QCOMPARE(m_w->statusPanelText(0), QString());
        // Nothing was written, nothing was made.
        if (kind == QLatin1String("missing"))
            QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("no"))));
        if (!before.isEmpty()) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), before);
        }

        // The program runs on: a login reports the database it cannot read.
        prompter().clear();
        QTimer::singleShot(0, this, [&] {
            if (auto *dlg = qobject_cast<LoginForm *>(QApplication::activeModalWidget())) {
                QTest::mouseClick(dlg->findChild<QPushButton *>(QStringLiteral("Okbtn")), Qt::LeftButton);
                dlg->reject();
            }
        });
        m_w->action(QStringLiteral("m_login"))->trigger();
        QCOMPARE(prompter().shown.size(), size_t(1));
        QVERIFY(!LoginSession::current().isLoggedIn());
        QVERIFY(!m_w->action(QStringLiteral("m_dept"))->isEnabled());
        if (kind == QLatin1String("readonly"))
            QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
};

QTEST_MAIN(TestAppMainWindow)
#include "tst_app_mainwindow.moc"
