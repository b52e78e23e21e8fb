#pragma once
#include <QDateTime>
#include <QString>
#include <QVariant>

enum class Engine { SQLite, PostgreSQL };

// The only place that knows how the two engines differ: identifier quoting,
// how dates are bound and read, the SQL of a few functions.
class Dialect {
public:
    explicit Dialect(Engine engine = Engine::SQLite) : m_engine(engine) {}
    Engine engine() const { return m_engine; }
    bool isSqlite() const { return m_engine == Engine::SQLite; }

    // Identifiers are case-insensitive; PostgreSQL keeps them in lower case,
    // and a reserved word such as User has to be quoted on either engine.
    QString quote(const QString &identifier) const;

    // A value as it is handed to the driver: dates become the canonical text
    // "YYYY-MM-DD HH:MM:SS"; every other value passes unchanged.
    QVariant toDb(const QVariant &value) const;

    // Column type names for DDL.
    QString autoNumberType() const;
    QString dateType() const;
    QString doubleType() const;
    QString blobType() const;
    QString smallIntType() const;

    // Whole months from `from` to `to`, counting only year and month (the day is ignored).
    QString monthDiff(const QString &fromExpr, const QString &toExpr) const;
    // `expr` rounded to `decimals` places, as a floating value.
    QString round(const QString &expr, int decimals) const;
    // Text of the first `n` characters of expr.
    QString left(const QString &expr, int n) const;
    // Concatenation of two text expressions.
    QString concat(const QString &a, const QString &b) const;
    // Length in characters of a text expression.
    QString length(const QString &expr) const;

    static QString canonicalDateTime(const QDateTime &dt);
    static QString canonicalDate(const QDate &d);
    // Reads "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS[.fff]]" and the 'T' form; invalid on anything else.
    static QDateTime parseDateTime(const char *text, int len);
    // The same without building a QDateTime (which asks the time zone).
    static bool parseDateTimeParts(const char *text, int len, QDate &date, int &msecs);
    static QDateTime parseDateTime(const QString &text);

private:
    Engine m_engine;
};
