#include "cli/commands.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zentrav-cli"));
    return runCli(QCoreApplication::arguments().mid(1));
}
