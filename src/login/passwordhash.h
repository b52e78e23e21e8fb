#pragma once
#include <QString>

// How Staffer.Pass is kept: an Argon2id hash string (libsodium
// crypto_pwhash_str), or empty for "no password". Rows from older data may
// still hold a password as typed; such a row logs in once and is rewritten
// as a hash (see login.h).
//
// Hashing uses libsodium's interactive limits. When the environment
// variable ZENTRAV_FAST_PWHASH is set (test suites), the minimum limits are
// used instead so that tests stay quick; verification reads the limits from
// the stored string either way.
namespace PasswordHash {

enum class Match {
    No,
    Yes,          // matches a hash, or both are empty
    YesPlainText  // matches a password stored as typed: rewrite it as a hash
};

// The stored form of `password`: empty for an empty password, otherwise a
// fresh Argon2id hash string. Throws DataError when libsodium cannot hash
// (out of memory).
QString make(const QString &password);

// Whether `typed` is the password `stored` stands for. Exact comparison:
// letter case and blanks count.
Match check(const QString &typed, const QString &stored);

// Whether `stored` is a hash string (rather than empty or a password as typed).
bool isHash(const QString &stored);

} // namespace PasswordHash
