#include "cli/commands.h"
#include "cli/report.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"

#include <QFileInfo>
#include <QMap>
#include <QTextStream>
#include <cstdio>

int tallyCommand(const QStringList &args);    // tallycmd.cpp
int generateCommand(const QStringList &args); // generate.cpp
int saveBillCommand(const QStringList &args); // savebillcmd.cpp

namespace {

struct Entry {
    QString summary;
    CliCommand fn;
};

QMap<QString, Entry> &registry()
{
    static QMap<QString, Entry> r;
    return r;
}

QTextStream &err() { return cliErr(); }
QTextStream &out() { return cliOut(); }

// zentrav-cli init --db FILE | --pg "host=… dbname=… user=…"
int initCommand(const QStringList &args)
{
    QString db, pg;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--db") && i + 1 < args.size())
            db = args[++i];
        else if (args[i] == QLatin1String("--pg") && i + 1 < args.size())
            pg = args[++i];
        else {
            err() << "init: 不认识的参数 " << args[i] << Qt::endl;
            return 2;
        }
    }
    if (db.isEmpty() == pg.isEmpty()) {
        err() << "用法: zentrav-cli init --db FILE | --pg \"host=… dbname=… user=…\"" << Qt::endl;
        return 2;
    }
    const ConnectionParams params = db.isEmpty() ? ConnectionParams::fromPgString(pg) : ConnectionParams::sqlite(QFileInfo(db).absoluteFilePath());
    Connection conn;
    try {
        conn.open(params);
        switch (Schema::inspect(conn)) {
        case Schema::State::Foreign:
            err() << "该数据库不是 Zentrav 数据库，没有做任何改动：" << params.describe() << Qt::endl;
            return 1;
        case Schema::State::Zentrav: {
            const int before = Schema::storedVersion(conn);
            Schema::ensure(conn);
            out() << "已是 Zentrav 数据库（版本 " << before << " → " << Schema::CurrentVersion << "）：" << params.describe() << Qt::endl;
            return 0;
        }
        default:
            Schema::create(conn);
            out() << "已建立新的 Zentrav 数据库：" << params.describe() << Qt::endl;
            return 0;
        }
    } catch (const DataError &e) {
        err() << e.message() << Qt::endl;
        return 1;
    }
}

void usage()
{
    err() << "用法: zentrav-cli COMMAND [参数]" << Qt::endl << Qt::endl;
    for (auto it = registry().cbegin(); it != registry().cend(); ++it)
        err() << "  " << it.key().leftJustified(12) << it.value().summary << Qt::endl;
}

void registerBuiltins()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    registerCliCommand(QStringLiteral("init"), QStringLiteral("建立或升级数据库：init --db FILE | --pg \"host=… dbname=… user=…\""), initCommand);
    registerReportCommand();
    registerCliCommand(QStringLiteral("tally"),
                       QStringLiteral("登帐：tally KIND ID (--db FILE | --pg \"…\") --user CODE"), tallyCommand);
    registerCliCommand(QStringLiteral("generate"),
                       QStringLiteral("生成测试数据库：generate --db FILE --items N [--bills M] [--seed S]"), generateCommand);
    registerCliCommand(QStringLiteral("save-bill"),
                       QStringLiteral("测试用：保存未登帐的调拨单，save-bill (--db FILE | --pg \"…\") [--bills K] [--lines N]"), saveBillCommand);
}

} // namespace

QTextStream &cliErr()
{
    static QTextStream s(stderr);
    return s;
}

QTextStream &cliOut()
{
    static QTextStream s(stdout);
    return s;
}

void registerCliCommand(const QString &name, const QString &summary, CliCommand fn)
{
    registry().insert(name, {summary, std::move(fn)});
}

int runCli(const QStringList &args)
{
    registerBuiltins();
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h")) {
        usage();
        return args.isEmpty() ? 2 : 0;
    }
    auto it = registry().constFind(args[0]);
    if (it == registry().cend()) {
        err() << "不认识的命令：" << args[0] << Qt::endl;
        usage();
        return 2;
    }
    try {
        return it->fn(args.mid(1));
    } catch (const DataError &e) {
        err() << e.message() << Qt::endl;
        return 1;
    } catch (const std::exception &e) {
        err() << QString::fromLocal8Bit(e.what()) << Qt::endl;
        return 1;
    }
}
