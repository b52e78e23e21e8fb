#include "bills/tally.h"
#include "cli/commands.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

// zentrav-cli tally KIND ID (--db FILE | --pg "…") --user CODE
// Runs the same tally as the bill window, for batch work at month end.
int tallyCommand(const QStringList &args)
{
    QTextStream &err = cliErr(), &out = cliOut();
    const QString usage = QStringLiteral("用法: zentrav-cli tally KIND ID (--db FILE | --pg \"host=… dbname=… user=…\") --user CODE\n"
                                         "  KIND: acquisition, transfer, writeoff, loan, loan-return, repair, repair-completion");
    QStringList positional;
    QString db, pg, user;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if ((a == QLatin1String("--db") || a == QLatin1String("--pg") || a == QLatin1String("--user")) && i + 1 < args.size()) {
            (a == QLatin1String("--db") ? db : a == QLatin1String("--pg") ? pg : user) = args[++i];
        } else if (a.startsWith(QLatin1String("--"))) {
            err << "tally: 不认识的参数 " << a << Qt::endl << usage << Qt::endl;
            return 2;
        } else {
            positional << a;
        }
    }
    BillKind kind;
    bool idOk = false;
    const qint64 id = positional.size() == 2 ? positional[1].toLongLong(&idOk) : 0;
    if (positional.size() != 2 || !billKindFromName(positional[0], kind) || !idOk || db.isEmpty() == pg.isEmpty() || user.isEmpty()) {
        err << usage << Qt::endl;
        return 2;
    }
    Connection conn;
    try {
        const ConnectionParams params = db.isEmpty() ? ConnectionParams::fromPgString(pg) : ConnectionParams::sqlite(QFileInfo(db).absoluteFilePath());
        conn.open(params, Connection::NoFlags);
        if (Schema::inspect(conn) != Schema::State::Zentrav) {
            err << "该数据库不是 Zentrav 数据库：" << params.describe() << Qt::endl;
            return 1;
        }
        Schema::ensure(conn);
        // The user must be one of the register's staff (the login code, as at the login dialog).
        const QVariant name = conn.scalar(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                              .arg(conn.quote(QStringLiteral("Name")), conn.quote(QStringLiteral("Staffer")), conn.quote(QStringLiteral("Code"))),
                                          QVariantList{user});
        if (!name.isValid()) {
            err << "没有登录编号为 " << user << " 的职员。" << Qt::endl;
            return 1;
        }
    } catch (const DataError &e) {
        err << e.message() << Qt::endl;
        return 1;
    }
    const TallyOutcome o = tallyBill(conn, kind, id);
    if (!o.ok) {
        err << o.message;
        if (!o.detail.isEmpty())
            err << "（" << o.detail << "）";
        err << Qt::endl;
        return 1;
    }
    out << "已登帐：" << positional[0] << " " << id << "，台帐 " << o.ledgerRows << " 行。" << Qt::endl;
    return 0;
}
