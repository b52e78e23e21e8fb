#include "cli/report.h"
#include "cli/commands.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/settings.h"
#include "reports/engine/reportdata.h"
#include "reports/engine/reportexpr.h"
#include "reports/engine/reportpainter.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QSaveFile>
#include <QTextStream>

namespace {

QMap<QString, CliReportSpec> &reports()
{
    static QMap<QString, CliReportSpec> r;
    return r;
}

QTextStream &err() { return cliErr(); }
QTextStream &out() { return cliOut(); }

// The program's short date (yyyy/M/d) or yyyy-MM-dd.
QDate parseDate(const QString &text)
{
    const QString t = text.trimmed();
    for (const char *f : {"yyyy-MM-dd", "yyyy/M/d", "yyyy-M-d", "yyyy/MM/dd"}) {
        const QDate d = QDate::fromString(t, QLatin1String(f));
        if (d.isValid())
            return d;
    }
    return QDate();
}

QString usageText()
{
    QString s = QStringLiteral("用法: zentrav-cli report NAME (--db FILE | --pg \"host=… dbname=… user=…\") "
                               "[--date D | --from D --to D] (--pdf OUT | --csv OUT)\n"
                               "日期写作 yyyy/M/d 或 yyyy-MM-dd。可用的报表：\n");
    for (auto it = reports().cbegin(); it != reports().cend(); ++it) {
        QString extra;
        if (it->dates == CliReportDates::Single)
            extra = QStringLiteral(" [--date D]");
        else if (it->dates == CliReportDates::Period)
            extra = QStringLiteral(" [--from D --to D]");
        for (const QString &o : it->options)
            extra += QStringLiteral(" [%1 …]").arg(o);
        s += QStringLiteral("  %1%2\n      %3\n").arg(it.key(), extra, it->summary);
    }
    return s;
}

int fail(const QString &message, int code = 1)
{
    err() << message << Qt::endl;
    return code;
}

bool writeFile(const QString &path, const QByteArray &bytes, QString *error)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        *error = QStringLiteral("无法写入 %1：%2").arg(path, f.errorString());
        return false;
    }
    return true;
}

QString csvField(const QString &s)
{
    if (!s.contains(QLatin1Char(',')) && !s.contains(QLatin1Char('"')) && !s.contains(QLatin1Char('\n')) && !s.contains(QLatin1Char('\r')))
        return s;
    QString q = s;
    q.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + q + QLatin1Char('"');
}

} // namespace

void registerReport(const QString &name, CliReportSpec spec)
{
    reports().insert(name, std::move(spec));
}

QStringList registeredReports()
{
    return reports().keys();
}

