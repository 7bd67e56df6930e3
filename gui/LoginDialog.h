#pragma once

#include <QDialog>

#include <functional>

class QLineEdit;
class QPushButton;

namespace taviro {

// frmLogin: stays on top and can only be left by a successful login. While it
// is open the main window takes no input; alarms keep coming in meanwhile.
class LoginDialog : public QDialog
{
    Q_OBJECT
public:
    // check returns true when the login name and password are accepted.
    using LoginCheck = std::function<bool(const QString& loginnaam, const QString& wachtwoord)>;
    LoginDialog(LoginCheck check, QWidget* parent = nullptr);

    void reject() override; // Escape does not dismiss it
    // Closes the dialog without a login, for the console's own shutdown only.
    void dismiss();

Q_SIGNALS:
    void loggedIn();

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    // A click on the blocked main window makes the window manager give it the
    // keyboard; the dialog takes it straight back.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tryLogin();

    LoginCheck m_check;
    QLineEdit* m_login;
    QLineEdit* m_password;
    QPushButton* m_ok;
    bool m_done = false;
};

} // namespace taviro
