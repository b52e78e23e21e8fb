#include "cli/commands.h"

#include <QGuiApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    // Reports are painted to PDF, which needs fonts and so a GUI application;
    // without a display it runs on the offscreen platform.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zentrav-cli"));
    return runCli(QCoreApplication::arguments().mid(1));
}
