#pragma once
#include <QStringList>
#include <functional>

// zentrav-cli's commands. Each takes its own arguments (after the command
// name), prints errors to stderr in plain words and returns the exit status.
using CliCommand = std::function<int(const QStringList &args)>;

// Commands register themselves once at start-up (see cli/commands.cpp).
void registerCliCommand(const QString &name, const QString &summary, CliCommand fn);
int runCli(const QStringList &args);

class QTextStream;
// The one stream each for standard output and standard error, shared by all
// commands so their lines come out in order.
QTextStream &cliOut();
QTextStream &cliErr();
