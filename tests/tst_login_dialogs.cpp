// The login dialog, the password change and the stored password forms,
// on a fresh register per test (SQLite, and PostgreSQL when available).
#include "common/prompter.h"
#include "data/connection.h"
#include "login/changepassform.h"
#include "login/login.h"
#include "login/loginform.h"
#include "login/loginsession.h"
#include "login/passwordhash.h"
#include "login/rights.h"
#include "support/testdb.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

Q_DECLARE_METATYPE(Engine)

class TestLoginDialogs : public QObject {
    Q_OBJECT

    std::unique_ptr<TestDb> m_db;

    Connection &conn() { return m_db->conn(); }

    void addStaffer(const QString &code, const QString &name, const QVariant &rights, const QVariant &pass)
    {
        conn().exec(QStringLiteral("INSERT INTO Staffer (Code, Name, czqx, Pass) VALUES (?,?,?,?)"),
                    QVariantList{code, name, rights, pass});
    }
    QString storedPass(const QString &code)
    {
        return conn().scalar(QStringLiteral("SELECT Pass FROM Staffer WHERE Code = ?"), QVariantList{code}).toString();
    }
    // Types into the login dialog and clicks "登录".
    static void attempt(LoginForm &f, const QString &code, const QString &pass)
    {
        f.findChild<QLineEdit *>(QStringLiteral("CodeTextEdit"))->setText(code);
        f.findChild<QLineEdit *>(QStringLiteral("PassTextEdit"))->setText(pass);
        QTest::mouseClick(f.findChild<QPushButton *>(QStringLiteral("Okbtn")), Qt::LeftButton);
    }
    static void change(ChangePassForm &f, const QString &oldPass, const QString &new1, const QString &new2)
    {
        f.findChild<QLineEdit *>(QStringLiteral("OldPassTextEdit"))->setText(oldPass);
        f.findChild<QLineEdit *>(QStringLiteral("NewPass1TextEdit"))->setText(new1);
        f.findChild<QLineEdit *>(QStringLiteral("NewPass2TextEdit"))->setText(new2);
        QTest::mouseClick(f.findChild<QPushButton *>(QStringLiteral("Okbtn")), Qt::LeftButton);
    }
    // Logs `code` in through the dialog; fails the test when it does not succeed.
    bool logIn(const QString &code, const QString &pass)
    {
        ScopedScriptedPrompter prompter;
        LoginForm f;
        f.show();
        attempt(f, code, pass);
        return f.result() == QDialog::Accepted && LoginSession::current().isLoggedIn();
    }

private slots:
    void initTestCase()
    {
        qputenv("ZENTRAV_FAST_PWHASH", "1");
    }
    void initTestCase_data() { TestDb::addEngineRows(); }
    void init()
    {
        if (TestDb::currentEngine() == Engine::PostgreSQL && !TestDb::pgAvailable())
            QSKIP("ZENTRAV_TEST_PG is not set: the PostgreSQL half is skipped");
        m_db = std::make_unique<TestDb>(TestDb::currentEngine());
        Connection::setCurrent(&conn());
        LoginSession::reset();
    }
    void cleanup()
    {
        Connection::setCurrent(nullptr);
        m_db.reset();
        LoginSession::reset();
    }

    void successfulLogin_data()
    {
        QTest::addColumn<QString>("typedCode");
        QTest::addColumn<QString>("typedPass");
        QTest::addColumn<QString>("storedCode");
        QTest::addColumn<QVariant>("storedPass");
        QTest::addColumn<QVariant>("storedRights");
        QTest::addColumn<int>("rights");
        QTest::newRow("seeded Admin, empty password") << "Admin" << "" << "Admin" << QVariant() << QVariant() << 3;
        QTest::newRow("blanks around code and password") << "  zhang  " << " 123 " << "zhang" << QVariant(PasswordHash::make("123")) << QVariant(2) << 2;
        QTest::newRow("code in another letter case") << "ZHANG" << "123" << "zhang" << QVariant(PasswordHash::make("123")) << QVariant(1) << 1;
        QTest::newRow("quote in code and password") << "O'Neil" << "a'b\"c" << "O'Neil" << QVariant(PasswordHash::make("a'b\"c")) << QVariant(2) << 2;
        QTest::newRow("null password and null rights") << "li" << "" << "li" << QVariant(QMetaType(QMetaType::QString)) << QVariant(QMetaType(QMetaType::Int)) << 0;
        QTest::newRow("rights 0") << "wang" << "x" << "wang" << QVariant(PasswordHash::make("x")) << QVariant(0) << 0;
    }
    void successfulLogin()
    {
        QFETCH(QString, typedCode);
        QFETCH(QString, typedPass);
        QFETCH(QString, storedCode);
        QFETCH(QVariant, storedPass);
        QFETCH(QVariant, storedRights);
        QFETCH(int, rights);
        if (storedCode != QLatin1String("Admin"))
            addStaffer(storedCode, QStringLiteral("张三"), storedRights, storedPass);

        ScopedScriptedPrompter prompter;
        LoginForm f;
        QSignalSpy spy(&f, &LoginForm::loggedIn);
        f.show();
        const QDateTime before = QDateTime::currentDateTime();
        attempt(f, typedCode, typedPass);
        QCOMPARE(prompter->texts(), QStringList());
        QCOMPARE(f.result(), int(QDialog::Accepted));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(spy.at(0).at(0).toInt(), rights);
        const LoginSession &s = LoginSession::current();
        QCOMPARE(s.LoginCode, typedCode.trimmed());
        QCOMPARE(s.LoginRights, rights);
        QVERIFY(s.LoginTime >= before.addSecs(-1));
        QVERIFY(!s.LoginName.isEmpty());
    }

