#include "bills/billwindows.h"

#include "common/boundeditors.h"
#include "common/datagrid.h"
#include "common/datasettree.h"
#include "common/prompter.h"
#include "common/uilook.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "login/loginsession.h"
#include "reference/assetpicker.h"
#include "reference/refshared.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportlayout.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

QDateTime dayStart(const QDate &d) { return QDateTime(d, QTime(0, 0)); }

// A group box of labelled editors on a grid of label/editor pairs.
class Form {
public:
    Form(const QString &title, QWidget *parent) : box(new QGroupBox(title, parent)), grid(new QGridLayout(box))
    {
        grid->setHorizontalSpacing(6);
        grid->setVerticalSpacing(5);
        for (int c : {1, 3, 5})
            grid->setColumnStretch(c, 1);
    }
    void add(const QString &label, QWidget *editor, int row, int col, int span = 1)
    {
        editor->setParent(box);
        grid->addWidget(formLabel(label, box), row, col * 2);
        grid->addWidget(editor, row, col * 2 + 1, 1, span * 2 - 1);
    }
    // A framed memo across the box.
    QGroupBox *memoBox(const QString &title, QWidget *memo, int row)
    {
        auto *g = new QGroupBox(title, box);
        auto *l = new QVBoxLayout(g);
        memo->setParent(g);
        l->addWidget(memo);
        grid->addWidget(g, row, 0, 1, 6);
        grid->setRowStretch(row, 1);
        return g;
    }
    QGroupBox *box;
    QGridLayout *grid;
};

QString staffSql(const QString &order) { return QStringLiteral("select Name from Staffer order by ") + order; }

} // namespace

BillWindow::BillWindow(Connection *conn, BillKind kind, QWidget *parent) : QWidget(parent), m_conn(conn), m_kind(kind)
{
    setFont(UiLook::font(15));
    pickAsset = [this]() { return AssetPickerDialog::chooseAsset(m_conn, this); };
    switch (kind) {
    case BillKind::Acquisition: buildAcquisition(); break;
    case BillKind::Transfer: buildTransfer(); break;
    case BillKind::WriteOff: buildWriteOff(); break;
    case BillKind::Loan: buildLoan(); break;
    case BillKind::LoanReturn: buildLoanReturn(); break;
    case BillKind::Repair: buildRepair(); break;
    case BillKind::RepairCompletion: buildRepairCompletion(); break;
    }
    auto *lay = new QVBoxLayout(this);
    lay->setContentsMargins(0, 0, 0, 0);
    lay->addWidget(m_frame);
    setWindowTitle(m_frame->setup().caption);

    m_frame->fillLists = [this] {
        for (auto &[combos, sql] : m_lists) {
            const QStringList names = Reference::readNames(*m_conn, sql);
            for (BoundComboBox *c : combos)
                c->setChoices(names);
        }
    };
    m_frame->printData = [this](ReportVariables &vars) { return printRows(vars); };
    for (QWidget *w : m_frame->editors())
        UiLook::applyEditorLook(w);
    for (QWidget *w : m_editorOf)
        UiLook::applyEditorLook(w);
    m_frame->changeControlState();
}

BillWindow::~BillWindow() = default;

Dataset *BillWindow::list() const { return m_frame->list(); }

void BillWindow::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    m_frame->showFirstTime(m_frame->today());
}

void BillWindow::closeEvent(QCloseEvent *e) { BillWindows::closeQuery(m_frame, e); }

// The item fields shown beside a bill, looked up by AssetId in a copy of the
// ledger that is read again after every pick.
void BillWindow::addItemLookups(Dataset *ds, const QStringList &names)
{
    if (!m_assets) {
        m_assets = new Dataset(m_conn, this);
        m_assets->setSql(QStringLiteral("select Id, Code, Name, Model, Manufacturer, Makeof from Asset"));
        m_assets->setReadOnly(true);
        m_assets->open();
    }
    const QStringList from = {QStringLiteral("Code"), QStringLiteral("Name"), QStringLiteral("Model"), QStringLiteral("Manufacturer"),
                              QStringLiteral("Makeof")};
    for (int i = 0; i < names.size(); ++i)
        ds->addLookupField(names[i], QStringLiteral("AssetId"), m_assets, QStringLiteral("Id"), from[i]);
}

// ---------------------------------------------------------------- editors

namespace {
struct Editors {
    BillWindow *w;
    BillFrame *f;
    Dataset *ds;
    QHash<QString, QWidget *> &byName;
    std::vector<std::pair<std::vector<BoundComboBox *>, QString>> &lists;

