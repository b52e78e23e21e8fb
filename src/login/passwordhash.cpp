#include "login/passwordhash.h"
#include "data/errors.h"

#include <sodium.h>

namespace {
bool ready()
{
    static const bool ok = sodium_init() >= 0;
    return ok;
}

bool fastHashing() { return !qEnvironmentVariableIsEmpty("ZENTRAV_FAST_PWHASH"); }
} // namespace

namespace PasswordHash {

bool isHash(const QString &stored)
{
    return stored.startsWith(QLatin1String("$argon2id$")) || stored.startsWith(QLatin1String("$argon2i$"));
}

QString make(const QString &password)
{
    if (password.isEmpty())
        return QString(QLatin1String("")); // stored as an empty text, not null
    if (!ready())
        throw DataError(QStringLiteral("密码加密组件无法初始化。"));
    const QByteArray utf8 = password.toUtf8();
    const unsigned long long ops = fastHashing() ? crypto_pwhash_OPSLIMIT_MIN : crypto_pwhash_OPSLIMIT_INTERACTIVE;
    const size_t mem = fastHashing() ? crypto_pwhash_MEMLIMIT_MIN : crypto_pwhash_MEMLIMIT_INTERACTIVE;
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(out, utf8.constData(), static_cast<unsigned long long>(utf8.size()), ops, mem,
                              crypto_pwhash_ALG_ARGON2ID13) != 0)
        throw DataError(QStringLiteral("密码加密失败（内存不足）。"));
    return QString::fromLatin1(out);
}

Match check(const QString &typed, const QString &stored)
{
    if (stored.isEmpty())
        return typed.isEmpty() ? Match::Yes : Match::No;
    if (isHash(stored)) {
        if (!ready())
            return Match::No;
        const QByteArray utf8 = typed.toUtf8();
        const QByteArray hash = stored.toLatin1();
        return crypto_pwhash_str_verify(hash.constData(), utf8.constData(), static_cast<unsigned long long>(utf8.size())) == 0
            ? Match::Yes
            : Match::No;
    }
    return typed == stored ? Match::YesPlainText : Match::No;
}

} // namespace PasswordHash