    void lockoutAfterThreeFailures()
    {
        addStaffer(QStringLiteral("zhang"), QStringLiteral("张三"), 2, PasswordHash::make(QStringLiteral("Secret")));
        ScopedScriptedPrompter prompter;
        LoginForm f;
        QSignalSpy spy(&f, &LoginForm::loggedIn);
        f.show();
        attempt(f, QStringLiteral("nobody"), QString());
        QCOMPARE(f.findChild<QLineEdit *>(QStringLiteral("CodeTextEdit"))->text(), QString());
        QCOMPARE(f.findChild<QLineEdit *>(QStringLiteral("PassTextEdit"))->text(), QString());
        attempt(f, QStringLiteral("zhang"), QStringLiteral("secret")); // case counts
        attempt(f, QStringLiteral("Admin"), QStringLiteral("x"));
        QVERIFY(f.isVisible());
        attempt(f, QStringLiteral("zhang"), QStringLiteral("Secret")); // right, but too late
        QCOMPARE(prompter->texts(), (QStringList{QStringLiteral("没有此用户，请重新登录！"), QStringLiteral("用户密码错误，请重新登录！"),
                                                 QStringLiteral("用户密码错误，请重新登录！"), QStringLiteral("对不起，您没有权限登录该系统！")}));
        QCOMPARE(prompter->shown.at(0).title, QStringLiteral("警告"));
        QCOMPARE(prompter->shown.at(1).title, QStringLiteral("警告"));
        QCOMPARE(prompter->shown.at(3).title, QStringLiteral("错误"));
        QVERIFY(!f.isVisible());
        QCOMPARE(f.result(), int(QDialog::Rejected));
        QCOMPARE(spy.count(), 0);
        QVERIFY(!LoginSession::current().isLoggedIn());

        // Opening the dialog again gives three new attempts.
        prompter->clear();
        f.show();
        attempt(f, QStringLiteral("zhang"), QStringLiteral("Secret"));
        QCOMPARE(prompter->texts(), QStringList());
        QCOMPARE(spy.count(), 1);
    }

    void failedLoginKeepsEarlierSession()
    {
        QVERIFY(logIn(QStringLiteral("Admin"), QString()));
        const QDateTime t = LoginSession::current().LoginTime;
        ScopedScriptedPrompter prompter;
        LoginForm f;
        f.show();
        attempt(f, QStringLiteral("Admin"), QStringLiteral("wrong"));
        QTest::mouseClick(f.findChild<QPushButton *>(QStringLiteral("CancelBtn")), Qt::LeftButton);
        QCOMPARE(f.result(), int(QDialog::Rejected));
        QCOMPARE(LoginSession::current().LoginCode, QStringLiteral("Admin"));
        QCOMPARE(LoginSession::current().LoginTime, t);
    }

    void storedPasswordWithTrailingBlankNeverMatches()
    {
        addStaffer(QStringLiteral("old"), QStringLiteral("老"), 1, QStringLiteral("abc "));
        ScopedScriptedPrompter prompter;
        LoginForm f;
        f.show();
        attempt(f, QStringLiteral("old"), QStringLiteral("abc "));
        QCOMPARE(prompter->lastText(), QStringLiteral("用户密码错误，请重新登录！"));
    }

    void plainTextPasswordIsRewrittenAsHash()
    {
        addStaffer(QStringLiteral("old"), QStringLiteral("老"), 1, QStringLiteral("Pa'ss"));
        QVERIFY(!logIn(QStringLiteral("old"), QStringLiteral("pa'ss")));
        QCOMPARE(storedPass(QStringLiteral("old")), QStringLiteral("Pa'ss"));
        QVERIFY(logIn(QStringLiteral("old"), QStringLiteral("Pa'ss")));
        const QString stored = storedPass(QStringLiteral("old"));
        QVERIFY(PasswordHash::isHash(stored));
        QCOMPARE(LoginSession::current().LoginPassword, stored);
        QVERIFY(PasswordHash::check(QStringLiteral("Pa'ss"), stored) == PasswordHash::Match::Yes);
        // The hash now logs in; the plain text stored earlier is gone.
        LoginSession::reset();
        QVERIFY(logIn(QStringLiteral("old"), QStringLiteral("Pa'ss")));
        QVERIFY(!logIn(QStringLiteral("old"), stored));
    }