    template <class E> E *reg(E *e, const QString &field, bool editable)
    {
        byName.insert(field.toLower(), e);
        if (editable)
            f->addEditor(e);
        else
            e->setEnabled(false);
        return e;
    }
    BoundLineEdit *line(const QString &field, bool editable = true) { return reg(new BoundLineEdit(ds, field), field, editable); }
    BoundDateEdit *date(const QString &field, bool editable = true) { return reg(new BoundDateEdit(ds, field), field, editable); }
    BoundMemo *memo(const QString &field, bool editable = true)
    {
        BoundMemo *m = reg(new BoundMemo(ds, field), field, editable);
        m->setMinimumHeight(44);
        return m;
    }
    BoundComboBox *combo(const QString &field, bool editable = true) { return reg(new BoundComboBox(ds, field), field, editable); }
    // Combos sharing one statement's names.
    void fill(std::vector<BoundComboBox *> combos, const QString &sql) { lists.push_back({std::move(combos), sql}); }
};
} // namespace

// ---------------------------------------------------------------- acquisition

void BillWindow::buildAcquisition()
{
    BillFrameSetup s;
    s.kind = BillKind::Acquisition;
    s.caption = s.heading = QStringLiteral("物品增加单维护");
    s.table = QStringLiteral("Asset_Add");
    s.listSql = QStringLiteral("Select * from Asset_Add where State=0 or (State>0 and BuildDate>=:minDate and BuildDate<=:maxDate) "
                               "order by Code");
    s.legend = {QStringLiteral("增加单未登帐"), QStringLiteral("增加单已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();

    m_types = new Dataset(m_conn, this);
    m_types->setSql(QStringLiteral("select * from AssetType order by Code"));
    m_types->setReadOnly(true);
    m_types->addCalculatedField(QStringLiteral("Text"), FieldType::Text,
                                [](const Dataset &d, int r) { return d.storageValue(r, QStringLiteral("Name")); });
    m_types->open();
    ds->addLookupField(QStringLiteral("AssetTypeName"), QStringLiteral("Type"), m_types, QStringLiteral("Id"), QStringLiteral("Name"));

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 126, Qt::AlignCenter);
    g->addColumn(QStringLiteral("BuildDate"), QStringLiteral("制单日期"), 115, Qt::AlignCenter);
    g->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 152);
    g->addColumn(QStringLiteral("Controller"), QStringLiteral("制单人员"), 0, Qt::AlignCenter);

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form bill(QStringLiteral("单据信息"), m_frame->panel());
    bill.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code")), 0, 0, 2);
    bill.add(QStringLiteral("购置日期"), e.date(QStringLiteral("BuyDate")), 0, 2);
    auto *firm = e.combo(QStringLiteral("Firm"));
    bill.add(QStringLiteral("供应厂商"), firm, 1, 0, 3);
    auto *appType = e.combo(QStringLiteral("AppType"));
    bill.add(QStringLiteral("增加方式"), appType, 2, 0);
    bill.add(QStringLiteral("增加数量"), e.line(QStringLiteral("AddNumber")), 2, 1);
    auto *transactor = e.combo(QStringLiteral("Transactor"));
    bill.add(QStringLiteral("经办人员"), transactor, 2, 2);
    auto *checker = e.combo(QStringLiteral("Checker"));
    bill.add(QStringLiteral("验收人员"), checker, 3, 0);
    auto *controller = e.combo(QStringLiteral("Controller"));
    bill.add(QStringLiteral("制单人员"), controller, 3, 1);
    bill.add(QStringLiteral("制单日期"), e.date(QStringLiteral("BuildDate")), 3, 2);
    m_frame->panelLayout()->addWidget(bill.box);

    Form item(QStringLiteral("物品信息"), m_frame->panel());
    auto *type = e.reg(new LookupTreeCombo(ds, QStringLiteral("Type"), m_types), QStringLiteral("Type"), true);
    type->setObjectName(QStringLiteral("AssetTypeDBLookupTreeView"));
    item.add(QStringLiteral("物品类型"), type, 0, 0);
    item.add(QStringLiteral("物品名称"), e.line(QStringLiteral("Name")), 0, 1, 2);
    item.add(QStringLiteral("规格型号"), e.line(QStringLiteral("Model")), 1, 0);
    auto *unit = e.combo(QStringLiteral("Unit"));
    item.add(QStringLiteral("计量单位"), unit, 1, 1);
    item.add(QStringLiteral("物品原值"), e.line(QStringLiteral("Price")), 1, 2);
    auto *manufacturer = e.combo(QStringLiteral("Manufacturer"));
    item.add(QStringLiteral("生产厂商"), manufacturer, 2, 0);
    item.add(QStringLiteral("生产日期"), e.date(QStringLiteral("ManufactureDate")), 2, 1);
    item.add(QStringLiteral("出厂编号"), e.line(QStringLiteral("ManufactureCode")), 2, 2);
    item.memoBox(QStringLiteral("详细配置"), e.memo(QStringLiteral("Makeof")), 3);
    m_frame->panelLayout()->addWidget(item.box, 1);

    e.fill({unit}, QStringLiteral("select Name from Units"));
    e.fill({manufacturer}, QStringLiteral("select Name from Factory"));
    e.fill({firm}, QStringLiteral("select Name from Firm"));
    e.fill({appType}, QStringLiteral("select Name from AddMode"));
    e.fill({checker, transactor, controller}, staffSql(QStringLiteral("Code")));

    m_frame->onAppend = [](Dataset &d, const QDate &today) {
        d.setValue(QStringLiteral("Controller"), LoginSession::current().LoginName);
        d.setValue(QStringLiteral("BuildDate"), dayStart(today));
        d.setValue(QStringLiteral("BuyDate"), dayStart(today));
    };
    m_frame->templateName = QString::fromUtf8(BillTemplates::Acquisition);
}

