#include "data/settings.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

ConnectionParams ConnectionParams::sqlite(const QString &path)
{
    ConnectionParams p;
    p.engine = Engine::SQLite;
    p.sqlitePath = path;
    return p;
}

ConnectionParams ConnectionParams::fromPgString(const QString &conninfo)
{
    ConnectionParams p;
    p.engine = Engine::PostgreSQL;
    QStringList extra;
    static const QRegularExpression re(QStringLiteral("(\\w+)\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'|\\S*)"));
    auto it = re.globalMatch(conninfo);
    while (it.hasNext()) {
        const auto m = it.next();
        const QString key = m.captured(1).toLower();
        QString value = m.captured(2);
        if (value.startsWith(QLatin1Char('\'')) && value.endsWith(QLatin1Char('\'')) && value.size() >= 2) {
            value = value.mid(1, value.size() - 2);
            value.replace(QLatin1String("\\'"), QLatin1String("'"));
            value.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        }
        if (key == QLatin1String("host") || key == QLatin1String("hostaddr"))
            p.host = value;
        else if (key == QLatin1String("port"))
            p.port = value.toInt();
        else if (key == QLatin1String("dbname"))
            p.database = value;
        else if (key == QLatin1String("user"))
            p.user = value;
        else if (key == QLatin1String("password"))
            p.password = value;
        else
            extra << key + QLatin1Char('=') + value;
    }
    p.options = extra.join(QLatin1Char(';'));
    return p;
}

QString ConnectionParams::describe() const
{
    if (engine == Engine::SQLite)
        return QDir::toNativeSeparators(sqlitePath);
    return QStringLiteral("%1@%2:%3/%4").arg(user, host).arg(port).arg(database);
}

QString Settings::defaultFolder()
{
    const QString exeDir = QCoreApplication::applicationDirPath();
    const QFileInfo fi(exeDir);
    if (!exeDir.isEmpty() && fi.isDir() && fi.isWritable())
        return exeDir;
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data;
}

Settings Settings::defaults()
{
    return load(QDir(defaultFolder()).filePath(QLatin1String(FileName)));
}

Settings Settings::forDatabase(const QString &dbPath)
{
    const QFileInfo fi(dbPath);
    Settings s = load(fi.absoluteDir().filePath(QLatin1String(FileName)));
    s.m_params = ConnectionParams::sqlite(fi.absoluteFilePath());
    return s;
}

Settings Settings::load(const QString &iniPath)
{
    Settings s;
    s.m_iniPath = QFileInfo(iniPath).absoluteFilePath();
    const QDir dir = QFileInfo(s.m_iniPath).absoluteDir();
    QSettings ini(s.m_iniPath, QSettings::IniFormat);
    // QSettings keeps the keys of a hand-written [General] section at the top
    // level (and writes its own "General/…" keys under [%General]): read both.
    auto general = [&ini](const QString &key, const QVariant &def = QVariant()) {
        return ini.value(QStringLiteral("General/") + key, ini.value(key, def));
    };
    s.m_organisationName = general(QStringLiteral("OrganisationName")).toString();
    const QString engine = general(QStringLiteral("Engine"), QStringLiteral("sqlite")).toString().toLower();
    if (engine == QLatin1String("postgresql") || engine == QLatin1String("postgres") || engine == QLatin1String("pg")) {
        s.m_params.engine = Engine::PostgreSQL;
        s.m_params.host = ini.value(QStringLiteral("PostgreSQL/Host"), s.m_params.host).toString();
        s.m_params.port = ini.value(QStringLiteral("PostgreSQL/Port"), s.m_params.port).toInt();
        s.m_params.database = ini.value(QStringLiteral("PostgreSQL/Database"), s.m_params.database).toString();
        s.m_params.user = ini.value(QStringLiteral("PostgreSQL/User")).toString();
        s.m_params.password = ini.value(QStringLiteral("PostgreSQL/Password")).toString();
        s.m_params.options = ini.value(QStringLiteral("PostgreSQL/Options")).toString();
    } else {
        const QString path = ini.value(QStringLiteral("SQLite/Path"), QLatin1String(DefaultDatabaseName)).toString();
        s.m_params = ConnectionParams::sqlite(dir.absoluteFilePath(path));
    }
    return s;
}

bool Settings::save() const
{
    QSettings ini(m_iniPath, QSettings::IniFormat);
    ini.setValue(QStringLiteral("General/OrganisationName"), m_organisationName);
    if (m_params.engine == Engine::PostgreSQL) {
        ini.setValue(QStringLiteral("General/Engine"), QStringLiteral("postgresql"));
        ini.setValue(QStringLiteral("PostgreSQL/Host"), m_params.host);
        ini.setValue(QStringLiteral("PostgreSQL/Port"), m_params.port);
        ini.setValue(QStringLiteral("PostgreSQL/Database"), m_params.database);
        ini.setValue(QStringLiteral("PostgreSQL/User"), m_params.user);
        ini.setValue(QStringLiteral("PostgreSQL/Password"), m_params.password);
        ini.setValue(QStringLiteral("PostgreSQL/Options"), m_params.options);
    } else {
        ini.setValue(QStringLiteral("General/Engine"), QStringLiteral("sqlite"));
        const QDir dir = QFileInfo(m_iniPath).absoluteDir();
        ini.setValue(QStringLiteral("SQLite/Path"), dir.relativeFilePath(m_params.sqlitePath));
    }
    ini.sync();
    return ini.status() == QSettings::NoError;
}

namespace {
Settings &currentSettings()
{
    static Settings s;
    return s;
}
} // namespace

const Settings &Settings::current() { return currentSettings(); }
void Settings::setCurrent(const Settings &s) { currentSettings() = s; }