    void databaseErrorCountsAsNoAttempt()
    {
        ScopedScriptedPrompter prompter;
        LoginForm f;
        f.show();
        conn().close();
        for (int i = 0; i < 4; ++i)
            attempt(f, QStringLiteral("Admin"), QString());
        QCOMPARE(prompter->texts().size(), 4);
        QVERIFY(!prompter->texts().contains(QStringLiteral("对不起，您没有权限登录该系统！")));
        QCOMPARE(f.attempts(), 0);
        QVERIFY(f.isVisible());
    }

    void changePasswordMessages()
    {
        addStaffer(QStringLiteral("zhang"), QStringLiteral("张三"), 2, PasswordHash::make(QStringLiteral("old1")));
        QVERIFY(logIn(QStringLiteral("zhang"), QStringLiteral("old1")));
        ScopedScriptedPrompter prompter;
        ChangePassForm f;
        f.show();
        QCOMPARE(f.findChild<QLineEdit *>(QStringLiteral("CodenameTextEdit"))->text(), QStringLiteral("[zhang]张三"));

        change(f, QStringLiteral("OLD1"), QStringLiteral("n"), QStringLiteral("n"));
        QCOMPARE(prompter->shown.back().text, QStringLiteral("输入的原有密码不正确"));
        QCOMPARE(prompter->shown.back().title, QStringLiteral("警告"));
        for (const char *name : {"OldPassTextEdit", "NewPass1TextEdit", "NewPass2TextEdit"})
            QCOMPARE(f.findChild<QLineEdit *>(QLatin1String(name))->text(), QString());

        change(f, QStringLiteral("old1"), QStringLiteral("new1"), QStringLiteral("new2"));
        QCOMPARE(prompter->shown.back().text, QStringLiteral("两次输入的新密码不相同！"));
        QCOMPARE(prompter->shown.back().title, QStringLiteral("警告"));
        QVERIFY(PasswordHash::check(QStringLiteral("old1"), storedPass(QStringLiteral("zhang"))) == PasswordHash::Match::Yes);
        QVERIFY(f.isVisible());

        change(f, QStringLiteral(" old1 "), QStringLiteral("new'1 "), QStringLiteral(" new'1"));
        QCOMPARE(prompter->shown.back().text, QStringLiteral("密码修改成功！"));
        QCOMPARE(prompter->shown.back().title, QStringLiteral("提示"));
        QVERIFY(!f.isVisible());
        const QString stored = storedPass(QStringLiteral("zhang"));
        QVERIFY2(stored.startsWith(QLatin1String("$argon2id$")), qPrintable(stored));
        QVERIFY(PasswordHash::check(QStringLiteral("new'1"), stored) == PasswordHash::Match::Yes);
        QCOMPARE(LoginSession::current().LoginPassword, stored);

        // A second change in the same run needs the new password as the old one.
        prompter->clear();
        ChangePassForm again;
        again.show();
        change(again, QStringLiteral("old1"), QStringLiteral("x"), QStringLiteral("x"));
        QCOMPARE(prompter->lastText(), QStringLiteral("输入的原有密码不正确"));
        change(again, QStringLiteral("new'1"), QString(), QString()); // empty is accepted
        QCOMPARE(prompter->lastText(), QStringLiteral("密码修改成功！"));
        QCOMPARE(storedPass(QStringLiteral("zhang")), QString());
        LoginSession::reset();
        QVERIFY(logIn(QStringLiteral("zhang"), QString()));
    }

    void failedChangeKeepsOldPassword()
    {
        addStaffer(QStringLiteral("zhang"), QStringLiteral("张三"), 2, PasswordHash::make(QStringLiteral("old1")));
        QVERIFY(logIn(QStringLiteral("zhang"), QStringLiteral("old1")));
        const QString before = LoginSession::current().LoginPassword;
        conn().exec(QStringLiteral("DELETE FROM Staffer WHERE Code = ?"), QVariantList{QStringLiteral("zhang")});
        ScopedScriptedPrompter prompter;
        ChangePassForm f;
        f.show();
        change(f, QStringLiteral("old1"), QStringLiteral("n"), QStringLiteral("n"));
        QCOMPARE(prompter->texts(), QStringList{QStringLiteral("密码修改失败！")});
        QCOMPARE(prompter->shown.back().title, QStringLiteral("警告"));
        QVERIFY(f.isVisible());
        QCOMPARE(LoginSession::current().LoginPassword, before);
    }

    void loginLine()
    {
        LoginSession s;
        s.LoginCode = QStringLiteral("admin");
        s.LoginName = QStringLiteral("系统管理员");
        s.LoginTime = QDateTime(QDate(2024, 3, 5), QTime(9, 7, 3));
        QCOMPARE(Rights::loginLine(s), QStringLiteral("登录人：[admin]系统管理员          登录时间：09:07:03"));
    }
};

QTEST_MAIN(TestLoginDialogs)
#include "tst_login_dialogs.moc"
