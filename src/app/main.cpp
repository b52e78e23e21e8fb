#include "app/brandforms.h"
#include "app/mainwindow.h"
#include "app/singlecopy.h"
#include "common/prompter.h"
#include "data/errors.h"
#include "data/settings.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>
#include <exception>

namespace {
// The default error report: an error no window caught ends the operation
// that raised it and is shown in a message box with its text.
class ZentravApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject *receiver, QEvent *event) override
    {
        try {
            return QApplication::notify(receiver, event);
        } catch (const DataError &e) {
            Prompter::instance().information(e.message());
        } catch (const std::exception &e) {
            Prompter::instance().information(QString::fromLocal8Bit(e.what()));
        }
        return false;
    }
};
} // namespace

int main(int argc, char *argv[])
{
    ZentravApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Zentrav"));
    QApplication::setOrganizationName(QStringLiteral("Zentrav"));

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption dbOpt(QStringLiteral("db"), QStringLiteral("SQLite 数据库文件"), QStringLiteral("FILE"));
    QCommandLineOption configOpt(QStringLiteral("config"), QStringLiteral("zentrav.ini 设置文件"), QStringLiteral("FILE"));
    // For bench/run: quit as soon as the main window is ready for a login.
    QCommandLineOption readyOpt(QStringLiteral("exit-when-ready"), QStringLiteral("显示主窗口后立即退出（测速用）"));
    readyOpt.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(dbOpt);
    parser.addOption(configOpt);
    parser.addOption(readyOpt);
    parser.process(app);

    const Settings settings = parser.isSet(dbOpt)       ? Settings::forDatabase(parser.value(dbOpt))
                              : parser.isSet(configOpt) ? Settings::load(parser.value(configOpt))
                                                        : Settings::defaults();

    // One copy per register: a second start brings the running copy forward
    // and ends without showing anything.
    Settings::setCurrent(settings);
    SingleCopy guard(SingleCopy::keyFor(settings.connection()));
    if (guard.acquire() == SingleCopy::RunningElsewhere) {
        guard.notifyRunningCopy();
        return 0;
    }

    QFont font;
    font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("Noto Serif CJK SC"),
                      QStringLiteral("AR PL UMing CN")});
    font.setPixelSize(13);
    QApplication::setFont(font);

    SplashForm splash;
    splash.show();
    splash.repaint();
    QApplication::processEvents();

    MainWindow w(settings);
    QObject::connect(&guard, &SingleCopy::raiseRequested, &w, &MainWindow::bringToFront);
    if (w.connectDatabase(&splash))
        waitForNextWholeSecond();
    splash.close();
    w.show();
    if (parser.isSet(readyOpt))
        QTimer::singleShot(0, &app, &QCoreApplication::quit);
    return app.exec();
}
