#include "app/singlecopy.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

namespace {
const QByteArray RaiseMessage("raise\n");

QString userName()
{
    QString u = qEnvironmentVariable("USER");
    if (u.isEmpty())
        u = qEnvironmentVariable("USERNAME");
    return u;
}
} // namespace

SingleCopy::SingleCopy(const QString &key, QObject *parent) : QObject(parent)
{
    const QByteArray digest = QCryptographicHash::hash((userName() + QLatin1Char('|') + key).toUtf8(), QCryptographicHash::Sha1);
    m_name = QStringLiteral("zentrav-") + QString::fromLatin1(digest.toHex().left(20));
}

SingleCopy::~SingleCopy()
{
    if (m_server)
        m_server->close();
    if (m_lock)
        m_lock->unlock();
}

QString SingleCopy::keyFor(const ConnectionParams &params)
{
    if (params.engine == Engine::SQLite) {
        const QFileInfo fi(params.sqlitePath);
        const QString canonical = fi.canonicalFilePath();
        return QStringLiteral("sqlite:") + (canonical.isEmpty() ? fi.absoluteFilePath() : canonical);
    }
    return QStringLiteral("postgresql:%1@%2:%3/%4").arg(params.user, params.host).arg(params.port).arg(params.database);
}

QString SingleCopy::lockPath() const { return QDir(QDir::tempPath()).filePath(m_name + QStringLiteral(".lock")); }

SingleCopy::Result SingleCopy::acquire()
{
    m_lock = std::make_unique<QLockFile>(lockPath());
    // Never stale by age: the program runs for days. A lock whose process is
    // gone is still recognised and taken over.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0)) {
        listen();
        return First;
    }
    if (m_lock->error() == QLockFile::LockFailedError)
        return RunningElsewhere;
    m_lock.reset();
    return Unguarded;
}

void SingleCopy::listen()
{
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a copy that died would block listen().
    QLocalServer::removeServer(m_name);
    if (!m_server->listen(m_name))
        return;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *s = m_server->nextPendingConnection()) {
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().contains("raise")) {
                    emit raiseRequested();
                    s->write("ok\n");
                    s->flush();
                }
            });
        }
    });
}

bool SingleCopy::notifyRunningCopy(int timeoutMs)
{
    // The running copy may still be between taking the lock and listening.
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket s;
        s.connectToServer(m_name);
        if (s.waitForConnected(int(qMax<qint64>(1, deadline.remainingTime())))) {
            s.write(RaiseMessage);
            const bool sent = s.waitForBytesWritten(int(qMax<qint64>(1, deadline.remainingTime())));
            if (sent)
                s.waitForReadyRead(int(qMax<qint64>(1, deadline.remainingTime())));
            s.disconnectFromServer();
            return sent;
        }
        QThread::msleep(50);
    }
    return false;
}