QByteArray reportCsv(const ReportData &rows, const QList<CliReportColumn> &columns)
{
    QList<CliReportColumn> cols = columns;
    if (cols.isEmpty())
        for (const QString &f : rows.fieldNames())
            cols.append({f, f, QString()});
    QList<int> index;
    QStringList header;
    for (const CliReportColumn &c : cols) {
        const int i = rows.fieldIndex(c.field);
        if (i < 0)
            throw ReportError(QStringLiteral("导出列“%1”不是数据中的字段").arg(c.field));
        index.append(i);
        header.append(csvField(c.title));
    }
    QString text = header.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    for (int r = 0; r < rows.rowCount(); ++r) {
        QStringList line;
        for (int c = 0; c < cols.size(); ++c)
            line.append(csvField(formatReportValue(rows.value(r, index[c]), cols[c].format)));
        text += line.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return text.toUtf8();
}

int reportCommand(const QStringList &args)
{
    if (args.isEmpty() || args[0] == QLatin1String("--help") || args[0] == QLatin1String("-h") || args[0] == QLatin1String("--list")) {
        (args.isEmpty() ? err() : out()) << usageText() << Qt::flush;
        return args.isEmpty() ? 2 : 0;
    }
    const QString name = args[0];
    auto spec = reports().constFind(name);
    if (spec == reports().cend())
        return fail(QStringLiteral("没有名为“%1”的报表。\n").arg(name) + usageText(), 2);

    QString db, pg, pdf, csv, dateText, fromText, toText;
    QMap<QString, QString> options;
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        const bool hasValue = i + 1 < args.size();
        QString *target = a == QLatin1String("--db")     ? &db
                          : a == QLatin1String("--pg")   ? &pg
                          : a == QLatin1String("--pdf")  ? &pdf
                          : a == QLatin1String("--csv")  ? &csv
                          : a == QLatin1String("--date") ? &dateText
                          : a == QLatin1String("--from") ? &fromText
                          : a == QLatin1String("--to")   ? &toText
                                                         : nullptr;
        if (!target && spec->options.contains(a)) {
            if (!hasValue)
                return fail(QStringLiteral("参数 %1 缺少取值").arg(a), 2);
            options.insert(a, args[++i]);
            continue;
        }
        if (!target)
            return fail(QStringLiteral("报表“%1”不认识参数 %2").arg(name, a), 2);
        if (!hasValue)
            return fail(QStringLiteral("参数 %1 缺少取值").arg(a), 2);
        *target = args[++i];
    }
    if (db.isEmpty() == pg.isEmpty())
        return fail(QStringLiteral("请用 --db FILE 或 --pg \"…\" 指定数据库（只能选一个）"), 2);
    if (pdf.isEmpty() && csv.isEmpty())
        return fail(QStringLiteral("请用 --pdf OUT 或 --csv OUT 指定输出文件"), 2);

    CliReportRequest req;
    req.today = QDate::currentDate();
    req.options = options;
    switch (spec->dates) {
    case CliReportDates::None:
        if (!dateText.isEmpty() || !fromText.isEmpty() || !toText.isEmpty())
            return fail(QStringLiteral("报表“%1”不按日期查询，不需要 --date、--from、--to").arg(name), 2);
        break;
    case CliReportDates::Single:
        if (!fromText.isEmpty() || !toText.isEmpty())
            return fail(QStringLiteral("报表“%1”按一个日期查询：请用 --date D").arg(name), 2);
        req.date = dateText.isEmpty() ? req.today : parseDate(dateText);
        if (!req.date.isValid())
            return fail(QStringLiteral("日期格式错误：%1（请写作 yyyy/M/d 或 yyyy-MM-dd）").arg(dateText), 2);
        break;
    case CliReportDates::Period: {
        if (!dateText.isEmpty())
            return fail(QStringLiteral("报表“%1”按一段时间查询：请用 --from D --to D").arg(name), 2);
        if (fromText.isEmpty() != toText.isEmpty())
            return fail(QStringLiteral("--from 和 --to 要一起给出"), 2);
        const QDate firstOfMonth(req.today.year(), req.today.month(), 1);
        req.from = fromText.isEmpty() ? firstOfMonth.addMonths(-1) : parseDate(fromText);
        req.to = toText.isEmpty() ? firstOfMonth.addDays(-1) : parseDate(toText);
        if (!req.from.isValid())
            return fail(QStringLiteral("起始日期格式错误：%1（请写作 yyyy/M/d 或 yyyy-MM-dd）").arg(fromText), 2);
        if (!req.to.isValid())
            return fail(QStringLiteral("终止日期格式错误：%1（请写作 yyyy/M/d 或 yyyy-MM-dd）").arg(toText), 2);
        break;
    }
    }
    if (!pdf.isEmpty() && !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        return fail(QStringLiteral("输出 PDF 需要图形环境（字体），本进程没有"), 1);

    Settings settings;
    ConnectionParams params;
    if (!db.isEmpty()) {
        if (!QFileInfo(db).isFile())
            return fail(QStringLiteral("找不到数据库文件：%1").arg(db));
        settings = Settings::forDatabase(db);
        params = settings.connection();
    } else {
        settings = Settings::defaults();
        params = ConnectionParams::fromPgString(pg);
    }
    req.organisationName = settings.organisationName();

    try {
        Connection conn;
        conn.open(params, Connection::NoFlags);
        if (Schema::inspect(conn) != Schema::State::Zentrav)
            return fail(QStringLiteral("该数据库不是 Zentrav 数据库：%1").arg(params.describe()));
        req.conn = &conn;
        CliReportOutput output = spec->build(req);
        // The CSV is made in memory and the PDF page by page into a file that
        // appears only when whole; a template fault is found before either is written.
        QByteArray csvBytes;
        if (!csv.isEmpty())
            csvBytes = reportCsv(*output.rows, output.columns);
        if (!pdf.isEmpty()) {
            const ReportTemplate tpl = ReportTemplate::load(output.templateName);
            ReportInput in;
            in.tpl = &tpl;
            in.data = output.rows.get();
            in.variables = output.variables;
            in.today = req.today;
            const int pages = writeReportPdf(in, pdf);
            out() << QStringLiteral("%1：%2 行，%3 页 → %4").arg(name).arg(output.rows->rowCount()).arg(pages).arg(pdf) << Qt::endl;
        }
        if (!csv.isEmpty()) {
            QString error;
            if (!writeFile(csv, csvBytes, &error))
                return fail(error);
            out() << QStringLiteral("%1：%2 行 → %3").arg(name).arg(output.rows->rowCount()).arg(csv) << Qt::endl;
        }
        return 0;
    } catch (const ReportError &e) {
        return fail(e.message());
    } catch (const DataError &e) {
        return fail(e.message());
    }
}

void registerReportCommand()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    registerItemReports();
    registerStatReports();
    registerCliCommand(QStringLiteral("report"), QStringLiteral("打印报表或列表到 PDF 或 CSV：report NAME --db FILE … (--pdf OUT | --csv OUT)；report --list 列出报表"),
                       reportCommand);
}
