#include "data/schema.h"
#include "data/connection.h"
#include "data/errors.h"

#include <QDateTime>

const ColumnDef *TableDef::column(const QString &name) const
{
    for (const ColumnDef &c : columns)
        if (c.name.compare(name, Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

namespace {

using T = ColumnType;

ColumnDef text(const char *name, int width, const char *label = "")
{
    return {QString::fromLatin1(name), T::Text, width, QString::fromUtf8(label)};
}
ColumnDef col(const char *name, ColumnType type, const char *label = "")
{
    return {QString::fromLatin1(name), type, 0, QString::fromUtf8(label)};
}

std::vector<TableDef> buildTables()
{
    std::vector<TableDef> t;

    t.push_back({QStringLiteral("Asset"), {
        col("Id", T::AutoNumber),
        text("Code", 30, "物品编号"),
        text("Name", 60, "物品名称"),
        col("Add_Id", T::Long),
        text("Type", 20, "物品分类"),
        text("Unit", 10, "计量单位"),
        col("Price", T::Double, "物品原值"),
        text("Model", 20, "规格型号"),
        text("Manufacturer", 50, "生产厂商"),
        col("ManufactureDate", T::Date, "生产日期"),
        col("BuyDate", T::Date, "采购日期"),
        col("BuildDate", T::Date, "建档日期"),
        text("Firm", 50, "供应厂商"),
        text("Transactor", 10, "经办人员"),
        text("AppType", 20, "增加方式"),
        col("NumberofYear", T::Integer, "折旧年限[月]"),
        text("Makeof", 255, "详细配置"),
        text("Place", 60, "存放位置"),
        text("Department", 50, "使用部门"),
        text("keeper", 10, "保管人员"),
        text("User", 10, "使用人员"),
        col("State", T::Byte),
        text("TechnicalState", 50, "技术状态"),
        text("Summary", 255, "备注"),
        col("DiscardDate", T::Date, "销账日期"),
        col("spare", T::Double, "残值率[%]"),
        col("DepreType", T::Byte, "折旧方式"),
        text("DecType", 20, "销账方式"),
        text("DiscardCause", 100, "销账原因"),
        text("ManufactureCode", 20, "出厂编号"),
    }, {QStringLiteral("Type"), QStringLiteral("State"), QStringLiteral("Code"), QStringLiteral("BuyDate"), QStringLiteral("DiscardDate"),
        // the category summary reads only these columns: one pass over the index
        QStringLiteral("Type,BuyDate,DiscardDate,Price"),
        // an acquisition's tally numbers its items from the codes of their category
        QStringLiteral("Type,Code")}});

    t.push_back({QStringLiteral("Asset_Add"), {
        col("Id", T::AutoNumber),
        text("Code", 12, "单据编号"),
        text("Transactor", 10, "经办人员"),
        text("Checker", 20, "验收人员"),
        text("Controller", 10, "制单人员"),
        col("BuildDate", T::Date, "制单日期"),
        text("Type", 20, "物品类型"),
        text("Name", 50, "物品名称"),
        text("Unit", 10, "计量单位"),
        col("Price", T::Double, "物品原值"),
        text("Model", 20, "规格型号"),
        text("Manufacturer", 50, "生产厂商"),
        col("ManufactureDate", T::Date, "生产日期"),
        col("BuyDate", T::Date, "购置日期"),
        text("Firm", 50, "供应厂商"),
        col("NumberofYear", T::Byte),
        text("Makeof", 255, "详细配置"),
        text("AppType", 20, "增加方式"),
        col("AddNumber", T::Integer, "增加数量"),
        col("State", T::Byte),
        text("ManufactureCode", 20, "出厂编号"),
    }, {QStringLiteral("Code"), QStringLiteral("BuildDate"), QStringLiteral("State")}});

    t.push_back({QStringLiteral("Asset_Move"), {
        col("Id", T::Long),
        text("Code", 12, "单据编号"),
        col("MoveDate", T::Date, "调拨日期"),
        text("FromDept", 50, "调出部门"),
        text("FromMgr", 10, "调出部门经手人"),
        text("ToDept", 50, "调入部门"),
        text("ToMgr", 10, "调入部门经手人"),
        text("Controller", 10, "制单人员"),
        col("BuildDate", T::Date, "制单日期"),
        text("Manager", 10, "批准人员"),
        text("Summary", 200, "备注"),
        col("State", T::Byte),
    }, {QStringLiteral("Code"), QStringLiteral("BuildDate"), QStringLiteral("MoveDate"), QStringLiteral("State")}});

    t.push_back({QStringLiteral("Asset_Move_Item"), {
        col("Id", T::AutoNumber),
        col("MoveId", T::Long),
        col("AssetId", T::Long),
        text("keeper", 10, "调入部门保管员"),
        text("Place", 40, "存放位置"),
        text("TechnicalState", 60, "技术状态"),
    }, {QStringLiteral("MoveId"), QStringLiteral("AssetId")}});

    t.push_back({QStringLiteral("Asset_Loan"), {
        col("Id", T::AutoNumber),
        text("Code", 12, "单据编号"),
        col("AssetId", T::Long),
        col("LoanDate", T::Date, "借出日期"),
        text("Loaner", 10, "借用人员"),
        text("LoanDept", 50, "借用部门"),
        text("Loankeeper", 10, "借出人员"),
        text("LoanTechState", 60, "借出时技术状态"),
        col("IntendBackDate", T::Date, "预计归还日期"),
        col("BackDate", T::Date, "实际归还日期"),
        text("Backer", 10, "归还人员"),
        text("BackKeeper", 10, "接收人员"),
        text("BackTechState", 60, "归还时技术状态"),
        col("State", T::Byte),
    }, {QStringLiteral("Code"), QStringLiteral("LoanDate"), QStringLiteral("AssetId"), QStringLiteral("State")}});

    t.push_back({QStringLiteral("Asset_Service"), {
        col("Id", T::AutoNumber),
        text("Code", 12, "单据编号"),
        col("AssetId", T::Long),
        col("ServiceDate", T::Date, "维修日期"),
        text("ServiceDept", 50, "维修单位"),
        text("Deliver", 10, "送修人员"),
        text("Cause", 100, "维修原因"),
        col("IntendBackDate", T::Date, "预计完成日期"),
        col("BackDate", T::Date, "实际完成日期"),
        col("Fee", T::Double, "维修费用"),
        text("BackKeeper", 10, "接收人员"),
        col("State", T::Byte),
    }, {QStringLiteral("Code"), QStringLiteral("ServiceDate"), QStringLiteral("AssetId"), QStringLiteral("State")}});

    t.push_back({QStringLiteral("Asset_Discard"), {
        col("Id", T::AutoNumber),
        text("Code", 12, "单据编号"),
        col("AssetId", T::Long),
        text("DecType", 20, "销账方式"),
        col("DecDate", T::Date, "销账日期"),
        text("Cause", 100, "销账原因"),
        text("Manager", 10, "批准人员"),
        text("Transactor", 10, "经办人员"),
        text("Controller", 10, "制单人员"),
        col("BuildDate", T::Date, "制单日期"),
        col("State", T::Byte),
    }, {QStringLiteral("Code"), QStringLiteral("BuildDate"), QStringLiteral("DecDate"), QStringLiteral("AssetId"), QStringLiteral("State")}});

    TableDef assetType{QStringLiteral("AssetType"), {
        text("Id", 20),
        text("Code", 20, "资产分类代码"),
        text("Name", 50, "资产分类名称"),
        text("Parent_Id", 20),
    }, {QStringLiteral("Parent_Id")}};
    t.push_back(assetType);

    t.push_back({QStringLiteral("Department"), {
        text("Id", 20),
        text("Code", 20, "部门编号"),
        text("Name", 40, "部门名称"),
        text("Parent_Id", 20),
        text("Summary", 255, "部门描述"),
    }, {QStringLiteral("Parent_Id")}});

    t.push_back({QStringLiteral("Staffer"), {
        col("Id", T::AutoNumber),
        text("Code", 20, "职员编号"),
        text("IdCard", 18),
        text("Name", 10, "姓名"),
        text("Dept_Id", 20, "所属部门"),
        text("Sex", 2, "性别"),
        text("Married", 20, "婚姻状况"),
        col("Birthday", T::Date, "出生日期"),
        text("Politically", 10, "政治面目"),
        col("Height", T::Double, "身高"),
        col("Heft", T::Double, "体重"),
        text("Health", 20, "健康状况"),
        text("Old_Add", 60, "籍贯"),
        text("Place_Add", 60, "家庭住址"),
        text("Letter_Add", 60, "通讯地址"),
        text("Postalcode", 6, "邮政编码"),
        text("Place_Tel_NO", 20, "家庭电话"),
        text("Mobile_Tel_No", 20, "移动电话"),
        text("Office_Tel_No", 20, "办公电话"),
        text("Email", 30, "邮箱"),
        text("Educate_Level", 20, "最终学历"),
        text("School_Name", 40, "毕业学校"),
        text("Title", 20, "职称"),
        col("Educate_Summary", T::Memo, "教育经历"),
        col("Work_Summary", T::Memo, "工作简历"),
        col("Rwd_Push_Summary", T::Memo, "奖惩记录"),
        col("Result_Summary", T::Memo, "主要业绩"),
        col("Skill_Summary", T::Memo, "技术特长"),
        col("Photo", T::Picture),
        col("czqx", T::Byte, "操作权限"),
        // Wide enough for an Argon2id hash string.
        text("Pass", 255, "登录密码"),
    }, {QStringLiteral("Code"), QStringLiteral("Dept_Id")}});

    struct Code { const char *name; int width; const char *label; };
    const Code codes[] = {{"Units", 10, "计量单位"}, {"Positions", 60, "存放位置"}, {"AddMode", 20, "增加方式"},
                          {"DecMode", 20, "销账方式"}, {"Factory", 40, "制造厂商"}, {"Firm", 40, "供应厂商"}};
    for (const Code &c : codes)
        t.push_back({QString::fromLatin1(c.name), {col("Id", T::AutoNumber), text("Name", c.width, c.label)}, {}});

    t.push_back({QStringLiteral("PopedomItem"), {col("Id", T::Integer), text("Name", 20, "操作权限")}, {}});
    t.push_back({QStringLiteral("Depreciate"), {col("Id", T::AutoNumber)}, {}});
    t.push_back({QStringLiteral("SchemaVersion"), {col("Version", T::Integer), col("Applied", T::Date)}, {}, QString()});
    return t;
}

QString columnDdl(const Dialect &d, const ColumnDef &c, bool primary)
{
    const QString name = d.quote(c.name);
    switch (c.type) {
    case T::AutoNumber:
        return name + QLatin1Char(' ') + d.autoNumberType();
    case T::Long:
        return name + QStringLiteral(" INTEGER") + (primary ? QStringLiteral(" PRIMARY KEY") : QString());
    case T::Integer:
        return name + QLatin1Char(' ') + d.smallIntType() + (primary ? QStringLiteral(" PRIMARY KEY") : QString())
            + QStringLiteral(" CHECK (%1 BETWEEN -32768 AND 32767)").arg(name);
    case T::Byte:
        return name + QLatin1Char(' ') + d.smallIntType() + QStringLiteral(" CHECK (%1 BETWEEN 0 AND 255)").arg(name);
    case T::Double:
        return name + QLatin1Char(' ') + d.doubleType();
    case T::Date:
        return name + QLatin1Char(' ') + d.dateType();
    case T::Text: {
        QString s = name + QStringLiteral(" VARCHAR(%1)").arg(c.width);
        if (primary)
            s += QStringLiteral(" PRIMARY KEY");
        if (d.isSqlite())
            s += QStringLiteral(" CHECK (length(%1) <= %2)").arg(name).arg(c.width);
        return s;
    }
    case T::Memo:
        return name + QStringLiteral(" TEXT");
    case T::Picture:
        return name + QLatin1Char(' ') + d.blobType();
    }
    return name;
}

} // namespace

namespace Schema {

const std::vector<TableDef> &tables()
{
    static const std::vector<TableDef> all = buildTables();
    return all;
}

const TableDef *table(const QString &name)
{
    for (const TableDef &t : tables())
        if (t.name.compare(name, Qt::CaseInsensitive) == 0)
            return &t;
    return nullptr;
}

const ColumnDef *column(const QString &tableName, const QString &columnName)
{
    if (const TableDef *t = table(tableName))
        return t->column(columnName);
    return nullptr;
}

QStringList rightsLevelNames()
{
    return {QStringLiteral("无权限"), QStringLiteral("查询统计"), QStringLiteral("单据处理"), QStringLiteral("系统管理")};
}

QString adminCode() { return QStringLiteral("Admin"); }

// One index per entry: a column, or several separated by commas.
QStringList indexStatements(const Dialect &d, const TableDef &t)
{
    QStringList out;
    for (const QString &ix : t.indexes) {
        const QStringList cols = ix.split(QLatin1Char(','));
        QStringList quoted;
        for (const QString &c : cols)
            quoted << d.quote(c);
        out << QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (%3)")
                   .arg(d.quote(QStringLiteral("ix_%1_%2").arg(t.name, cols.join(QLatin1Char('_')))), d.quote(t.name), quoted.join(QLatin1Char(',')));
    }
    return out;
}

QStringList createStatements(const Connection &conn)
{
    const Dialect &d = conn.dialect();
    QStringList out;
    for (const TableDef &t : tables()) {
        QStringList cols;
        for (const ColumnDef &c : t.columns)
            cols << columnDdl(d, c, !t.primaryKey.isEmpty() && c.name == t.primaryKey);
        out << QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(d.quote(t.name), cols.join(QStringLiteral(",\n  ")));
        out << indexStatements(d, t);
    }
    return out;
}

State inspect(Connection &conn)
{
    const QStringList existing = conn.tables();
    if (existing.isEmpty())
        return State::Empty;
    for (const QString &t : existing)
        if (t.compare(QLatin1String("SchemaVersion"), Qt::CaseInsensitive) == 0)
            return State::Zentrav;
    return State::Foreign;
}

int storedVersion(Connection &conn)
{
    return conn.scalar(QStringLiteral("SELECT max(%1) FROM %2").arg(conn.quote(QStringLiteral("Version")), conn.quote(QStringLiteral("SchemaVersion")))).toInt();
}

static void seed(Connection &conn)
{
    const QStringList levels = rightsLevelNames();
    for (int i = 0; i < levels.size(); ++i)
        conn.exec(QStringLiteral("INSERT INTO %1 (%2,%3) VALUES (?,?)")
                      .arg(conn.quote(QStringLiteral("PopedomItem")), conn.quote(QStringLiteral("Id")), conn.quote(QStringLiteral("Name"))),
                  QVariantList{i, levels.at(i)});
    conn.exec(QStringLiteral("INSERT INTO %1 (%2,%3,%4,%5) VALUES (?,?,?,?)")
                  .arg(conn.quote(QStringLiteral("Staffer")), conn.quote(QStringLiteral("Code")), conn.quote(QStringLiteral("Name")),
                       conn.quote(QStringLiteral("czqx")), conn.quote(QStringLiteral("Pass"))),
              QVariantList{adminCode(), QStringLiteral("系统管理员"), 3, QString(QLatin1String(""))});
}

void create(Connection &conn)
{
    conn.useWriteAheadLog();
    Transaction tx(conn);
    for (const QString &sql : createStatements(conn))
        conn.exec(sql);
    seed(conn);
    conn.exec(QStringLiteral("INSERT INTO %1 (%2,%3) VALUES (?,?)")
                  .arg(conn.quote(QStringLiteral("SchemaVersion")), conn.quote(QStringLiteral("Version")), conn.quote(QStringLiteral("Applied"))),
              QVariantList{CurrentVersion, QDateTime::currentDateTime()});
    tx.commit();
}

void upgrade(Connection &conn)
{
    const int from = storedVersion(conn);
    if (from > CurrentVersion)
        throw DataError(QStringLiteral("数据库版本（%1）比本程序支持的版本（%2）新，请升级程序。").arg(from).arg(CurrentVersion));
    if (from == CurrentVersion)
        return;
    Transaction tx(conn);
    // Ordered upgrade steps: step N takes a register from version N-1 to N.
    if (from < 3) {
        // 2: indexes for the statistical lists (write-off date; the summary's columns).
        // 3: an index on category and item code, read by an acquisition's tally.
        for (const TableDef &t : tables())
            for (const QString &sql : indexStatements(conn.dialect(), t))
                conn.exec(sql);
    }
    conn.exec(QStringLiteral("INSERT INTO %1 (%2,%3) VALUES (?,?)")
                  .arg(conn.quote(QStringLiteral("SchemaVersion")), conn.quote(QStringLiteral("Version")), conn.quote(QStringLiteral("Applied"))),
              QVariantList{CurrentVersion, QDateTime::currentDateTime()});
    tx.commit();
}

void ensure(Connection &conn)
{
    switch (inspect(conn)) {
    case State::Missing:
    case State::Empty:
        create(conn);
        break;
    case State::Zentrav:
        conn.useWriteAheadLog();
        upgrade(conn);
        break;
    case State::Foreign:
        throw DataError(QStringLiteral("该数据库不是 Zentrav 数据库：%1").arg(conn.params().describe()));
    }
}

} // namespace Schema
