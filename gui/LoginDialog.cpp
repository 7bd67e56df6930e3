#include "LoginDialog.h"

#include <QCloseEvent>
#include <QShowEvent>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace taviro {

LoginDialog::LoginDialog(LoginCheck check, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::CustomizeWindowHint | Qt::WindowStaysOnTopHint),
      m_check(std::move(check))
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Taviro Login"));
    setWindowModality(Qt::ApplicationModal);

    m_login = new QLineEdit(this);
    m_login->setObjectName(QStringLiteral("txtloginnaam"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtwachtwoord"));
    m_password->setEchoMode(QLineEdit::Password);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setObjectName(QStringLiteral("cmdOK"));
    m_ok->setDefault(true);

    auto* form = new QFormLayout;
    auto* loginLabel = new QLabel(QStringLiteral("&Gebruikersnaam:"), this);
    loginLabel->setBuddy(m_login);
    auto* passwordLabel = new QLabel(QStringLiteral("&Wachtwoord:"), this);
    passwordLabel->setBuddy(m_password);
    form->addRow(loginLabel, m_login);
    form->addRow(passwordLabel, m_password);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_ok, 0, Qt::AlignRight);

    connect(m_ok, &QPushButton::clicked, this, &LoginDialog::tryLogin);
    if (parent)
        parent->window()->installEventFilter(this);
}

bool LoginDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::WindowActivate && isVisible() && watched != this)
        QTimer::singleShot(0, this, [this] {
            if (!isVisible())
                return;
            raise();
            activateWindow();
        });
    return QDialog::eventFilter(watched, event);
}

void LoginDialog::tryLogin()
{
    const bool accepted = m_check && m_check(m_login->text(), m_password->text());
    m_password->clear();
    if (!accepted)
        return; // no message, no lock-out: the dialog simply stays
    m_done = true;
    accept();
    Q_EMIT loggedIn();
}

void LoginDialog::reject() {}

void LoginDialog::dismiss()
{
    m_done = true;
    close();
}

void LoginDialog::showEvent(QShowEvent* event)
{
    // The same dialog comes back after every log-out: each showing starts
    // blank and again demands a successful login before it lets go.
    m_done = false;
    m_login->clear();
    m_password->clear();
    m_login->setFocus();
    QDialog::showEvent(event);
}

void LoginDialog::closeEvent(QCloseEvent* event)
{
    if (m_done)
        event->accept();
    else
        event->ignore();
}

} // namespace taviro
