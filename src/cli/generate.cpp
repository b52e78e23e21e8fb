// zentrav-cli generate --db FILE --items N [--bills M] [--seed S]
//
// A synthetic register for benchmarks and trials: a category tree three
// levels deep, departments, staff, code tables, items spread over categories
// and states, and bills of every kind in every state over several years.
// The same seed gives the same register. Rows go in through prepared sqlite3
// statements in one transaction, so a million items take seconds.
#include "cli/commands.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHash>
#include <QTextStream>
#include <random>
#include <sqlite3.h>
#include <vector>

namespace {

class Statement {
public:
    Statement(sqlite3 *db, const char *sql) : m_db(db)
    {
        if (sqlite3_prepare_v2(db, sql, -1, &m_st, nullptr) != SQLITE_OK)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(db)));
    }
    ~Statement() { sqlite3_finalize(m_st); }
    Statement &text(const QByteArray &v)
    {
        sqlite3_bind_text(m_st, ++m_i, v.constData(), int(v.size()), SQLITE_TRANSIENT);
        return *this;
    }
    Statement &text(const char *v)
    {
        sqlite3_bind_text(m_st, ++m_i, v, -1, SQLITE_STATIC);
        return *this;
    }
    Statement &integer(qint64 v)
    {
        sqlite3_bind_int64(m_st, ++m_i, v);
        return *this;
    }
    Statement &real(double v)
    {
        sqlite3_bind_double(m_st, ++m_i, v);
        return *this;
    }
    Statement &null()
    {
        sqlite3_bind_null(m_st, ++m_i);
        return *this;
    }
    Statement &date(const QDate &d) { return d.isValid() ? text(d.toString(QStringLiteral("yyyy-MM-dd 00:00:00")).toLatin1()) : null(); }
    qint64 run()
    {
        if (sqlite3_step(m_st) != SQLITE_DONE)
            throw DataError(QString::fromUtf8(sqlite3_errmsg(m_db)));
        sqlite3_reset(m_st);
        m_i = 0;
        return sqlite3_last_insert_rowid(m_db);
    }

private:
    sqlite3 *m_db;
    sqlite3_stmt *m_st = nullptr;
    int m_i = 0;
};

const char *const Units[] = {"台", "件", "套", "张", "把", "个"};
const char *const Positions[] = {"一楼库房", "二楼办公室", "三楼301室", "三楼机房", "四楼会议室", "地下仓库"};
const char *const AddModes[] = {"购入", "调入", "捐赠", "自制"};
const char *const DecModes[] = {"报废", "调出", "丢失", "出售"};
const char *const Factories[] = {"联想集团", "华为技术", "海尔集团", "得力文具", "格力电器", "惠普公司"};
const char *const Firms[] = {"北京某某科技有限公司", "上海某某贸易公司", "广州某某办公设备公司", "本地供应站"};
const char *const Kinds[] = {"计算机", "打印机", "办公桌", "文件柜", "空调", "投影仪", "复印机", "电话机", "沙发", "书架", "相机", "服务器"};
const char *const Sub[] = {"甲型", "乙型", "丙型", "丁型", "戊型", "己型", "庚型"};
const char *const Surnames[] = {"张", "王", "李", "赵", "刘", "陈", "杨", "黄", "周", "吴"};
const char *const Given[] = {"伟", "芳", "娜", "敏", "静", "强", "磊", "洋", "艳", "军", "杰", "勇"};
const char *const Depts[] = {"财务部", "人事部", "信息中心", "行政办公室", "后勤保障部", "市场部"};
const char *const SubDepts[] = {"一科", "二科", "三科"};
const char *const Techs[] = {"良好", "完好", "一般", "待修"};

QByteArray hex2(int v) { return QByteArray::number(v, 16).toUpper().rightJustified(2, '0'); }

struct Generator {
    sqlite3 *db;
    std::mt19937_64 rng;
    QDate today;
    QHash<QByteArray, int> daySeq; // table + day -> last sequence
    std::vector<QByteArray> leafTypes, deptNames, staffNames;

    int pick(int n) { return int(rng() % quint64(n)); }
    template <size_t N> const char *any(const char *const (&a)[N]) { return a[pick(int(N))]; }
    QDate dayWithin(int years) { return today.addDays(-pick(365 * years)); }
    QByteArray billCode(const char *table, const QDate &d)
    {
        const QByteArray day = d.toString(QStringLiteral("yyyyMMdd")).toLatin1();
        const int n = ++daySeq[QByteArray(table) + day];
        return day + QByteArray::number(n).rightJustified(2, '0');
    }

