#include "login/changepassform.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/errors.h"
#include "login/dialogparts.h"
#include "login/login.h"
#include "login/loginsession.h"
#include "login/passwordhash.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

namespace {
QLineEdit *editor(QWidget *parent, const char *name, bool password)
{
    auto *e = new QLineEdit(parent);
    e->setObjectName(QLatin1String(name));
    if (password)
        e->setEchoMode(QLineEdit::Password);
    DialogParts::makeCream(e);
    return e;
}
} // namespace

ChangePassForm::ChangePassForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("ChangePassForm"));
    setWindowTitle(QStringLiteral("修改密码"));
    setFont(DialogParts::songTi(15));
    setFixedSize(405, 259);

    CodenameTextEdit = editor(this, "CodenameTextEdit", false);
    CodenameTextEdit->setReadOnly(true);
    CodenameTextEdit->setFocusPolicy(Qt::NoFocus);
    OldPassTextEdit = editor(this, "OldPassTextEdit", true);
    NewPass1TextEdit = editor(this, "NewPass1TextEdit", true);
    NewPass2TextEdit = editor(this, "NewPass2TextEdit", true);
    Okbtn = new QPushButton(QStringLiteral("修改"), this);
    Okbtn->setObjectName(QStringLiteral("Okbtn"));
    Okbtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("放弃"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto *grid = new QGridLayout;
    grid->setContentsMargins(20, 24, 24, 20);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(12);
    const std::pair<const char *, QLineEdit *> rows[] = {{"用户名称", CodenameTextEdit}, {"原有密码", OldPassTextEdit},
                                                         {"更新密码", NewPass1TextEdit}, {"再次输入", NewPass2TextEdit}};
    int r = 0;
    for (const auto &[label, edit] : rows) {
        auto *l = new QLabel(QString::fromUtf8(label), this);
        l->setBuddy(edit);
        grid->addWidget(l, r, 0);
        grid->addWidget(edit, r, 1);
        ++r;
    }
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Okbtn);
    buttons->addWidget(CancelBtn);
    grid->addLayout(buttons, r, 0, 1, 2);
    grid->setRowStretch(r + 1, 1);

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(new DialogParts::PicturePanel(147, this));
    outer->addLayout(grid, 1);

    setTabOrder(OldPassTextEdit, NewPass1TextEdit);
    setTabOrder(NewPass1TextEdit, NewPass2TextEdit);
    setTabOrder(NewPass2TextEdit, Okbtn);
    setTabOrder(Okbtn, CancelBtn);

    connect(Okbtn, &QPushButton::clicked, this, &ChangePassForm::OkbtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void ChangePassForm::showEvent(QShowEvent *e)
{
    const LoginSession &s = LoginSession::current();
    CodenameTextEdit->setText(QStringLiteral("[") + s.LoginCode + QStringLiteral("]") + s.LoginName);
    if (QScreen *sc = screen())
        move(sc->availableGeometry().center() - rect().center());
    OldPassTextEdit->setFocus();
    QDialog::showEvent(e);
}

void ChangePassForm::clearPasswords()
{
    OldPassTextEdit->clear();
    NewPass1TextEdit->clear();
    NewPass2TextEdit->clear();
    OldPassTextEdit->setFocus();
}

void ChangePassForm::OkbtnClick()
{
    const LoginSession &s = LoginSession::current();
    if (PasswordHash::check(OldPassTextEdit->text().trimmed(), s.LoginPassword) == PasswordHash::Match::No) {
        Prompter::instance().information(QStringLiteral("输入的原有密码不正确"), QStringLiteral("警告"), this);
        clearPasswords();
        return;
    }
    const QString newPassword = NewPass1TextEdit->text().trimmed();
    if (newPassword != NewPass2TextEdit->text().trimmed()) {
        Prompter::instance().information(QStringLiteral("两次输入的新密码不相同！"), QStringLiteral("警告"), this);
        clearPasswords();
        return;
    }
    try {
        Connection *conn = Connection::current();
        if (!conn || !s.isLoggedIn())
            throw DataError(QStringLiteral("没有登录。"));
        const QString stored = Login::changePassword(*conn, s.StafferId, newPassword);
        LoginSession::setPassword(stored);
    } catch (const DataError &) {
        Prompter::instance().information(QStringLiteral("密码修改失败！"), QStringLiteral("警告"), this);
        return;
    }
    Prompter::instance().information(QStringLiteral("密码修改成功！"), QStringLiteral("提示"), this);
    accept();
}
