#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

// The login dialog "系统登录". Three failed attempts per opening; the fourth
// click refuses and closes the dialog. A successful login replaces
// LoginSession and emits loggedIn(rights) before the dialog closes, so the
// main window applies the rights (ApplyRights). A failed or cancelled login
// changes nothing.
class LoginForm : public QDialog {
    Q_OBJECT
public:
    explicit LoginForm(QWidget *parent = nullptr);

    int attempts() const { return m_attempts; }

signals:
    void loggedIn(int rights);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void OkbtnClick();

    QLineEdit *CodeTextEdit;
    QLineEdit *PassTextEdit;
    QPushButton *Okbtn;
    QPushButton *CancelBtn;
    int m_attempts = 0;
};