    void reference()
    {
        for (const auto &[table, names, count] : {std::tuple{"Units", Units, 6}, std::tuple{"Positions", Positions, 6},
                                                  std::tuple{"AddMode", AddModes, 4}, std::tuple{"DecMode", DecModes, 4},
                                                  std::tuple{"Factory", Factories, 6}, std::tuple{"Firm", Firms, 4}}) {
            Statement s(db, QStringLiteral("INSERT INTO %1 (Name) VALUES (?)").arg(QLatin1String(table)).toUtf8().constData());
            for (int i = 0; i < count; ++i)
                s.text(names[i]).run();
        }
        Statement type(db, "INSERT INTO AssetType (Id, Code, Name, Parent_Id) VALUES (?,?,?,?)");
        type.text("00").text("00").text("全部分类").null().run();
        for (int k = 0; k < 12; ++k) {
            const QByteArray id = "00" + hex2(k + 1);
            type.text(id).text(id.mid(2)).text(Kinds[k]).text("00").run();
            for (int j = 0; j < 7; ++j) {
                const QByteArray leaf = id + hex2(j + 1);
                type.text(leaf).text(leaf.mid(2)).text(QByteArray(Sub[j]) + Kinds[k]).text(id).run();
                leafTypes.push_back(leaf);
            }
        }
        Statement dept(db, "INSERT INTO Department (Id, Code, Name, Parent_Id, Summary) VALUES (?,?,?,?,?)");
        dept.text("00").text("00").text("本单位").null().text("").run();
        std::vector<QByteArray> deptIds;
        for (int k = 0; k < 6; ++k) {
            const QByteArray id = "00" + hex2(k + 1);
            dept.text(id).text(id).text(Depts[k]).text("00").text("").run();
            deptNames.push_back(Depts[k]);
            for (int j = 0; j < 3; ++j) {
                const QByteArray sub = id + hex2(j + 1);
                const QByteArray name = QByteArray(Depts[k]) + SubDepts[j];
                dept.text(sub).text(sub).text(name).text(id).text("").run();
                deptNames.push_back(name);
                deptIds.push_back(sub);
            }
        }
        Statement staff(db, "INSERT INTO Staffer (Code, Name, Dept_Id, Sex, czqx, Pass) VALUES (?,?,?,?,?,'')");
        for (int i = 0; i < 200; ++i) {
            const QByteArray name = QByteArray(Surnames[i % 10]) + Given[(i / 10) % 12] + (i >= 120 ? Given[i % 12] : "");
            staff.text("S" + QByteArray::number(i + 1).rightJustified(4, '0')).text(name).text(deptIds[size_t(pick(int(deptIds.size())))])
                .text(i % 2 ? "女" : "男").integer(1 + pick(3)).run();
            staffNames.push_back(name);
        }
    }

