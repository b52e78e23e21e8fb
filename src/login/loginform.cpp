#include "login/loginform.h"
#include "common/prompter.h"
#include "data/connection.h"
#include "data/errors.h"
#include "login/dialogparts.h"
#include "login/login.h"
#include "login/loginsession.h"
#include "login/passwordhash.h"

#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

LoginForm::LoginForm(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setObjectName(QStringLiteral("LoginForm"));
    setWindowTitle(QStringLiteral("系统登录"));
    setFont(DialogParts::songTi(15));
    setFixedSize(391, 203);

    CodeTextEdit = new QLineEdit(QStringLiteral("Admin"), this);
    CodeTextEdit->setObjectName(QStringLiteral("CodeTextEdit"));
    CodeTextEdit->setFixedWidth(129);
    DialogParts::makeCream(CodeTextEdit);
    PassTextEdit = new QLineEdit(this);
    PassTextEdit->setObjectName(QStringLiteral("PassTextEdit"));
    PassTextEdit->setFixedWidth(129);
    PassTextEdit->setEchoMode(QLineEdit::Password);
    DialogParts::makeCream(PassTextEdit);
    Okbtn = new QPushButton(QStringLiteral("登录"), this);
    Okbtn->setObjectName(QStringLiteral("Okbtn"));
    Okbtn->setDefault(true);
    CancelBtn = new QPushButton(QStringLiteral("放弃"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));

    auto *codeLabel = new QLabel(QStringLiteral("登录编号"), this);
    codeLabel->setBuddy(CodeTextEdit);
    auto *passLabel = new QLabel(QStringLiteral("登录密码"), this);
    passLabel->setBuddy(PassTextEdit);

    auto *grid = new QGridLayout;
    grid->setContentsMargins(20, 28, 24, 20);
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(14);
    grid->addWidget(codeLabel, 0, 0);
    grid->addWidget(CodeTextEdit, 0, 1);
    grid->addWidget(passLabel, 1, 0);
    grid->addWidget(PassTextEdit, 1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(Okbtn);
    buttons->addWidget(CancelBtn);
    grid->addLayout(buttons, 2, 0, 1, 2);
    grid->setRowStretch(3, 1);

    auto *outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    outer->addWidget(new DialogParts::PicturePanel(131, this));
    outer->addLayout(grid, 1);

    setTabOrder(CodeTextEdit, PassTextEdit);
    setTabOrder(PassTextEdit, Okbtn);
    setTabOrder(Okbtn, CancelBtn);

    connect(Okbtn, &QPushButton::clicked, this, &LoginForm::OkbtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void LoginForm::showEvent(QShowEvent *e)
{
    m_attempts = 0;
    if (QScreen *s = screen())
        move(s->availableGeometry().center() - rect().center());
    CodeTextEdit->setFocus();
    QDialog::showEvent(e);
}

void LoginForm::OkbtnClick()
{
    if (m_attempts >= 3) {
        Prompter::instance().information(QStringLiteral("对不起，您没有权限登录该系统！"), QStringLiteral("错误"), this);
        reject();
        return;
    }
    const QString code = CodeTextEdit->text().trimmed();
    const QString password = PassTextEdit->text().trimmed();

    Login::StafferRow row;
    try {
        Connection *conn = Connection::current();
        if (!conn)
            throw DataError(QStringLiteral("数据库没有打开。"));
        row = Login::find(*conn, code);
    } catch (const DataError &e) {
        // Reported like any other database error; it counts as no attempt.
        Prompter::instance().information(e.message(), QString(), this);
        return;
    }

    auto failed = [this](const QString &text) {
        Prompter::instance().information(text, QStringLiteral("警告"), this);
        ++m_attempts;
        CodeTextEdit->clear();
        PassTextEdit->clear();
        CodeTextEdit->setFocus();
    };

    if (!row.found) {
        failed(QStringLiteral("没有此用户，请重新登录！"));
        return;
    }
    const PasswordHash::Match match = PasswordHash::check(password, row.pass);
    if (match == PasswordHash::Match::No) {
        failed(QStringLiteral("用户密码错误，请重新登录！"));
        return;
    }

    LoginSession s;
    s.LoginCode = code;
    s.LoginName = row.name;
    s.LoginRights = row.rights;
    s.LoginTime = QDateTime::currentDateTime();
    s.LoginPassword = match == PasswordHash::Match::YesPlainText
        ? Login::upgradePlainText(*Connection::current(), row.id, row.pass, password)
        : row.pass;
    s.StafferId = row.id;
    LoginSession::set(s);
    emit loggedIn(s.LoginRights);
    accept();
}
