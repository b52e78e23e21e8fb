#pragma once
#include "data/dialect.h"
#include <QString>

// Where the register lives and how to reach it: zentrav.ini beside the
// database (by default beside the executable).
//
//   [General]
//   OrganisationName=某某单位
//   Engine=sqlite            ; or postgresql
//   [SQLite]
//   Path=Zentrav.db          ; relative to the ini file's folder
//   [PostgreSQL]
//   Host=127.0.0.1
//   Port=5432
//   Database=zentrav
//   User=zentrav
//   Password=               ; empty: libpq looks in ~/.pgpass
//   Options=                ; extra libpq options, e.g. sslmode=require
struct ConnectionParams {
    Engine engine = Engine::SQLite;
    QString sqlitePath;
    QString host = QStringLiteral("127.0.0.1");
    int port = 5432;
    QString database = QStringLiteral("zentrav");
    QString user;
    QString password;
    QString options;

    // Reads a libpq key=value string ("host=… port=… dbname=… user=… password=…").
    static ConnectionParams fromPgString(const QString &conninfo);
    static ConnectionParams sqlite(const QString &path);
    QString describe() const; // for messages: the file, or user@host:port/db
};

class Settings {
public:
    static constexpr const char *FileName = "zentrav.ini";
    static constexpr const char *DefaultDatabaseName = "Zentrav.db";

    // The folder of the executable, or the user's data folder when that is not writable.
    static QString defaultFolder();

    // Loads `iniPath`; a missing file gives the defaults (SQLite beside it).
    static Settings load(const QString &iniPath);
    // Settings for a given SQLite database: the ini beside it is read when present.
    static Settings forDatabase(const QString &dbPath);
    static Settings defaults();

    bool save() const;

    // The settings of the register this process works on (set once at start-up);
    // print-outs take the organisation name (report variable dwmc) from here.
    static const Settings &current();
    static void setCurrent(const Settings &s);

    QString iniPath() const { return m_iniPath; }
    QString organisationName() const { return m_organisationName; }
    void setOrganisationName(const QString &name) { m_organisationName = name; }
    ConnectionParams connection() const { return m_params; }
    void setConnection(const ConnectionParams &p) { m_params = p; }

private:
    QString m_iniPath;
    QString m_organisationName;
    ConnectionParams m_params;
};