    // Items, and the acquisition bills that brought them in.
    std::vector<std::pair<qint64, int>> items(int n) // id, state
    {
        Statement bill(db, "INSERT INTO Asset_Add (Code, Transactor, Checker, Controller, BuildDate, Type, Name, Unit, Price, Model, "
                           "Manufacturer, BuyDate, Firm, Makeof, AppType, AddNumber, State) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,1)");
        Statement item(db, "INSERT INTO Asset (Code, Name, Add_Id, Type, Unit, Price, Model, Manufacturer, ManufactureDate, BuyDate, "
                           "BuildDate, Firm, Transactor, AppType, NumberofYear, Makeof, Place, Department, keeper, \"User\", State, "
                           "TechnicalState, Summary, DiscardDate, spare, DepreType, DecType, DiscardCause, ManufactureCode) "
                           "VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
        std::vector<std::pair<qint64, int>> out;
        out.reserve(size_t(n));
        QHash<QByteArray, int> seq;
        int made = 0;
        while (made < n) {
            const QByteArray type = leafTypes[size_t(pick(int(leafTypes.size())))];
            const int batch = std::min(n - made, 1 + pick(20));
            const QDate bought = dayWithin(10);
            const QByteArray name = QByteArray(any(Kinds)) + "（" + any(Sub) + "）";
            const double price = 50 + pick(2000000) / 100.0;
            const char *unit = any(Units), *factory = any(Factories), *firm = any(Firms), *mode = any(AddModes);
            const QByteArray transactor = staffNames[size_t(pick(200))];
            const QByteArray model = "M-" + QByteArray::number(100 + pick(900));
            const qint64 billId = bill.text(billCode("Asset_Add", bought)).text(transactor).text(staffNames[size_t(pick(200))])
                                      .text("系统管理员").date(bought).text(type).text(name).text(unit).real(price).text(model)
                                      .text(factory).date(bought).text(firm).text("标准配置").text(mode).integer(batch).run();
            for (int i = 0; i < batch; ++i, ++made) {
                const int r = pick(100);
                const int state = r < 50 ? 0 : r < 85 ? 1 : r < 90 ? 2 : r < 93 ? 3 : 4;
                const QDate discard = state == 4 ? bought.addDays(pick(std::max<qint64>(1, bought.daysTo(today)))) : QDate();
                item.text(type + QByteArray::number(++seq[type]).rightJustified(4, '0')).text(name).integer(billId).text(type).text(unit)
                    .real(price).text(model).text(factory).date(bought.addDays(-pick(200))).date(bought).date(bought).text(firm)
                    .text(transactor);
                item.text(mode);
                pick(4) ? item.integer(std::array<int, 3>{60, 96, 120}[size_t(pick(3))]) : item.null();
                item.text("标准配置").text(any(Positions));
                state >= 1 && state <= 3 ? item.text(deptNames[size_t(pick(int(deptNames.size())))]) : item.text("");
                item.text(staffNames[size_t(pick(200))]);
                state == 2 ? item.text(staffNames[size_t(pick(200))]) : item.text("");
                item.integer(state).text(any(Techs)).text("").date(discard);
                pick(3) ? item.real(5) : item.null();
                item.integer(pick(3));
                state == 4 ? item.text(any(DecModes)).text("使用年限已满") : item.null().null();
                const qint64 id = item.text("SN" + QByteArray::number(qint64(rng() % 100000000))).run();
                out.emplace_back(id, state);
            }
        }
        return out;
    }

    void bills(int m, const std::vector<std::pair<qint64, int>> &items)
    {
        if (m <= 0 || items.empty())
            return;
        std::vector<qint64> byState[5];
        for (const auto &[id, st] : items)
            byState[st].push_back(id);
        auto anyItem = [&](int st) {
            const auto &v = byState[st].empty() ? byState[0] : byState[st];
            return v.empty() ? items[0].first : v[size_t(pick(int(v.size())))];
        };
        auto person = [&] { return staffNames[size_t(pick(200))]; };
        auto dept = [&] { return deptNames[size_t(pick(int(deptNames.size())))]; };

        Statement move(db, "INSERT INTO Asset_Move (Id, Code, MoveDate, FromDept, FromMgr, ToDept, ToMgr, Controller, BuildDate, Manager, Summary, State) "
                           "VALUES (?,?,?,?,?,?,?,?,?,?,?,?)");
        Statement line(db, "INSERT INTO Asset_Move_Item (MoveId, AssetId, keeper, Place, TechnicalState) VALUES (?,?,?,?,?)");
        Statement loan(db, "INSERT INTO Asset_Loan (Code, AssetId, LoanDate, Loaner, LoanDept, Loankeeper, LoanTechState, IntendBackDate, "
                           "BackDate, Backer, BackKeeper, BackTechState, State) VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?)");
        Statement service(db, "INSERT INTO Asset_Service (Code, AssetId, ServiceDate, ServiceDept, Deliver, Cause, IntendBackDate, BackDate, "
                              "Fee, BackKeeper, State) VALUES (?,?,?,?,?,?,?,?,?,?,?)");
        Statement discard(db, "INSERT INTO Asset_Discard (Code, AssetId, DecType, DecDate, Cause, Manager, Transactor, Controller, BuildDate, State) "
                              "VALUES (?,?,?,?,?,?,?,?,?,?)");
        Statement add(db, "INSERT INTO Asset_Add (Code, Controller, BuildDate, Type, Name, Unit, Price, AddNumber, BuyDate, State) "
                          "VALUES (?,?,?,?,?,?,?,?,?,0)");
        QHash<qint64, bool> moveIds;
        for (int b = 0; b < m; ++b) {
            const QDate d = dayWithin(6);
            const int kind = pick(10);
            const bool untallied = pick(20) == 0;
            if (kind < 3) { // transfers with one to three lines
                qint64 id;
                do
                    id = qint64(rng() % 2147483647);
                while (moveIds.contains(id));
                moveIds.insert(id, true);
                move.integer(id).text(billCode("Asset_Move", d)).date(d).text(dept()).text(person()).text(dept()).text(person())
                    .text("系统管理员").date(d).text(person()).text("").integer(untallied ? 0 : 1).run();
                for (int k = 0, n = 1 + pick(3); k < n; ++k)
                    line.integer(id).integer(anyItem(1)).text(person()).text(any(Positions)).text(any(Techs)).run();
            } else if (kind < 6) { // loans: out, returned, or not yet tallied
                const int st = untallied ? 0 : (pick(3) ? 3 : 1);
                loan.text(billCode("Asset_Loan", d)).integer(anyItem(st == 1 ? 2 : 0)).date(d).text(person()).text(dept()).text(person())
                    .text(any(Techs)).date(d.addDays(30));
                st == 3 ? loan.date(d.addDays(pick(60))).text(person()).text(person()).text(any(Techs)) : loan.null().null().null().null();
                loan.integer(st).run();
            } else if (kind < 8) { // repairs
                const int st = untallied ? 0 : (pick(3) ? 3 : 1);
                service.text(billCode("Asset_Service", d)).integer(anyItem(st == 1 ? 3 : 0)).date(d).text("维修服务中心").text(person())
                    .text("故障").date(d.addDays(14));
                st == 3 ? service.date(d.addDays(pick(30))).real(pick(100000) / 100.0).text(person()) : service.null().null().null();
                service.integer(st).run();
            } else if (kind < 9) { // write-offs
                discard.text(billCode("Asset_Discard", d)).integer(anyItem(untallied ? 0 : 4)).text(any(DecModes)).date(d).text("使用年限已满")
                    .text(person()).text(person()).text("系统管理员").date(d).integer(untallied ? 0 : 1).run();
            } else { // acquisition bills not yet tallied
                add.text(billCode("Asset_Add", d)).text("系统管理员").date(d).text(leafTypes[size_t(pick(int(leafTypes.size())))])
                    .text(any(Kinds)).text(any(Units)).real(100 + pick(10000)).integer(1 + pick(10)).date(d).run();
            }
        }
    }
};

} // namespace

