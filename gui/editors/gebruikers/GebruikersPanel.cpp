#include "GebruikersPanel.h"

#include "FormHelpers.h"
#include "OperatorPrompt.h"
#include "PasswordHash.h"
#include "Repositories.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace taviro {

GebruikersPanel::GebruikersPanel(EditorContext& ctx, QWidget* parent)
    : EditorPanel(ctx, QStringLiteral("gebruikers"), parent)
{
    setObjectName(QStringLiteral("Gebruikers"));
    auto* frame = new QGroupBox(QStringLiteral("Gebruiker"), this);
    auto* form = new QFormLayout(frame);
    m_alias = form::addTextRow(form, QStringLiteral("txtalias"), QStringLiteral("Alias"));
    m_naam = form::addTextRow(form, QStringLiteral("txtnaam"), QStringLiteral("Naam"));
    m_login = form::addTextRow(form, QStringLiteral("txtlogin"), QStringLiteral("Loginnaam"));
    m_wachtwoord =
        form::addTextRow(form, QStringLiteral("txtwachtwoord"), QStringLiteral("Wachtwoord"));
    // Only a hash of the password is kept, so the form never shows one: the
    // box takes a new password, and an empty box keeps the old one. What is
    // typed stays hidden unless the one typing asks to see it.
    m_wachtwoord->setEchoMode(QLineEdit::Password);
    m_toon = form::checkBox(frame, QStringLiteral("chkToonWachtwoord"),
                            QStringLiteral("Toon wachtwoord"));
    form->addRow(QString(), m_toon);
    connect(m_toon, &QCheckBox::toggled, this, [this](bool on) {
        m_wachtwoord->setEchoMode(on ? QLineEdit::Normal : QLineEdit::Password);
    });

    auto* opslaan = form::button(this, QStringLiteral("cmdOpslaan"), QStringLiteral("Opslaan"));
    auto* verwijder =
        form::button(this, QStringLiteral("cmdVerwijder"), QStringLiteral("Verwijder"));
    connect(opslaan, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(verwijder, &QPushButton::clicked, this, [this] { deleteItem(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(opslaan);
    buttons->addWidget(verwijder);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    layout->addStretch();
    showItem(0);
}

void GebruikersPanel::showItem(qint64 id)
{
    if (id == 0) {
        m_row = Gebruiker{};
    } else if (auto found = GebruikerRepository(m_ctx.conn).find(id); found && found->has_value()) {
        m_row = **found;
    } else if (!found) {
        logFailure(QStringLiteral("laden"), found.error());
    }
    m_id = m_row.id;
    m_toon->setChecked(false);
    fillForm();
}

void GebruikersPanel::fillForm()
{
    m_alias->setText(m_row.alias);
    m_naam->setText(m_row.naam);
    m_login->setText(m_row.loginnaam);
    m_wachtwoord->clear();
    m_wachtwoord->setPlaceholderText(m_row.id == 0 ? QStringLiteral("nieuw wachtwoord")
                                                   : QStringLiteral("ongewijzigd; typ een nieuw wachtwoord"));
}

bool GebruikersPanel::isChanged() const
{
    return m_alias->text() != m_row.alias || m_naam->text() != m_row.naam ||
           m_login->text() != m_row.loginnaam || !m_wachtwoord->text().isEmpty();
}

bool GebruikersPanel::readForm()
{
    m_row.alias = m_alias->text();
    m_row.naam = m_naam->text();
    m_row.loginnaam = m_login->text();
    if (m_wachtwoord->text().isEmpty()) {
        if (m_row.id != 0)
            return true;
        tell(QStringLiteral("Geef de nieuwe gebruiker een wachtwoord."), PromptFlags::Exclamation);
        return false;
    }
    const QString hashed = password::hash(m_wachtwoord->text());
    if (hashed.isEmpty()) {
        tell(QStringLiteral("Het wachtwoord kan niet worden versleuteld; het is niet opgeslagen."),
             PromptFlags::Exclamation);
        return false;
    }
    m_row.wachtwoord = hashed;
    return true;
}

bool GebruikersPanel::writeDB()
{
    return storeRecord(GebruikerRepository(m_ctx.conn), m_row);
}

void GebruikersPanel::deleteItem()
{
    if (m_id != 0) {
        if (Status s = GebruikerRepository(m_ctx.conn).softDelete(m_id); !s)
            logFailure(QStringLiteral("verwijderen"), s.error());
    }
    finishDelete();
}

} // namespace taviro