// ---------------------------------------------------------------- the one-item bills

void BillWindow::chooseAsset()
{
    Dataset *ds = list();
    if (!ds->isOpen() || ds->isEmpty() || !m_frame->currentEditable() || !pickAsset)
        return;
    const std::optional<qint64> id = pickAsset();
    if (!id)
        return;
    try {
        m_assets->requery(); // a newly acquired item shows its fields too
        ds->setValue(QStringLiteral("AssetId"), *id);
        ds->post();
    } catch (const DataError &e) {
        Prompter::instance().information(e.message(), QString(), this);
    }
}

namespace {
// "物品信息": the looked-up item fields, with the picker button beside the code.
QGroupBox *itemBox(Editors &e, const QStringList &names, QToolButton **choose, QWidget *parent)
{
    Form item(QStringLiteral("物品信息"), parent);
    auto *codeRow = new QWidget;
    auto *cl = new QHBoxLayout(codeRow);
    cl->setContentsMargins(0, 0, 0, 0);
    cl->setSpacing(2);
    cl->addWidget(e.line(names[0], false), 1);
    if (choose) {
        *choose = new QToolButton(codeRow);
        (*choose)->setText(QStringLiteral("..."));
        (*choose)->setObjectName(QStringLiteral("ChooseAssetButton"));
        (*choose)->setToolTip(QStringLiteral("选择物品"));
        cl->addWidget(*choose);
        e.f->addEditor(*choose);
    }
    item.add(QStringLiteral("物品编号"), codeRow, 0, 0);
    item.add(QStringLiteral("物品名称"), e.line(names[1], false), 0, 1, 2);
    item.add(QStringLiteral("规格型号"), e.line(names[2], false), 1, 0);
    item.add(QStringLiteral("生产厂商"), e.line(names[3], false), 1, 1, 2);
    item.memoBox(QStringLiteral("详细配置"), e.memo(names[4], false), 2);
    return item.box;
}
} // namespace

