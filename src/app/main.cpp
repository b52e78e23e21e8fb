#include "app/mainwindow.h"
#include "data/connection.h"
#include "data/errors.h"
#include "data/schema.h"
#include "data/settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QMessageBox>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentrav"));
    QApplication::setOrganizationName(QStringLiteral("Zentrav"));

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption dbOpt(QStringLiteral("db"), QStringLiteral("SQLite 数据库文件"), QStringLiteral("FILE"));
    QCommandLineOption configOpt(QStringLiteral("config"), QStringLiteral("zentrav.ini 设置文件"), QStringLiteral("FILE"));
    parser.addOption(dbOpt);
    parser.addOption(configOpt);
    parser.process(app);

    Settings settings = parser.isSet(dbOpt)       ? Settings::forDatabase(parser.value(dbOpt))
                        : parser.isSet(configOpt) ? Settings::load(parser.value(configOpt))
                                                  : Settings::defaults();

    Connection conn;
    QString failure;
    try {
        conn.open(settings.connection());
        Schema::ensure(conn);
        Connection::setCurrent(&conn);
    } catch (const DataError &e) {
        conn.close();
        failure = e.message();
    }

    MainWindow w(settings);
    w.show();
    if (!failure.isEmpty())
        QMessageBox::warning(&w, QStringLiteral("错误"), QStringLiteral("无法打开数据库：\n%1").arg(failure));
    const int rc = app.exec();
    Connection::setCurrent(nullptr);
    return rc;
}
