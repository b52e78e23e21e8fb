#include "login/loginsession.h"

namespace {
LoginSession &slot()
{
    static LoginSession s;
    return s;
}
} // namespace

const LoginSession &LoginSession::current() { return slot(); }
void LoginSession::set(const LoginSession &session) { slot() = session; }
void LoginSession::reset() { slot() = LoginSession(); }
void LoginSession::setPassword(const QString &stored) { slot().LoginPassword = stored; }
