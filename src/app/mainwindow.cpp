#include "app/mainwindow.h"
#include "app/brandforms.h"
#include "app/childwindowregistry.h"
#include "app/childwindows.h"
#include "common/prompter.h"
#include "data/errors.h"
#include "data/schema.h"
#include "login/changepassform.h"
#include "login/loginform.h"
#include "login/loginsession.h"
#include "login/rights.h"

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>

namespace {
const QString LedgerKey = QStringLiteral("TAssetVindcatorForm");

QIcon appIcon(const QString &name)
{
    return name.isEmpty() ? QIcon() : QIcon(QStringLiteral(":/app/icons/%1.png").arg(name));
}

// One menu entry that opens a child window.
struct WindowEntry {
    const char *name;
    const char *caption;
    const char *key;   // the window class
    const char *icon;
};
} // namespace

MainWindow::MainWindow(const Settings &settings, QWidget *parent)
    : QMainWindow(parent), m_settings(settings), m_mdi(new QMdiArea(this))
{
    setObjectName(QStringLiteral("AssetMainForm"));
    setWindowTitle(QStringLiteral("Zentrav"));
    setWindowIcon(appIcon(QStringLiteral("applications-office")));
    resize(1023, 768);
    if (QScreen *s = QGuiApplication::primaryScreen())
        move(s->availableGeometry().center() - rect().center());

    m_mdi->setObjectName(QStringLiteral("MdiArea"));
    m_mdi->setBackground(QColor(128, 128, 128));
    setCentralWidget(m_mdi);
    m_registry = new ChildWindowRegistry(m_mdi, this);

    buildMenus();
    buildToolBars();
    plugChildWindows(*m_registry);

    for (int i = 0; i < 2; ++i) {
        m_panels[i] = new QLabel(this);
        m_panels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        m_panels[i]->setFixedWidth(400);
        m_panels[i]->setFrameShape(QFrame::Panel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        statusBar()->addWidget(m_panels[i]);
    }
    statusBar()->setSizeGripEnabled(true);

    // Before a login only the always-enabled entries work and the bill toolbar is hidden.
    m_billBar->setVisible(false);

    // Until a register is open, every window reports that the database is not open.
    Connection::setCurrent(&m_conn);
}

MainWindow::~MainWindow()
{
    delete m_mdi; // the child windows go before the connection they use
    m_mdi = nullptr;
    m_conn.close();
    if (Connection::current() == &m_conn)
        Connection::setCurrent(nullptr);
}

bool MainWindow::connectDatabase(QWidget *splash)
{
    try {
        m_conn.open(m_settings.connection());
        Schema::ensure(m_conn);
    } catch (const DataError &e) {
        m_conn.close();
        if (splash)
            splash->close();
        Prompter::instance().information(e.message(), QStringLiteral("错误"), isVisible() ? this : nullptr);
        return false;
    }
    m_panels[0]->setText(m_settings.organisationName());
    return true;
}

QAction *MainWindow::makeAction(const QString &name, const QString &caption, const QString &hint, const QString &icon, bool enabled)
{
    auto *a = new QAction(appIcon(icon), caption, this);
    a->setObjectName(name);
    if (!hint.isEmpty())
        a->setToolTip(hint);
    a->setEnabled(enabled);
    m_actions.insert(name, a);
    return a;
}

void MainWindow::buildMenus()
{
    QMenuBar *bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenuBar"));
    auto subMenu = [&](const QString &name, const QString &caption) {
        QMenu *m = bar->addMenu(caption);
        m->setObjectName(name);
        m->setToolTipsVisible(true);
        return m;
    };
    auto windowEntries = [&](QMenu *menu, std::initializer_list<WindowEntry> entries) {
        for (const WindowEntry &e : entries) {
            const QString name = QLatin1String(e.name);
            const QString caption = QString::fromUtf8(e.caption);
            QAction *a = makeAction(name, caption, caption, QLatin1String(e.icon), false);
            menu->addAction(a);
            m_registry->define(name, QLatin1String(e.key), caption);
            connect(a, &QAction::triggered, this, [this, name] { openChild(name); });
        }
    };

    QMenu *sys = subMenu(QStringLiteral("m_Sys"), QStringLiteral("系统"));
    sys->addAction(makeAction(QStringLiteral("m_login"), QStringLiteral("系统登录"), QStringLiteral("系统登录"), QStringLiteral("dialog-password"), true));
    sys->addAction(makeAction(QStringLiteral("m_modifpassword"), QStringLiteral("修改密码"), QStringLiteral("修改密码"), QString(), false));
    sys->addAction(makeAction(QStringLiteral("m_exit"), QStringLiteral("系统退出"), QString(), QStringLiteral("application-exit"), true));
    connect(action(QStringLiteral("m_login")), &QAction::triggered, this, &MainWindow::m_loginClick);
    connect(action(QStringLiteral("m_modifpassword")), &QAction::triggered, this, &MainWindow::m_modifpasswordClick);
    connect(action(QStringLiteral("m_exit")), &QAction::triggered, this, &QWidget::close);

    QMenu *manage = subMenu(QStringLiteral("m_Manage"), QStringLiteral("物品管理"));
    windowEntries(manage, {{"m_AddAsset", "物品增加", "TAssetAddForm", "list-add"},
                           {"m_Archives", "台帐管理", "TAssetVindcatorForm", "accessories-dictionary"},
                           {"m_Prepare", "物品调拨", "TAssetMoveForm", "go-jump"},
                           {"m_Loan", "物品借出", "TAssetLoanForm", "go-next"},
                           {"m_Back", "物品归还", "TAssetLoanBackForm", "go-previous"},
                           {"m_Maintain", "物品维修", "TAssetMaintainForm", "applications-engineering"},
                           {"m_Retake", "维修完成", "TAssetServiceBackForm", "emblem-default"},
                           {"m_DecAsset", "物品销账", "TAssetDiscardForm", "edit-delete"}});

    QMenu *query = subMenu(QStringLiteral("m_Query"), QStringLiteral("系统查询"));
    windowEntries(query, {{"m_QArchives", "物品变动情况查询", "TAssetArchivesForm", "edit-find"},
                          {"m_QAddAsset", "物品增加单据查询", "TAssetAddQueryForm", ""},
                          {"m_QPrepare", "物品调拨单据查询", "TAssetMoveQueryForm", ""},
                          {"m_QLoan", "物品借出单据查询", "TAssetLoanQueryForm", ""},
                          {"m_QMaintain", "物品维修单据查询", "TAssetServiceQueryForm", ""},
                          {"m_QDecAsset", "物品销账单据查询", "TAssetDiscardQueryForm", ""},
                          {"m_grloanlist", "个人借用物品查询", "TUserLoanListForm", ""}});

    QMenu *reports = subMenu(QStringLiteral("m_Statistics"), QStringLiteral("统计报表"));
    windowEntries(reports, {{"m_QSumy", "物品分类汇总报表", "TAssetTypeSumForm", "document-print-preview"},
                            {"m_zcfllb", "物品分类明细列表", "TAsscttypeListForm", ""},
                            {"m_bmzcmxlb", "部门物品明细列表", "TAssetDeptListForm", ""},
                            {"m_AddList", "新增物品明细列表", "TAssetAddListForm", ""},
                            {"m_decList", "销账物品明细列表", "TAssetDecListForm", ""},
                            {"m_matureAssetList", "到期资产明细列表", "TmatureAssetListForm", ""}});

    QMenu *basic = subMenu(QStringLiteral("m_BasicInfo"), QStringLiteral("基础信息维护"));
    windowEntries(basic, {{"m_dept", "组织机构维护", "TDeptEditForm", "preferences-system"},
                          {"m_Staffer", "职员档案维护", "TStafferEditForm", "system-users"},
                          {"m_Assetype", "物品类别维护", "TAssetTypeForm", "emblem-package"},
                          {"m_AssetArchives", "物品台帐维护", "TAssetVindcatorForm", ""},
                          {"m_Codes", "基础代码维护", "TCodeForm", ""}});
    // The ledger window opens in initialisation mode unless "台帐管理" switches it.
    m_registry->define(QStringLiteral("m_Archives"), LedgerKey, QStringLiteral("物品台帐初始化"));
    m_registry->define(QStringLiteral("m_AssetArchives"), LedgerKey, QStringLiteral("物品台帐初始化"));

    QMenu *help = subMenu(QStringLiteral("m_Helps"), QStringLiteral("帮助"));
    help->addAction(makeAction(QStringLiteral("m_Help"), QStringLiteral("帮助"), QStringLiteral("帮助"), QStringLiteral("help-browser"), true));
    help->addAction(makeAction(QStringLiteral("m_About"), QStringLiteral("关于"), QString(), QStringLiteral("help-about"), true));
    connect(action(QStringLiteral("m_About")), &QAction::triggered, this, &MainWindow::m_AboutClick);

    // Items kept from the original menu set that no menu shows and nothing uses.
    auto *hiddenReports = new QMenu(QStringLiteral("统计报表"), this);
    hiddenReports->setObjectName(QStringLiteral("m_Reports"));
    for (const char *caption : {"资产台帐", "资产分类汇总表", "资产变动汇总表", "部门资产汇总表", "部门资产变动表"})
        hiddenReports->addAction(QString::fromUtf8(caption));
    auto *maintenance = new QMenu(QStringLiteral("系统维护"), this);
    maintenance->setObjectName(QStringLiteral("m_maintenance"));
    for (const char *caption : {"数据库备份", "数据库恢复"})
        maintenance->addAction(QString::fromUtf8(caption))->setEnabled(false);
    makeAction(QStringLiteral("m_Popedom"), QStringLiteral("操作权限维护"), QString(), QString(), false);
    auto *lookup = new QComboBox(this);
    lookup->setObjectName(QStringLiteral("LookupCombo"));
    lookup->hide();
}

void MainWindow::buildToolBars()
{
    auto toolBar = [&](const QString &name, const QString &title) {
        auto *tb = new QToolBar(title, this);
        tb->setObjectName(name);
        tb->setIconSize(QSize(32, 32));
        tb->setToolButtonStyle(Qt::ToolButtonIconOnly);
        tb->setMovable(false);
        addToolBar(Qt::TopToolBarArea, tb);
        return tb;
    };
    // A button runs the handler of its menu entry; its own action keeps its own hint.
    auto button = [&](QToolBar *tb, const QString &name, const QString &hint, const QString &entry, const QString &icon) {
        QAction *a = makeAction(name, hint, hint, icon, true);
        tb->addAction(a);
        if (!entry.isEmpty())
            connect(a, &QAction::triggered, action(entry), &QAction::trigger);
        return a;
    };

    m_loginBar = toolBar(QStringLiteral("LoginToolBar"), QStringLiteral("登录"));
    button(m_loginBar, QStringLiteral("b_Login"), QStringLiteral("系统登录"), QStringLiteral("m_login"), QStringLiteral("dialog-password"));

    m_billBar = toolBar(QStringLiteral("BillToolBar"), QStringLiteral("单据"));
    button(m_billBar, QStringLiteral("b_Archives"), QStringLiteral("台帐管理"), QStringLiteral("m_Archives"), QStringLiteral("accessories-dictionary"));
    button(m_billBar, QStringLiteral("b_AddAsset"), QStringLiteral("增加物品"), QStringLiteral("m_AddAsset"), QStringLiteral("list-add"));
    button(m_billBar, QStringLiteral("b_Prepare"), QStringLiteral("物品调拨"), QStringLiteral("m_Prepare"), QStringLiteral("go-jump"));
    button(m_billBar, QStringLiteral("b_loan"), QStringLiteral("物品借出"), QStringLiteral("m_Loan"), QStringLiteral("go-next"));
    button(m_billBar, QStringLiteral("b_back"), QStringLiteral("物品归还"), QStringLiteral("m_Back"), QStringLiteral("go-previous"));
    button(m_billBar, QStringLiteral("b_Maintain"), QStringLiteral("物品维修"), QStringLiteral("m_Maintain"), QStringLiteral("applications-engineering"));
    button(m_billBar, QStringLiteral("b_Retake"), QStringLiteral("维修完成"), QStringLiteral("m_Retake"), QStringLiteral("emblem-default"));
    button(m_billBar, QStringLiteral("b_DelAsset"), QStringLiteral("物品销账"), QStringLiteral("m_DecAsset"), QStringLiteral("edit-delete"));

    m_helpBar = toolBar(QStringLiteral("HelpToolBar"), QStringLiteral("帮助"));
    button(m_helpBar, QStringLiteral("b_help"), QStringLiteral("帮助"), QString(), QStringLiteral("help-browser"));
    button(m_helpBar, QStringLiteral("b_About"), QStringLiteral("关于"), QStringLiteral("m_About"), QStringLiteral("help-about"));
    m_helpBar->addSeparator();
    button(m_helpBar, QStringLiteral("b_Exit"), QStringLiteral("系统退出"), QStringLiteral("m_exit"), QStringLiteral("application-exit"));
}

QString MainWindow::statusPanelText(int panel) const
{
    return panel >= 0 && panel < 2 ? m_panels[panel]->text() : QString();
}

void MainWindow::ApplyRights(int level)
{
    m_panels[1]->setText(Rights::loginLine(LoginSession::current()));
    const Rights::Grant g = Rights::grantFor(level);
    for (const QString &name : Rights::billEntries())
        action(name)->setEnabled(g.bills);
    m_billBar->setVisible(g.bills);
    for (const QString &name : Rights::queryEntries())
        action(name)->setEnabled(g.queries);
    for (const QString &name : Rights::baseDataEntries())
        action(name)->setEnabled(g.baseData);
}

void MainWindow::openChild(const QString &entry)
{
    if (entry == QLatin1String("m_dept"))
        m_deptClick();
    else if (entry == QLatin1String("m_Archives"))
        m_ArchivesClick();
    else
        m_registry->open(entry);
}

void MainWindow::m_deptClick()
{
    // An open department window is left where it is, not brought to the front.
    if (!m_registry->instance(QStringLiteral("m_dept")))
        m_registry->open(QStringLiteral("m_dept"));
}

void MainWindow::m_ArchivesClick()
{
    switchToManagementMode(m_registry->open(QStringLiteral("m_Archives")));
}

void MainWindow::switchToManagementMode(QWidget *w)
{
    if (!w)
        return;
    const QString caption = QStringLiteral("物品台帐管理");
    if (switchLedgerToManagementMode(w)) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(w->parentWidget()))
            frame->setWindowTitle(w->windowTitle());
        return;
    }
    for (const char *name : {"AppendBtn", "DelBtn"})
        if (auto *b = w->findChild<QWidget *>(QLatin1String(name)))
            b->hide();
    if (auto *title = w->findChild<QLabel *>(QStringLiteral("TitleLabel")))
        title->setText(caption);
    w->setWindowTitle(caption);
    if (auto *frame = qobject_cast<QMdiSubWindow *>(w->parentWidget()))
        frame->setWindowTitle(caption);
    w->setProperty("managementMode", true);
}

void MainWindow::m_loginClick()
{
    LoginForm dlg(this);
    connect(&dlg, &LoginForm::loggedIn, this, &MainWindow::ApplyRights);
    if (dlg.exec() != QDialog::Accepted)
        return;
    const LoginSession &s = LoginSession::current();
    if (s.LoginRights > 2 && s.LoginPassword.isEmpty())
        Prompter::instance().information(QStringLiteral("您的登录密码为空，请及时通过“系统→修改密码”设置密码。"),
                                         QStringLiteral("提示"), this);
}

void MainWindow::m_modifpasswordClick()
{
    ChangePassForm dlg(this);
    dlg.exec();
}

void MainWindow::m_AboutClick()
{
    AboutForm dlg(this);
    dlg.exec();
}

void MainWindow::bringToFront()
{
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
}

void MainWindow::closeEvent(QCloseEvent *e)
{
    if (!m_registry->queryCloseAll()) {
        e->ignore();
        return;
    }
    e->accept();
    m_conn.close();
}