void BillWindow::buildWriteOff()
{
    BillFrameSetup s;
    s.kind = BillKind::WriteOff;
    s.caption = s.heading = QStringLiteral("物品销账单维护");
    s.table = QStringLiteral("Asset_Discard");
    s.listSql = QStringLiteral("Select * from Asset_Discard where State=0 or (State=1 and BuildDate>=:minDate and BuildDate<=:maxDate) "
                               "order by Code");
    s.legend = {QStringLiteral("销账单未登帐"), QStringLiteral("销账单已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();
    const QStringList names = {QStringLiteral("AssetCode"), QStringLiteral("name"), QStringLiteral("Model"), QStringLiteral("Manufacturer"),
                               QStringLiteral("Makeof")};
    addItemLookups(ds, names);

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 114, Qt::AlignCenter);
    g->addColumn(QStringLiteral("name"), QStringLiteral("物品名称"), 162, Qt::AlignCenter);
    g->addColumn(QStringLiteral("DecType"), QStringLiteral("销账类型"), 68, Qt::AlignCenter);

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form bill(QStringLiteral("单据信息"), m_frame->panel());
    bill.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code")), 0, 0);
    bill.add(QStringLiteral("销账日期"), e.date(QStringLiteral("DecDate")), 0, 1);
    auto *decType = e.combo(QStringLiteral("DecType"));
    bill.add(QStringLiteral("销账方式"), decType, 1, 0);
    auto *manager = e.combo(QStringLiteral("Manager"));
    bill.add(QStringLiteral("批准人员"), manager, 1, 1);
    auto *transactor = e.combo(QStringLiteral("Transactor"));
    bill.add(QStringLiteral("经办人员"), transactor, 2, 0);
    auto *controller = e.combo(QStringLiteral("Controller"));
    bill.add(QStringLiteral("制单人员"), controller, 2, 1);
    bill.add(QStringLiteral("制单日期"), e.date(QStringLiteral("BuildDate")), 2, 2);
    bill.memoBox(QStringLiteral("销账原因"), e.memo(QStringLiteral("Cause")), 3);
    m_frame->panelLayout()->addWidget(bill.box);
    m_frame->panelLayout()->addWidget(itemBox(e, names, &m_choose, m_frame->panel()), 1);
    connect(m_choose, &QToolButton::clicked, this, &BillWindow::chooseAsset);

    e.fill({decType}, QStringLiteral("select Name from DecMode"));
    e.fill({manager, transactor, controller}, staffSql(QStringLiteral("Name")));

    m_frame->onAppend = [](Dataset &d, const QDate &today) {
        d.setValue(QStringLiteral("Controller"), LoginSession::current().LoginName);
        d.setValue(QStringLiteral("DecDate"), dayStart(today));
        d.setValue(QStringLiteral("BuildDate"), dayStart(today));
    };
    m_frame->templateName = QString::fromUtf8(BillTemplates::WriteOff);
}

void BillWindow::buildLoan()
{
    BillFrameSetup s;
    s.kind = BillKind::Loan;
    s.caption = s.heading = QStringLiteral("物品借出单维护");
    s.table = QStringLiteral("Asset_Loan");
    s.listSql = QStringLiteral("Select * from Asset_Loan where State=0 or (State>0 and LoanDate>=:minDate and LoanDate<=:maxDate) "
                               "order by Code");
    s.fourState = true;
    s.legend = {QStringLiteral("借出未登帐"), QStringLiteral("借出已登帐"), QStringLiteral("归还未登帐"), QStringLiteral("归还已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();
    const QStringList names = {QStringLiteral("AssetCode"), QStringLiteral("Name"), QStringLiteral("Modle"), QStringLiteral("Manufacturer"),
                               QStringLiteral("Makeof")};
    addItemLookups(ds, names);

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral(" 单据编号"), 0, Qt::AlignCenter);
    g->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 157);
    g->addColumn(QStringLiteral("Loaner"), QStringLiteral("借用人员"));

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form bill(QStringLiteral("单据信息"), m_frame->panel());
    bill.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code")), 0, 0);
    bill.add(QStringLiteral("借出日期"), e.date(QStringLiteral("LoanDate")), 0, 1);
    auto *dept = e.combo(QStringLiteral("LoanDept"));
    bill.add(QStringLiteral("借用部门"), dept, 1, 0);
    auto *loaner = e.combo(QStringLiteral("Loaner"));
    bill.add(QStringLiteral("借用人员"), loaner, 1, 1);
    bill.add(QStringLiteral("预计归还日期"), e.date(QStringLiteral("IntendBackDate")), 2, 0);
    auto *keeper = e.combo(QStringLiteral("Loankeeper"));
    bill.add(QStringLiteral("借出人员"), keeper, 2, 1);
    bill.add(QStringLiteral("借出时技术状态"), e.line(QStringLiteral("LoanTechState")), 3, 0, 2);
    m_frame->panelLayout()->addWidget(bill.box);
    m_frame->panelLayout()->addWidget(itemBox(e, names, &m_choose, m_frame->panel()), 1);
    connect(m_choose, &QToolButton::clicked, this, &BillWindow::chooseAsset);

    e.fill({dept}, QStringLiteral("select Name from Department order by Code"));
    e.fill({loaner, keeper}, staffSql(QStringLiteral("Name")));

    m_frame->onAppend = [](Dataset &d, const QDate &today) {
        d.setValue(QStringLiteral("Loankeeper"), LoginSession::current().LoginName);
        d.setValue(QStringLiteral("LoanDate"), dayStart(today));
    };
    m_frame->templateName = QString::fromUtf8(BillTemplates::Loan);
}

void BillWindow::buildRepair()
{
    BillFrameSetup s;
    s.kind = BillKind::Repair;
    s.caption = s.heading = QStringLiteral("物品维修单维护");
    s.table = QStringLiteral("Asset_Service");
    s.listSql = QStringLiteral("Select * from Asset_Service where State=0 or (State>0 and ServiceDate>=:minDate and ServiceDate<=:maxDate) "
                               "order by Code");
    s.fourState = true;
    s.legend = {QStringLiteral("维修未登帐"), QStringLiteral("维修已登帐"), QStringLiteral("完成未登帐"), QStringLiteral("完成已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();
    const QStringList names = {QStringLiteral("Assetcode"), QStringLiteral("name"), QStringLiteral("Model"), QStringLiteral("Manufacturer"),
                               QStringLiteral("Makeof")};
    addItemLookups(ds, names);

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 0, Qt::AlignCenter);
    g->addColumn(QStringLiteral("name"), QStringLiteral("物品名称"), 157, Qt::AlignCenter);
    g->addColumn(QStringLiteral("ServiceDept"), QStringLiteral("维修单位"), 82);
    g->addColumn(QStringLiteral("ServiceDate"), QStringLiteral("维修日期"));

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form bill(QStringLiteral("单据信息"), m_frame->panel());
    bill.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code")), 0, 0);
    bill.add(QStringLiteral("维修日期"), e.date(QStringLiteral("ServiceDate")), 0, 1);
    bill.add(QStringLiteral("维修单位"), e.line(QStringLiteral("ServiceDept")), 1, 0, 3);
    bill.add(QStringLiteral("预计完成日期"), e.date(QStringLiteral("IntendBackDate")), 2, 0);
    auto *deliver = e.combo(QStringLiteral("Deliver"));
    bill.add(QStringLiteral("送修人员"), deliver, 2, 1);
    bill.memoBox(QStringLiteral("维修原因"), e.memo(QStringLiteral("Cause")), 3);
    m_frame->panelLayout()->addWidget(bill.box);
    m_frame->panelLayout()->addWidget(itemBox(e, names, &m_choose, m_frame->panel()), 1);
    connect(m_choose, &QToolButton::clicked, this, &BillWindow::chooseAsset);

    e.fill({deliver}, staffSql(QStringLiteral("Name")));

    m_frame->onAppend = [](Dataset &d, const QDate &today) { d.setValue(QStringLiteral("ServiceDate"), dayStart(today)); };
    m_frame->templateName = QString::fromUtf8(BillTemplates::Repair);
}

// ---------------------------------------------------------------- the two return windows

void BillWindow::buildLoanReturn()
{
    BillFrameSetup s;
    s.kind = BillKind::LoanReturn;
    s.caption = s.heading = QStringLiteral("物品归还单维护");
    s.table = QStringLiteral("Asset_Loan");
    s.listSql = QStringLiteral(
        "Select A.Id, A.Code as Code, A.AssetId, A.LoanDate, A.Loaner, A.LoanDept, A.Loankeeper, A.LoanTechState, A.IntendBackDate, "
        "A.State, A.BackDate, A.Backer, A.BackKeeper, A.BackTechState, B.Code as AssetCode, B.Name as Name, B.Model as Model, "
        "B.Manufacturer as Manufacturer, B.Makeof as Makeof from Asset_Loan A left join Asset B on A.AssetId=B.Id "
        "where A.State=1 or A.State=2 or (A.State=3 and A.LoanDate>=:minDate and A.LoanDate<=:maxDate) order by A.Code");
    s.editableStates = {1, 2};
    s.keyColumn = QStringLiteral("A.Id");
    s.fourState = true;
    s.appends = false;
    s.legend = {QStringLiteral("借出未登帐"), QStringLiteral("借出已登帐"), QStringLiteral("归还未登帐"), QStringLiteral("归还已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 0, Qt::AlignCenter);
    g->addColumn(QStringLiteral("Name"), QStringLiteral("借出的物品名称"), 157);
    g->addColumn(QStringLiteral("Loaner"), QStringLiteral("借用人员"));

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form back(QStringLiteral("归还单据信息"), m_frame->panel());
    back.add(QStringLiteral("归还日期"), e.date(QStringLiteral("BackDate")), 0, 0);
    auto *backer = e.combo(QStringLiteral("Backer"));
    back.add(QStringLiteral("归还人员"), backer, 0, 1);
    auto *keeper = e.combo(QStringLiteral("BackKeeper"));
    back.add(QStringLiteral("接收人员"), keeper, 0, 2);
    back.memoBox(QStringLiteral("归还时技术状态"), e.memo(QStringLiteral("BackTechState")), 1);
    m_frame->panelLayout()->addWidget(back.box);

    Form loan(QStringLiteral("借出单据信息"), m_frame->panel());
    loan.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code"), false), 0, 0);
    loan.add(QStringLiteral("借出日期"), e.date(QStringLiteral("LoanDate"), false), 0, 1);
    loan.add(QStringLiteral("借用部门"), e.line(QStringLiteral("LoanDept"), false), 0, 2);
    loan.add(QStringLiteral("借用人员"), e.line(QStringLiteral("Loaner"), false), 1, 0);
    loan.add(QStringLiteral("预计归还日期"), e.date(QStringLiteral("IntendBackDate"), false), 1, 1);
    loan.add(QStringLiteral("借出人员"), e.line(QStringLiteral("Loankeeper"), false), 1, 2);
    loan.add(QStringLiteral("借出时技术状态"), e.line(QStringLiteral("LoanTechState"), false), 2, 0, 3);
    m_frame->panelLayout()->addWidget(loan.box);
    m_frame->panelLayout()->addWidget(
        itemBox(e, {QStringLiteral("AssetCode"), QStringLiteral("Name"), QStringLiteral("Model"), QStringLiteral("Manufacturer"),
                    QStringLiteral("Makeof")},
                nullptr, m_frame->panel()),
        1);

    e.fill({backer, keeper}, staffSql(QStringLiteral("Code")));
}

void BillWindow::buildRepairCompletion()
{
    BillFrameSetup s;
    s.kind = BillKind::RepairCompletion;
    s.caption = QStringLiteral("物品维修完成单维护");
    s.heading = QStringLiteral("维修完成单维护");
    s.table = QStringLiteral("Asset_Service");
    s.listSql = QStringLiteral(
        "Select A.Id, A.Code as Code, A.AssetId, A.ServiceDate, A.ServiceDept, A.Deliver, A.Cause, A.IntendBackDate, A.State, "
        "A.BackDate, A.Fee, A.BackKeeper, B.Code as AssetCode, B.Name as Name, B.Model as Model, B.Manufacturer as Manufacturer, "
        "B.Makeof as Makeof from Asset_Service A left join Asset B on A.AssetId=B.Id "
        "where A.State=1 or A.State=2 or (A.State=3 and A.ServiceDate>=:minDate and A.ServiceDate<=:maxDate) order by A.Code");
    s.editableStates = {1, 2};
    s.keyColumn = QStringLiteral("A.Id");
    s.fourState = true;
    s.appends = false;
    s.legend = {QStringLiteral("维修未登帐"), QStringLiteral("维修已登帐"), QStringLiteral("完成未登帐"), QStringLiteral("完成已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral("维修单号"), 0, Qt::AlignCenter);
    g->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 157, Qt::AlignCenter);
    g->addColumn(QStringLiteral("ServiceDept"), QStringLiteral("维修单位"));
    g->addColumn(QStringLiteral("ServiceDate"), QStringLiteral("维修日期"));

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form back(QStringLiteral("物品维修完成单据信息"), m_frame->panel());
    back.add(QStringLiteral("完成日期"), e.date(QStringLiteral("BackDate")), 0, 0);
    back.add(QStringLiteral("维修费用"), e.line(QStringLiteral("Fee")), 0, 1);
    auto *keeper = e.combo(QStringLiteral("BackKeeper"));
    back.add(QStringLiteral("接收人员"), keeper, 0, 2);
    m_frame->panelLayout()->addWidget(back.box);

    Form rep(QStringLiteral("物品维修单据信息"), m_frame->panel());
    rep.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code"), false), 0, 0);
    rep.add(QStringLiteral("维修日期"), e.date(QStringLiteral("ServiceDate"), false), 0, 1);
    rep.add(QStringLiteral("维修单位"), e.line(QStringLiteral("ServiceDept"), false), 0, 2);
    rep.add(QStringLiteral("预计完成日期"), e.date(QStringLiteral("IntendBackDate"), false), 1, 0);
    rep.add(QStringLiteral("送修人员"), e.line(QStringLiteral("Deliver"), false), 1, 1);
    rep.memoBox(QStringLiteral("维修原因"), e.memo(QStringLiteral("Cause"), false), 2);
    m_frame->panelLayout()->addWidget(rep.box);
    m_frame->panelLayout()->addWidget(
        itemBox(e, {QStringLiteral("AssetCode"), QStringLiteral("Name"), QStringLiteral("Model"), QStringLiteral("Manufacturer"),
                    QStringLiteral("Makeof")},
                nullptr, m_frame->panel()),
        1);

    e.fill({keeper}, staffSql(QStringLiteral("Code")));
}

// ---------------------------------------------------------------- transfer

void BillWindow::buildTransfer()
{
    BillFrameSetup s;
    s.kind = BillKind::Transfer;
    s.caption = s.heading = QStringLiteral("物品调拨单维护");
    s.table = QStringLiteral("Asset_Move");
    s.listSql = QStringLiteral("Select * from Asset_Move where State=0 or (State=1 and BuildDate>=:minDate and BuildDate<=:maxDate) "
                               "order by Code");
    s.legend = {QStringLiteral("调拨单未登帐"), QStringLiteral("调拨单已登帐")};
    m_frame = new BillFrame(m_conn, s, this);
    Dataset *ds = m_frame->list();

    m_lines = new Dataset(m_conn, this);
    m_lines->setTable(QStringLiteral("Asset_Move_Item"));
    addItemLookups(m_lines, {QStringLiteral("Assetcode"), QStringLiteral("Name"), QStringLiteral("Model"), QStringLiteral("Manufacturer"),
                             QStringLiteral("Makeof")});
    m_lines->open();
    m_lines->setSort(QStringLiteral("Id"));
    m_lines->setMasterByKeys(ds, {QStringLiteral("MoveId")}, {QStringLiteral("Id")});
    m_frame->addDetail(m_lines);

    DataGrid *g = m_frame->grid();
    g->addColumn(QStringLiteral("Code"), QStringLiteral("单据编号"), 0, Qt::AlignCenter);
    g->addColumn(QStringLiteral("ToDept"), QStringLiteral("调入部门"), 207, Qt::AlignCenter);

    Editors e{this, m_frame, ds, m_editorOf, m_lists};
    Form bill(QStringLiteral("单据信息"), m_frame->panel());
    bill.add(QStringLiteral("单据编号"), e.line(QStringLiteral("Code")), 0, 0);
    bill.add(QStringLiteral("调拨日期"), e.date(QStringLiteral("MoveDate")), 0, 1);
    auto *fromDept = e.combo(QStringLiteral("FromDept"));
    bill.add(QStringLiteral("调出部门"), fromDept, 1, 0);
    auto *fromMgr = e.combo(QStringLiteral("FromMgr"));
    bill.add(QStringLiteral("调出部门经手人"), fromMgr, 1, 1);
    auto *toDept = e.combo(QStringLiteral("ToDept"));
    bill.add(QStringLiteral("调入部门"), toDept, 2, 0);
    auto *toMgr = e.combo(QStringLiteral("ToMgr"));
    bill.add(QStringLiteral("调入部门经手人"), toMgr, 2, 1);
    auto *manager = e.combo(QStringLiteral("Manager"));
    bill.add(QStringLiteral("批准人员"), manager, 3, 0);
    auto *controller = e.combo(QStringLiteral("Controller"));
    bill.add(QStringLiteral("制单人员"), controller, 3, 1);
    bill.add(QStringLiteral("制单日期"), e.date(QStringLiteral("BuildDate")), 3, 2);
    bill.memoBox(QStringLiteral("备注"), e.memo(QStringLiteral("Summary")), 4);
    m_frame->panelLayout()->addWidget(bill.box);

    // "调拨物品明细": the lines, with their two buttons on the caption line.
    auto *linesBox = new QGroupBox(QStringLiteral("调拨物品明细"), m_frame->panel());
    auto *lb = new QVBoxLayout(linesBox);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    m_addLine = UiLook::iconButton(QStringLiteral("增加调拨资产"), UiLook::buttonIcon(QStringLiteral("增加")), linesBox);
    m_addLine->setObjectName(QStringLiteral("AddMoveBtn"));
    m_delLine = UiLook::iconButton(QStringLiteral("删除调拨资产"), UiLook::buttonIcon(QStringLiteral("删除")), linesBox);
    m_delLine->setObjectName(QStringLiteral("DelMoveBtn"));
    buttons->addWidget(m_addLine);
    buttons->addWidget(m_delLine);
    lb->addLayout(buttons);
    m_frame->addStateButton(m_addLine);
    m_frame->addStateButton(m_delLine);
    auto *tabs = new QTabWidget(linesBox);
    m_linesGrid = new DataGrid(m_lines, tabs);
    m_linesGrid->setObjectName(QStringLiteral("AssetMoveItemDBGridEh"));
    m_linesGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    UiLook::applyDataAreaLook(m_linesGrid);
    m_linesGrid->addColumn(QStringLiteral("Assetcode"), QStringLiteral("物品编号"), 147, Qt::AlignCenter);
    m_linesGrid->addColumn(QStringLiteral("Name"), QStringLiteral("物品名称"), 162, Qt::AlignCenter);
    m_linesGrid->addColumn(QStringLiteral("Model"), QStringLiteral("规格型号"), 112, Qt::AlignCenter);
    m_linesGrid->addColumn(QStringLiteral("Makeof"), QStringLiteral("详细配置"), 225);
    m_linesGrid->addColumn(QStringLiteral("Manufacturer"), QStringLiteral("生产厂商"), 148);
    tabs->addTab(m_linesGrid, QStringLiteral("物品列表"));

    auto *detail = new QWidget(tabs);
    UiLook::applyDataAreaLook(detail);
    auto *dl = new QVBoxLayout(detail);
    Editors le{this, m_frame, m_lines, m_editorOf, m_lists};
    Form line(QString(), detail);
    auto *place = new BoundComboBox(m_lines, QStringLiteral("Place"));
    auto *keeper = new BoundComboBox(m_lines, QStringLiteral("keeper"));
    auto *tech = new BoundLineEdit(m_lines, QStringLiteral("TechnicalState"));
    for (QWidget *w : std::initializer_list<QWidget *>{place, keeper, tech})
        m_lineEditors.push_back(w);
    m_editorOf.insert(QStringLiteral("place"), place);
    m_editorOf.insert(QStringLiteral("keeper"), keeper);
    m_editorOf.insert(QStringLiteral("technicalstate"), tech);
    line.add(QStringLiteral("存放位置"), place, 0, 0);
    line.add(QStringLiteral("调入部门保管员"), keeper, 0, 1);
    line.add(QStringLiteral("技术状态"), tech, 1, 0, 2);
    line.add(QStringLiteral("物品编号"), le.line(QStringLiteral("Assetcode"), false), 2, 0);
    line.add(QStringLiteral("物品名称"), le.line(QStringLiteral("Name"), false), 2, 1);
    line.add(QStringLiteral("规格型号"), le.line(QStringLiteral("Model"), false), 3, 0);
    line.add(QStringLiteral("生产厂商"), le.line(QStringLiteral("Manufacturer"), false), 3, 1);
    line.memoBox(QStringLiteral("详细配置"), le.memo(QStringLiteral("Makeof"), false), 4);
    dl->addWidget(line.box);
    tabs->addTab(detail, QStringLiteral("物品明细"));
    lb->addWidget(tabs, 1);
    m_frame->panelLayout()->addWidget(linesBox, 1);
    for (QWidget *w : m_lineEditors)
        UiLook::applyEditorLook(w);

    e.fill({place}, QStringLiteral("select Name from Positions"));
    e.fill({fromDept, toDept}, QStringLiteral("select Name from Department order by Code"));
    e.fill({fromMgr, toMgr, keeper, manager, controller}, staffSql(QStringLiteral("Name")));

    connect(m_addLine, &QToolButton::clicked, this, &BillWindow::addLine);
    connect(m_delLine, &QToolButton::clicked, this, &BillWindow::removeLine);
    connect(m_lines, &Dataset::currentRowChanged, this, &BillWindow::updateLineEditors);
    connect(m_lines, &Dataset::layoutReset, this, &BillWindow::updateLineEditors);
    m_frame->onStateChanged = [this](bool) { updateLineEditors(); };

    m_frame->onAppend = [this](Dataset &d, const QDate &today) {
        // The Id is chosen now so that lines can name the bill before it is
        // saved; it never repeats a bill in the list or in the table.
        qint64 id = 0;
        for (int tries = 0; tries < 100 && id == 0; ++tries) {
            const qint64 candidate = 1 + QRandomGenerator::global()->bounded(2147483646);
            if (d.findStorageRow(d.fieldIndex(QStringLiteral("Id")), candidate) >= 0)
                continue;
            if (m_conn->scalar(QStringLiteral("select count(*) from Asset_Move where Id=?"), QVariantList{candidate}).toInt() > 0)
                continue;
            id = candidate;
        }
        if (id == 0)
            throw DataError(QStringLiteral("无法为调拨单分配编号！"));
        d.setValue(QStringLiteral("Id"), id);
        d.setValue(QStringLiteral("Controller"), LoginSession::current().LoginName);
        d.setValue(QStringLiteral("MoveDate"), dayStart(today));
        d.setValue(QStringLiteral("BuildDate"), dayStart(today));
    };
    m_frame->onDelete = [this](Dataset &) {
        while (!m_lines->isEmpty()) {
            m_lines->first();
            m_lines->remove();
        }
    };
    m_frame->templateName = QString::fromUtf8(BillTemplates::Transfer);
}

void BillWindow::updateLineEditors()
{
    if (!m_lines)
        return;
    const bool on = m_frame->currentEditable() && !m_lines->isEmpty();
    for (QWidget *w : m_lineEditors)
        w->setEnabled(on);
}

void BillWindow::addLine()
{
    Dataset *ds = list();
    if (!m_lines || !ds->isOpen() || ds->isEmpty() || !m_frame->currentEditable() || !m_lines->isOpen() || !pickAsset)
        return;
    const std::optional<qint64> id = pickAsset();
    if (!id)
        return;
    try {
        ds->post();
        m_assets->requery();
        m_frame->holdCurrent();
        m_lines->append();
        m_lines->setValue(QStringLiteral("MoveId"), ds->value(QStringLiteral("Id")));
        m_lines->setValue(QStringLiteral("AssetId"), *id);
        m_lines->post();
    } catch (const DataError &e) {
        m_lines->cancel();
        Prompter::instance().information(e.message(), QString(), this);
    }
    updateLineEditors();
}

void BillWindow::removeLine()
{
    Dataset *ds = list();
    if (!m_lines || !ds->isOpen() || ds->isEmpty() || !m_frame->currentEditable() || m_lines->isEmpty())
        return;
    m_frame->holdCurrent();
    m_lines->remove();
    updateLineEditors();
}

// ---------------------------------------------------------------- print-outs

std::unique_ptr<ReportData> BillWindow::printRows(ReportVariables &vars) const
{
    Dataset *ds = list();
    auto rows = std::make_unique<RowsReportData>();
    if (ds->isEmpty())
        return rows;
    const int cur = ds->currentRow();
    if (m_kind == BillKind::Transfer) {
        // The header's fields are variables; one row per line of the bill.
        for (int f = 0; f < ds->fieldCount(); ++f)
            vars.values.insert(ds->field(f).name, ds->valueAt(cur, f));
        QStringList fields;
        for (int f = 0; f < m_lines->fieldCount(); ++f)
            fields << m_lines->field(f).name;
        rows->setFields(fields);
        for (int r = 0; r < m_lines->recordCount(); ++r) {
            QVariantList row;
            for (int f = 0; f < m_lines->fieldCount(); ++f)
                row << m_lines->valueAt(r, f);
            rows->append(row);
        }
        return rows;
    }
    QStringList fields;
    QVariantList row;
    for (int f = 0; f < ds->fieldCount(); ++f) {
        fields << ds->field(f).name;
        row << ds->valueAt(cur, f);
    }
    rows->setFields(fields);
    rows->append(row);
    return rows;
}
