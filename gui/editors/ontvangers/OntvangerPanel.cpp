#include "OntvangerPanel.h"

#include "DeliveryRetry.h"
#include "FormHelpers.h"
#include "OperatorPrompt.h"
#include "Repositories.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace taviro {

Result<bool> recipientPlanned(const DatabaseConnector& conn, qint64 recipientId)
{
    auto weeks = WeekPlanningRepository(conn).listActive();
    if (!weeks)
        return Result<bool>::failure(weeks.error());
    for (const WeekPlanning& w : *weeks) {
        if (std::find(w.cells.begin(), w.cells.end(), recipientId) != w.cells.end())
            return true;
    }
    return false;
}

QString shownEmail(QString stored)
{
    stored.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    stored.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return stored;
}

OntvangerPanel::OntvangerPanel(EditorContext& ctx, QWidget* parent)
    : EditorPanel(ctx, QStringLiteral("ontvangers"), parent)
{
    setObjectName(QStringLiteral("Ontvanger1"));
    auto* frame = new QGroupBox(QStringLiteral("Ontvanger"), this);
    auto* form = new QFormLayout(frame);
    m_alias = form::addTextRow(form, QStringLiteral("txtalias"), QStringLiteral("ALIAS"));
    m_naam =
        form::addTextRow(form, QStringLiteral("txtnaam"), QStringLiteral("Voor- en achternaam"));
    m_adres = form::addTextRow(form, QStringLiteral("txtadres"), QStringLiteral("Straat"));
    m_postcode = form::addTextRow(form, QStringLiteral("txtpostcode"), QStringLiteral("Postcode"));
    m_plaats = form::addTextRow(form, QStringLiteral("txtplaats"), QStringLiteral("Plaats"));
    m_land = form::addTextRow(form, QStringLiteral("txtland"), QStringLiteral("Land"));
    m_telnr = form::addTextRow(form, QStringLiteral("txttelnr"), QStringLiteral("Telefoonnr."));
    m_mobielnr = form::addTextRow(form, QStringLiteral("txtmobielnr"), QStringLiteral("Mobielnr."));
    m_email = form::addressBox(frame, QStringLiteral("txtemail"));
    m_email->setMaximumHeight(52);
    form->addRow(QStringLiteral("E-mailadressen (één e-mailadres per regel)"), m_email);
    m_faxnr = form::addTextRow(form, QStringLiteral("txtfaxnr"), QStringLiteral("Faxnr."));
    m_pincode = form::addTextRow(form, QStringLiteral("intpincode"), QStringLiteral("PinCode"));
    m_superpin = form::checkBox(frame, QStringLiteral("chksuperpin"), QStringLiteral("Super Pin"));
    form->addRow(QString(), m_superpin);

    auto* uitmelden = new QGroupBox(QStringLiteral("Uitmelden"), this);
    auto* row = new QHBoxLayout(uitmelden);
    m_sms = form::checkBox(uitmelden, QStringLiteral("smsCheck"), QStringLiteral("SMS"));
    m_mail = form::checkBox(uitmelden, QStringLiteral("emailCheck"), QStringLiteral("Email"));
    m_testSms = form::button(uitmelden, QStringLiteral("testSmsButton"), QStringLiteral("Test-SMS"));
    m_testEmail = form::button(uitmelden, QStringLiteral("testEmailButton"), QStringLiteral("Test-e-mail"));
    connect(m_testSms, &QPushButton::clicked, this, [this] { testSms(); });
    connect(m_testEmail, &QPushButton::clicked, this, [this] { testEmail(); });
    row->addWidget(m_sms);
    row->addWidget(m_mail);
    row->addStretch();
    row->addWidget(m_testSms);
    row->addWidget(m_testEmail);

    auto* opslaan = form::button(this, QStringLiteral("cmdOpslaan"), QStringLiteral("Opslaan"));
    auto* verwijder =
        form::button(this, QStringLiteral("VerwijderBtn"), QStringLiteral("Verwijder"));
    connect(opslaan, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(verwijder, &QPushButton::clicked, this, [this] { deleteItem(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(opslaan);
    buttons->addWidget(verwijder);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addWidget(uitmelden);
    layout->addLayout(buttons);
    layout->addStretch();
    showItem(0);
}

QList<QLineEdit*> OntvangerPanel::textBoxes() const
{
    return {m_alias, m_naam, m_adres, m_postcode, m_plaats, m_land, m_telnr, m_mobielnr, m_faxnr};
}

QList<QString Ontvanger::*> OntvangerPanel::textMembers() const
{
    using R = Ontvanger;
    return {&R::alias, &R::naam,  &R::adres,    &R::postcode, &R::plaats,
            &R::land,  &R::telnr, &R::mobielnr, &R::faxnr};
}

void OntvangerPanel::showItem(qint64 id)
{
    if (id == 0) {
        m_row = Ontvanger{};
        m_row.UseSMS = m_row.UseEmail = m_row.superpin = false;
    } else if (auto found = OntvangerRepository(m_ctx.conn).find(id); found && found->has_value()) {
        m_row = **found;
    } else if (!found) {
        logFailure(QStringLiteral("laden"), found.error());
    }
    m_id = m_row.id;
    fillForm();
}

void OntvangerPanel::fillForm()
{
    const auto boxes = textBoxes();
    const auto members = textMembers();
    for (int i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(m_row.*members[i]);
    m_email->setPlainText(m_row.email);
    m_pincode->setText(QString::number(m_row.pincode));
    m_superpin->setChecked(m_row.superpin);
    m_sms->setChecked(m_row.UseSMS);
    m_mail->setChecked(m_row.UseEmail);
}

bool OntvangerPanel::isChanged() const
{
    const auto boxes = textBoxes();
    const auto members = textMembers();
    for (int i = 0; i < boxes.size(); ++i) {
        if (boxes[i]->text() != m_row.*members[i])
            return true;
    }
    return m_email->toPlainText() != shownEmail(m_row.email) ||
           m_pincode->text() != QString::number(m_row.pincode) ||
           form::isTicked(m_superpin) != m_row.superpin || form::isTicked(m_sms) != m_row.UseSMS ||
           form::isTicked(m_mail) != m_row.UseEmail;
}

bool OntvangerPanel::readForm()
{
    // An empty pin code means the recipient has none.
    const QString pinText = m_pincode->text().trimmed();
    const auto pin = pinText.isEmpty() ? std::optional<qint64>(0) : form::wholeNumber(pinText);
    if (!pin) {
        tell(QStringLiteral("De pincode moet een getal zijn."), PromptFlags::Exclamation);
        m_pincode->setFocus();
        return false;
    }
    if (auto others = OntvangerRepository(m_ctx.conn).listActive(); others) {
        for (const Ontvanger& o : *others) {
            if (o.id != m_id && !m_alias->text().isEmpty() && o.alias == m_alias->text()) {
                noteDuplicateAlias(o.alias, o.naam);
                break;
            }
        }
    }
    const auto boxes = textBoxes();
    const auto members = textMembers();
    for (int i = 0; i < boxes.size(); ++i)
        m_row.*members[i] = boxes[i]->text();
    // Stored addresses may end their lines in CR LF; the box shows them with
    // LF only, and an unchanged list is kept exactly as it was stored.
    if (m_email->toPlainText() != shownEmail(m_row.email))
        m_row.email = form::cleanAddresses(m_email->toPlainText());
    m_row.pincode = *pin;
    m_row.superpin = form::isTicked(m_superpin);
    m_row.UseSMS = form::isTicked(m_sms);
    m_row.UseEmail = form::isTicked(m_mail);
    // Saved all the same (the number may only be known later), but until then
    // dispatches to this recipient cannot go out that way.
    if (m_row.UseSMS && m_row.mobielnr.trimmed().isEmpty())
        tell(QStringLiteral("SMS is aangevinkt, maar er is geen mobiel nummer ingevuld. Uitmeldingen per SMS "
                            "kunnen deze ontvanger zo niet bereiken."),
             PromptFlags::Exclamation);
    if (m_row.UseEmail && m_row.email.trimmed().isEmpty())
        tell(QStringLiteral("Email is aangevinkt, maar er is geen e-mailadres ingevuld. Uitmeldingen per e-mail "
                            "kunnen deze ontvanger zo niet bereiken."),
             PromptFlags::Exclamation);
    return true;
}

bool OntvangerPanel::writeDB()
{
    m_row.actief = true;
    if (!storeRecord(OntvangerRepository(m_ctx.conn), m_row,
                     [](auto& record, const auto& stored) { record.methode1 = stored.methode1; }))
        return false;
    if (Status s = DeliveryRetry::forgetRecipient(m_ctx.conn, m_id); !s) {
        logFailure(QStringLiteral("opslaan"), s.error());
        return false;
    }
    return true;
}

void OntvangerPanel::deleteItem()
{
    if (m_id == 0)
        return;
    auto planned = recipientPlanned(m_ctx.conn, m_id);
    if (!planned) {
        logFailure(QStringLiteral("verwijderen"), planned.error());
        return;
    }
    if (*planned) {
        tell(QStringLiteral(
            "Ontvanger kan niet verwijderd worden. Deze ontvanger staat nog in het weekrooster."));
        return;
    }
    if (Status s = OntvangerRepository(m_ctx.conn).softDelete(m_id); !s) {
        logFailure(QStringLiteral("verwijderen"), s.error());
        return;
    }
    finishDelete();
}

QString OntvangerPanel::shownName() const
{
    const QString naam = m_naam->text().trimmed();
    return naam.isEmpty() ? m_alias->text().trimmed() : naam;
}

void OntvangerPanel::testSms()
{
    const QString number = m_mobielnr->text().trimmed();
    if (number.isEmpty()) {
        tell(QStringLiteral("Deze ontvanger heeft geen mobiel nummer. Er is geen test-SMS verzonden."),
             PromptFlags::Exclamation);
        return;
    }
    if (!m_ctx.sendTestSms)
        return;
    const QString naam = shownName();
    runChainTest(QStringLiteral("Test-SMS"), number, [this, number, naam] { return m_ctx.sendTestSms(number, naam); });
}

void OntvangerPanel::testEmail()
{
    QStringList addresses;
    for (const QString& line : m_email->toPlainText().split(QLatin1Char('\n')))
        if (!line.trimmed().isEmpty())
            addresses << line.trimmed();
    if (addresses.isEmpty()) {
        tell(QStringLiteral("Deze ontvanger heeft geen e-mailadres. Er is geen test-e-mail verzonden."),
             PromptFlags::Exclamation);
        return;
    }
    if (!m_ctx.sendTestMail)
        return;
    const QString naam = shownName();
    const QString joined = addresses.join(QStringLiteral("; "));
    runChainTest(QStringLiteral("Test-e-mail"), joined, [this, joined, naam] { return m_ctx.sendTestMail(joined, naam); });
}

void OntvangerPanel::runChainTest(const QString& what, const QString& to, const std::function<Status()>& send)
{
    if (!m_testSms->isEnabled())
        return;
    m_testSms->setEnabled(false);
    m_testEmail->setEnabled(false);
    // The wait serves the window's events, and the window may close meanwhile.
    QPointer<OntvangerPanel> self(this);
    const Status sent = send();
    if (!self)
        return;
    m_testSms->setEnabled(true);
    m_testEmail->setEnabled(true);
    if (sent)
        tell(QStringLiteral("%1 aan %2 is verzonden.").arg(what, to));
    else
        tell(QStringLiteral("%1 aan %2 is niet verzonden:\n%3").arg(what, to, sent.error()), PromptFlags::Exclamation);
}

} // namespace taviro
