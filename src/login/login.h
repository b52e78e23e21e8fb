#pragma once
#include <QString>

class Connection;

// The database half of the login and of the password change. Every typed
// value is bound as a parameter. Errors are DataError exceptions.
namespace Login {

struct StafferRow {
    bool found = false;
    qint64 id = 0;
    QString name;   // empty when null
    int rights = 0; // czqx, 0 when null
    QString pass;   // as stored, empty when null
};

// The staff row of a login code (already trimmed). Codes are compared
// without regard to letter case, as the register always did; a row whose
// code matches exactly is preferred, then the oldest row.
StafferRow find(Connection &conn, const QString &code);

// A password still stored as typed is replaced by its hash, in its own
// transaction, and only while the row still holds `oldStored`. Returns the
// stored form in effect afterwards (the old one when the rewrite failed).
QString upgradePlainText(Connection &conn, qint64 stafferId, const QString &oldStored, const QString &typed);

// Stores `newPassword` (already trimmed) for the staff row in one
// transaction and returns its stored form. A row that no longer exists is
// a failure.
QString changePassword(Connection &conn, qint64 stafferId, const QString &newPassword);

} // namespace Login
