#pragma once
#include <QDialog>

class QLineEdit;
class QPushButton;

// The password dialog "修改密码" of the logged-in user. The old password is
// checked against the one read at login (LoginSession::LoginPassword), not
// read again; the new one is stored as a hash in one transaction.
class ChangePassForm : public QDialog {
    Q_OBJECT
public:
    explicit ChangePassForm(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *e) override;

private:
    void OkbtnClick();
    void clearPasswords();

    QLineEdit *CodenameTextEdit;
    QLineEdit *OldPassTextEdit;
    QLineEdit *NewPass1TextEdit;
    QLineEdit *NewPass2TextEdit;
    QPushButton *Okbtn;
    QPushButton *CancelBtn;
};
