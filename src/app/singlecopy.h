#pragma once
#include "data/settings.h"

#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

class QLocalServer;

// Keeps a second copy of the program on the same register from running.
// The first copy holds a lock file named after the register (in the
// temporary folder, per user) and listens on a local socket of the same
// name; a second copy finds the lock taken, asks the first copy over the
// socket to bring its main window forward, and ends. A lock left by a copy
// that died is taken over.
class SingleCopy : public QObject {
    Q_OBJECT
public:
    enum Result { First, RunningElsewhere, Unguarded };

    explicit SingleCopy(const QString &key, QObject *parent = nullptr);
    ~SingleCopy() override;

    // The key of a register: its SQLite file, or its PostgreSQL server and database.
    static QString keyFor(const ConnectionParams &params);

    // Takes the lock without waiting. Unguarded: the lock could not be made
    // (e.g. no writable temporary folder); the program runs on unguarded.
    Result acquire();
    // Asks the running copy to come forward; waits at most `timeoutMs`.
    bool notifyRunningCopy(int timeoutMs = 1500);

    QString serverName() const { return m_name; }
    QString lockPath() const;

signals:
    void raiseRequested();

private:
    void listen();

    QString m_name;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer *m_server = nullptr;
};
