// zentrav-cli save-bill (--db FILE | --pg "…") [--bills K] [--lines N] [--items ID,ID,…]
//                       [--date yyyy-MM-dd] [--summary TEXT]
//
// A testing aid: appends K untallied transfer bills of N lines each and saves
// them the way the transfer window does (bill code of the day from
// NextBillCode at Append, lines and bills written by one saveBills call, one
// transaction). The kill and race tests run it as a separate process.
#include "bills/billsave.h"
#include "cli/commands.h"
#include "common/helpers.h"
#include "data/connection.h"
#include "data/dataset.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QTextStream>

int saveBillCommand(const QStringList &args)
{
    QTextStream &err = cliErr(), &out = cliOut();
    const QString usage = QStringLiteral("用法: zentrav-cli save-bill (--db FILE | --pg \"…\") [--bills K] [--lines N] [--items ID,ID,…] "
                                         "[--date yyyy-MM-dd] [--summary TEXT]");
    QString db, pg, summary;
    int bills = 1, lines = 3;
    QDate date = QDate::currentDate();
    QList<qint64> items;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (i + 1 >= args.size()) {
            err << usage << Qt::endl;
            return 2;
        }
        const QString v = args[++i];
        bool ok = true;
        if (a == QLatin1String("--db"))
            db = v;
        else if (a == QLatin1String("--pg"))
            pg = v;
        else if (a == QLatin1String("--summary"))
            summary = v;
        else if (a == QLatin1String("--bills"))
            bills = v.toInt(&ok);
        else if (a == QLatin1String("--lines"))
            lines = v.toInt(&ok);
        else if (a == QLatin1String("--date"))
            ok = (date = QDate::fromString(v, QStringLiteral("yyyy-MM-dd"))).isValid();
        else if (a == QLatin1String("--items")) {
            for (const QString &id : v.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                items << id.toLongLong(&ok);
                if (!ok)
                    break;
            }
        } else
            ok = false;
        if (!ok || bills < 1 || lines < 0) {
            err << "save-bill: 参数有误：" << a << " " << v << Qt::endl << usage << Qt::endl;
            return 2;
        }
    }
    if (db.isEmpty() == pg.isEmpty()) {
        err << usage << Qt::endl;
        return 2;
    }
    Connection conn;
    const ConnectionParams params = db.isEmpty() ? ConnectionParams::fromPgString(pg) : ConnectionParams::sqlite(QFileInfo(db).absoluteFilePath());
    conn.open(params, Connection::NoFlags);
    if (Schema::inspect(conn) != Schema::State::Zentrav) {
        err << "该数据库不是 Zentrav 数据库：" << params.describe() << Qt::endl;
        return 1;
    }
    Schema::ensure(conn);

    // The transfer window's two datasets: its list of bills and their lines.
    Dataset list(&conn);
    list.setSql(QStringLiteral("Select * from Asset_Move where State=0 or (State=1 and BuildDate>=:minDate and BuildDate<=:maxDate) order by Code"));
    list.setUpdateTable(QStringLiteral("Asset_Move"));
    list.setParam(QStringLiteral("minDate"), QDateTime(date.addMonths(-1), QTime(0, 0)));
    list.setParam(QStringLiteral("maxDate"), QDateTime(date, QTime(0, 0)));
    list.open();
    Dataset detail(&conn);
    detail.setTable(QStringLiteral("Asset_Move_Item"));
    detail.open();
    detail.setMasterByKeys(&list, {QStringLiteral("MoveId")}, {QStringLiteral("Id")});

    const QDateTime day(date, QTime(0, 0));
    for (int b = 0; b < bills; ++b) {
        const QString code = NextBillCode(list, date);
        qint64 id = 0;
        while (id == 0) {
            const qint64 candidate = 1 + QRandomGenerator::global()->bounded(2147483646);
            if (list.findStorageRow(list.fieldIndex(QStringLiteral("Id")), candidate) < 0
                && conn.scalar(QStringLiteral("select count(*) from Asset_Move where Id=?"), QVariantList{candidate}).toInt() == 0)
                id = candidate;
        }
        list.append();
        list.setValue(QStringLiteral("Code"), code);
        list.setValue(QStringLiteral("State"), 0);
        list.setValue(QStringLiteral("Id"), id);
        list.setValue(QStringLiteral("Controller"), QStringLiteral("测试"));
        list.setValue(QStringLiteral("MoveDate"), day);
        list.setValue(QStringLiteral("BuildDate"), day);
        list.setValue(QStringLiteral("ToDept"), QStringLiteral("调入部门"));
        list.setValue(QStringLiteral("Summary"), summary);
        list.post();
        for (int l = 0; l < lines; ++l) {
            detail.append();
            detail.setValue(QStringLiteral("MoveId"), id);
            if (!items.isEmpty())
                detail.setValue(QStringLiteral("AssetId"), items.at((b * lines + l) % items.size()));
            detail.setValue(QStringLiteral("Place"), QStringLiteral("库房%1").arg(l + 1));
            detail.setValue(QStringLiteral("keeper"), QStringLiteral("保管员"));
            detail.post();
        }
    }
    saveBills(conn, list, &detail);
    // The codes as saved: a code another process took meanwhile was renewed.
    for (int r = 0; r < list.recordCount(); ++r)
        if (list.valueAt(r, list.fieldIndex(QStringLiteral("Summary"))).toString() == summary)
            out << "已保存：" << list.valueAt(r, list.fieldIndex(QStringLiteral("Code"))).toString() << " "
                << list.valueAt(r, list.fieldIndex(QStringLiteral("Id"))).toLongLong() << Qt::endl;
    return 0;
}
