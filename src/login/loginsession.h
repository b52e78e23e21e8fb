#pragma once
#include <QDateTime>
#include <QString>

// The current login, process-wide. Empty until the first successful login;
// each later login replaces it whole. There is no log-out.
//
// Other windows read it through LoginSession::current(); the bill windows
// take LoginName as the maker of a new bill:
//
//     maker = LoginSession::current().LoginName;
struct LoginSession {
    QString LoginCode;      // the staff code as typed, trimmed
    QString LoginName;      // Staffer.Name of the user
    int LoginRights = 0;    // Staffer.czqx (0 when empty)
    QDateTime LoginTime;    // the moment of the login
    QString LoginPassword;  // Staffer.Pass as stored (a hash, or empty); replaced by a password change
    qint64 StafferId = 0;   // Staffer.Id of the row that logged in (the password change writes this row)

    bool isLoggedIn() const { return StafferId != 0; }

    static const LoginSession &current();
    static void set(const LoginSession &session);
    // Back to "nobody logged in" (tests).
    static void reset();
    // The password change replaces the stored form of the current user's password.
    static void setPassword(const QString &stored);
};
