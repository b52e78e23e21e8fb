#pragma once
#include <QStringList>

struct LoginSession;

// What a rights level (Staffer.czqx) opens in the main window's menu.
// The windows themselves never test rights; the main window's ApplyRights
// enables its menu entries (named by objectName) from these lists.
namespace Rights {

// Always enabled, logged in or not: 系统登录, 系统退出, 帮助, 关于.
QStringList alwaysEnabledEntries();
// Level 1 and up: the queries, the reports and the password change (fourteen entries).
QStringList queryEntries();
// Level 2 and up: the bill windows (eight entries); the bill toolbar shows with them.
QStringList billEntries();
// Level 3 and up: the base-data windows (five entries).
QStringList baseDataEntries();

struct Grant {
    bool queries = false;
    bool bills = false;     // also: the bill toolbar is shown
    bool baseData = false;
};
Grant grantFor(int level);

// The status-bar line of a login:
// "登录人：[code]name          登录时间：hh:mm:ss" (ten blanks before 登录时间).
QString loginLine(const LoginSession &session);

} // namespace Rights