int generateCommand(const QStringList &args)
{
    QTextStream &err = cliErr(), &out = cliOut();
    QString dbPath;
    qint64 items = -1, bills = 0, seed = 1;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        bool ok = true;
        if (a == QLatin1String("--db") && i + 1 < args.size())
            dbPath = args[++i];
        else if (a == QLatin1String("--items") && i + 1 < args.size())
            items = args[++i].toLongLong(&ok);
        else if (a == QLatin1String("--bills") && i + 1 < args.size())
            bills = args[++i].toLongLong(&ok);
        else if (a == QLatin1String("--seed") && i + 1 < args.size())
            seed = args[++i].toLongLong(&ok);
        else
            ok = false;
        if (!ok) {
            err << "generate: 参数有误：" << a << Qt::endl;
            return 2;
        }
    }
    if (dbPath.isEmpty() || items < 0 || bills < 0 || items > 50000000) {
        err << "用法: zentrav-cli generate --db FILE --items N [--bills M] [--seed S]" << Qt::endl;
        return 2;
    }
    if (QFileInfo::exists(dbPath) && QFileInfo(dbPath).size() > 0) {
        err << "文件已存在，不会覆盖：" << dbPath << Qt::endl;
        return 1;
    }
    QElapsedTimer t;
    t.start();
    Connection conn;
    try {
        conn.open(ConnectionParams::sqlite(QFileInfo(dbPath).absoluteFilePath()));
        Schema::create(conn);
        Generator g{conn.sqliteHandle(), std::mt19937_64(quint64(seed)), QDate(2026, 6, 30), {}, {}, {}, {}};
        Transaction tx(conn);
        g.reference();
        const auto made = g.items(int(items));
        g.bills(int(bills), made);
        tx.commit();
    } catch (const DataError &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    out << "已生成 " << items << " 件物品、" << bills << " 张单据，用时 " << t.elapsed() / 1000.0 << " 秒：" << dbPath << Qt::endl;
    return 0;
}
