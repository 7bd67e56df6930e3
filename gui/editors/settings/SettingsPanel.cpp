#include "SettingsPanel.h"

#include "DatabaseConnector.h"
#include "EscalationPage.h"
#include "EventLog.h"
#include "FormHelpers.h"
#include "OperatorPrompt.h"
#include "Repositories.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QTabWidget>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace taviro {

SettingsPanel::SettingsPanel(EditorContext& ctx, QWidget* parent)
    : EditorPanel(ctx, QStringLiteral("settings"), parent)
{
    setObjectName(QStringLiteral("Settings"));
    // Four pages instead of one tall form, so every field and both buttons
    // are within reach in the window's default size without scrolling.
    auto* pages = new QTabWidget(this);
    pages->setObjectName(QStringLiteral("settingsPages"));
    const auto addPage = [this, pages](const QString& title, std::initializer_list<QWidget*> groups) {
        auto* page = new QWidget(pages);
        auto* v = new QVBoxLayout(page);
        for (QWidget* group : groups) {
            group->setParent(page);
            v->addWidget(group);
        }
        v->addStretch();
        pages->addTab(page, title);
    };
    addPage(QStringLiteral("E-mail en afdrukken"), {buildMail(), buildPrint()});
    addPage(QStringLiteral("SMS en rooster"), {buildSmsAndRooster(), buildOnbemand()});
    addPage(QStringLiteral("Uitmelden en inloggen"), {buildUitmeld(), buildLogin()});
    addPage(QStringLiteral("Alarm e-mailontvangst"), {buildOntvangst()});
    m_escalation = new EscalationPage(ctx.conn, pages);
    m_escalation->setObjectName(QStringLiteral("escalatiePage"));
    pages->addTab(m_escalation, QStringLiteral("Escalatie"));

    auto* opslaan = form::button(this, QStringLiteral("Command1"), QStringLiteral("Opslaan"));
    m_testButton = form::button(this, QStringLiteral("testAlarmButton"), QStringLiteral("Test alarm"));
    connect(opslaan, &QPushButton::clicked, this, [this] { saveForm(); });
    connect(m_testButton, &QPushButton::clicked, this, [this] { makeTestReport(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_testButton);
    buttons->addStretch();
    buttons->addWidget(opslaan);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages, 1);
    layout->addLayout(buttons);
    fillForm();
}

QLineEdit* SettingsPanel::text(QWidget* parent, QFormLayout* form, const char* name,
                               const char* label, QString Settings::*member)
{
    auto* edit = form::textBox(parent, QString::fromLatin1(name));
    form->addRow(QString::fromUtf8(label), edit);
    m_texts.append({edit, member});
    return edit;
}

QLineEdit* SettingsPanel::number(QWidget* parent, QFormLayout* form, const char* name,
                                 const char* label, qint64 Settings::*member)
{
    auto* edit = form::textBox(parent, QString::fromLatin1(name));
    form->addRow(QString::fromUtf8(label), edit);
    m_numbers.append({edit, QString::fromUtf8(label), member});
    return edit;
}

QWidget* SettingsPanel::buildMail()
{
    using S = Settings;
    auto* frame = new QGroupBox(QStringLiteral("Mail settings"), this);
    auto* f = new QFormLayout(frame);
    text(frame, f, "txtServer", "SMTP server", &S::mailserver);
    number(frame, f, "smtpPortText", "Port", &S::MailServerPort);
    text(frame, f, "txtFromName", "Verzendernaam", &S::mailfromname);
    text(frame, f, "txtFrom", "Verzendermail", &S::mailfrommail);
    text(frame, f, "txtSubject", "Onderwerp", &S::mailsubject);
    auto* hint = new QLabel(
        QStringLiteral("U kunt gebruik maken van de tags %MELDER%, %ADRES% en %PLAATS%."), frame);
    hint->setWordWrap(true);
    f->addRow(QString(), hint);
    m_auth = form::checkBox(frame, QStringLiteral("chkauthentificatie"),
                            QStringLiteral("Gebruik authentificatie"));
    f->addRow(QString(), m_auth);
    connect(m_auth, &QCheckBox::clicked, this, [this] { applyEnableRules(); });
    m_userName = text(frame, f, "txtUserName", "Gebruikersnaam", &S::mailusername);
    m_password = text(frame, f, "txtPassword", "Wachtwoord", &S::mailpassword);
    m_password->setEchoMode(QLineEdit::Password);
    return frame;
}

QWidget* SettingsPanel::buildSmsAndRooster()
{
    using S = Settings;
    auto* box = new QWidget(this);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    auto* sms = new QGroupBox(QStringLiteral("SMS settings"), box);
    auto* f = new QFormLayout(sms);
    text(sms, f, "txtsmsfrom", "SMS 'van nummer'", &S::smsfrom);
    text(sms, f, "txtsmscentrale", "SMS centrale", &S::smscentrale);
    auto* rooster = new QGroupBox(QStringLiteral("Rooster settings"), box);
    auto* r = new QFormLayout(rooster);
    m_einddienstBox = form::checkBox(rooster, QStringLiteral("chkeinddienst"),
                                     QStringLiteral("Einde diensttijd"));
    connect(m_einddienstBox, &QCheckBox::clicked, this,
            [this] { m_einddienst = form::isTicked(m_einddienstBox); });
    auto* eindtijd = form::textBox(rooster, QStringLiteral("txteindtijd"));
    r->addRow(m_einddienstBox, eindtijd);
    m_texts.append({eindtijd, &S::eindtijd});
    v->addWidget(sms);
    v->addWidget(rooster);
    return box;
}

QWidget* SettingsPanel::buildOnbemand()
{
    using S = Settings;
    auto* frame = new QGroupBox(QStringLiteral("Onbemand omschakelen"), this);
    auto* f = new QFormLayout(frame);
    m_onbemandActief = form::checkBox(frame, QStringLiteral("onbemandRoosterActiefCheck"),
                                      QStringLiteral("Actief"));
    f->addRow(QString(), m_onbemandActief);
    m_flags.append({m_onbemandActief, &S::OnbemandRoosterActief});
    connect(m_onbemandActief, &QCheckBox::clicked, this, [this] { applyEnableRules(); });
    m_weekdays << text(frame, f, "txtmaandag", "Maandag", &S::maandag)
               << text(frame, f, "txtdinsdag", "Dinsdag", &S::dinsdag)
               << text(frame, f, "txtwoensdag", "Woensdag", &S::woensdag)
               << text(frame, f, "txtdonderdag", "Donderdag", &S::donderdag)
               << text(frame, f, "txtvrijdag", "Vrijdag", &S::vrijdag)
               << text(frame, f, "txtZaterdag", "Zaterdag", &S::zaterdag)
               << text(frame, f, "txtZondag", "Zondag", &S::zondag);
    return frame;
}

QWidget* SettingsPanel::buildPrint()
{
    auto* frame = new QGroupBox(QStringLiteral("Print settings"), this);
    auto* f = new QFormLayout(frame);
    m_printdirect = form::checkBox(frame, QStringLiteral("chkprintdirect"),
                                   QStringLiteral("Automatisch printen bij bevestiging"));
    f->addRow(QString(), m_printdirect);
    m_printer = form::textBox(frame, QStringLiteral("txtprinter"));
    m_printer->setReadOnly(true);
    auto* choose =
        form::button(frame, QStringLiteral("Command2"), QStringLiteral("Selecteer printer..."));
    connect(choose, &QPushButton::clicked, this, [this] { selectPrinter(); });
    auto* row = new QHBoxLayout;
    row->addWidget(m_printer, 1);
    row->addWidget(choose);
    f->addRow(row);
    return frame;
}

QWidget* SettingsPanel::buildUitmeld()
{
    auto* frame = new QGroupBox(QStringLiteral("Uitmeld settings"), this);
    auto* v = new QVBoxLayout(frame);
    v->addWidget(new QLabel(
        QStringLiteral("Onbemande meldingen ook versturen naar e-mailadres(sen): (één per regel)"),
        frame));
    m_onbemandeMail = new QPlainTextEdit(frame);
    m_onbemandeMail->setObjectName(QStringLiteral("onbemandeMeldingEmailText"));
    v->addWidget(m_onbemandeMail);
    v->addWidget(new QLabel(
        QStringLiteral("Elke melding ook versturen naar e-mailadres(sen): (één per regel)"),
        frame));
    m_elkeMail = new QPlainTextEdit(frame);
    m_elkeMail->setObjectName(QStringLiteral("elkeMeldingEmailText"));
    v->addWidget(m_elkeMail);
    for (auto* e : {m_onbemandeMail, m_elkeMail})
        e->setMaximumHeight(80);
    return frame;
}

QWidget* SettingsPanel::buildOntvangst()
{
    using S = Settings;
    auto* frame = new QGroupBox(QStringLiteral("Alarm e-mailontvangst"), this);
    auto* f = new QFormLayout(frame);
    text(frame, f, "txtOntvangstServer", "POP3 Server", &S::OntvangstServer);
    number(frame, f, "txtOntvangstPort", "Port", &S::OntvangstPort);
    text(frame, f, "txtOntvangstUserName", "Gebruikersnaam", &S::OntvangstUserName);
    text(frame, f, "txtOntvangstPassword", "Wachtwoord", &S::OntvangstPassword)
        ->setEchoMode(QLineEdit::Password);
    number(frame, f, "txtOntvangstTimeout", "Timeout (sec)", &S::OntvangstTimeout);
    number(frame, f, "txtOntvangstInterval", "Interval (min)", &S::OntvangstInterval);
    return frame;
}

QWidget* SettingsPanel::buildLogin()
{
    using S = Settings;
    auto* frame = new QGroupBox(QStringLiteral("In- en uitloggen"), this);
    auto* v = new QVBoxLayout(frame);
    auto* bemand = form::checkBox(frame, QStringLiteral("autoBemandNaInloggenCheck"),
                                  QStringLiteral("Zet automatisch bemand na inloggen"));
    auto* onbemand = form::checkBox(frame, QStringLiteral("autoOnbemandNaUitloggenCheck"),
                                    QStringLiteral("Zet automatisch onbemand na uitloggen"));
    v->addWidget(bemand);
    v->addWidget(onbemand);
    m_flags.append({bemand, &S::AutoBemandNaInloggen});
    m_flags.append({onbemand, &S::AutoOnbemandNaUitloggen});
    return frame;
}

void SettingsPanel::showItem(qint64)
{
    fillForm();
}

void SettingsPanel::fillForm()
{
    auto row = SettingsRepository(m_ctx.conn).load();
    if (!row) {
        logFailure(QStringLiteral("laden"), row.error());
        return;
    }
    m_hasRow = row->has_value();
    if (!m_hasRow)
        return;
    m_loaded = **row;
    m_id = m_loaded.id;
    m_einddienst = m_loaded.einddienst;
    m_einddienstBox->setChecked(m_einddienst);
    for (const TextField& t : m_texts)
        t.edit->setText(m_loaded.*t.member);
    for (const NumberField& n : m_numbers)
        n.edit->setText(QString::number(m_loaded.*n.member));
    for (const FlagField& fl : m_flags)
        fl.box->setChecked(m_loaded.*fl.member);
    m_auth->setChecked(m_loaded.authentification != 0);
    m_printdirect->setChecked(m_loaded.printdirect != 0);
    m_onbemandeMail->setPlainText(m_loaded.OnbemandeMeldingEmail);
    m_elkeMail->setPlainText(m_loaded.ElkeMeldingEmail);
    if (auto esc = escalation::load(m_ctx.conn); esc)
        m_loadedEscalation = *esc;
    else
        logFailure(QStringLiteral("laden"), esc.error());
    m_escalation->showSettings(m_loadedEscalation);
    applyEnableRules();
    m_printer->setText(m_ctx.shownPrinter ? m_ctx.shownPrinter() : QPrinterInfo::defaultPrinterName());
}

void SettingsPanel::applyEnableRules()
{
    // Switched-off fields keep their texts and are stored all the same, so
    // switching back on restores them.
    const bool auth = form::isTicked(m_auth);
    m_userName->setEnabled(auth);
    m_password->setEnabled(auth);
    for (QLineEdit* day : m_weekdays)
        day->setEnabled(form::isTicked(m_onbemandActief));
}

bool SettingsPanel::collect(Settings& row, QString* badField) const
{
    for (const NumberField& n : m_numbers) {
        const auto value = form::wholeNumber(n.edit->text());
        if (!value) {
            if (badField)
                *badField = n.label;
            return false;
        }
        row.*n.member = *value;
    }
    for (const TextField& t : m_texts)
        row.*t.member = t.edit->text();
    for (const FlagField& fl : m_flags)
        row.*fl.member = form::isTicked(fl.box);
    row.einddienst = m_einddienst;
    row.authentification = form::isTicked(m_auth) ? 1 : 0;
    row.printdirect = form::isTicked(m_printdirect) ? 1 : 0;
    row.OnbemandeMeldingEmail = m_onbemandeMail->toPlainText();
    row.ElkeMeldingEmail = m_elkeMail->toPlainText();
    return true;
}

bool SettingsPanel::isChanged() const
{
    if (!m_hasRow)
        return false;
    Settings now = m_loaded;
    if (!collect(now, nullptr))
        return true;
    if (mailboxDiffers(m_loaded) || m_escalation->differs(m_loadedEscalation))
        return true;
    for (const auto& column : mapping::settings().fields) {
        if (column.get(now, m_ctx.conn.dialect()) != column.get(m_loaded, m_ctx.conn.dialect()))
            return true;
    }
    return false;
}

bool SettingsPanel::mailboxDiffers(const Settings& stored) const
{
    // Compared as text, as typed: a stored 110 equals "110" but not "0110".
    const auto field = [this](const char* name) {
        return findChild<QLineEdit*>(QString::fromLatin1(name))->text();
    };
    return stored.OntvangstServer != field("txtOntvangstServer") ||
           QString::number(stored.OntvangstPort) != field("txtOntvangstPort") ||
           stored.OntvangstUserName != field("txtOntvangstUserName") ||
           stored.OntvangstPassword != field("txtOntvangstPassword") ||
           QString::number(stored.OntvangstTimeout) != field("txtOntvangstTimeout") ||
           QString::number(stored.OntvangstInterval) != field("txtOntvangstInterval");
}

bool SettingsPanel::readForm()
{
    if (!m_hasRow)
        return true;
    QString bad;
    Settings probe = m_loaded;
    if (!collect(probe, &bad)) {
        tell(QStringLiteral("U kunt bij \"%1\" alleen een getal invoeren.").arg(bad),
             PromptFlags::Exclamation);
        return false;
    }
    if (!m_escalation->collect(&bad)) {
        tell(bad, PromptFlags::Exclamation);
        return false;
    }
    return true;
}

bool SettingsPanel::writeDB()
{
    if (!m_hasRow)
        return true;
    SettingsRepository repo(m_ctx.conn);
    // Read again inside the save: the version and attempt count are not ours.
    auto row = repo.load();
    if (!row) {
        logFailure(QStringLiteral("opslaan"), row.error());
        return false;
    }
    if (!row->has_value())
        return true;
    Settings stored = **row;
    m_mailboxChanged = mailboxDiffers(stored);
    collect(stored, nullptr);
    if (Status s = repo.update(stored); !s) {
        logFailure(QStringLiteral("opslaan"), s.error());
        return false;
    }
    const EscalationSettings esc = m_escalation->collect(nullptr).value_or(m_loadedEscalation);
    if (Status s = escalation::save(m_ctx.conn, esc); !s) {
        logFailure(QStringLiteral("opslaan"), s.error());
        return false;
    }
    m_loaded = stored;
    m_loadedEscalation = esc;
    return true;
}

void SettingsPanel::afterSave()
{
    // Show numbers as stored, so "0110" does not count as a new mailbox the
    // next time the panel is left.
    for (const NumberField& n : m_numbers)
        n.edit->setText(QString::number(m_loaded.*n.member));
    if (m_mailboxChanged && m_ctx.restartMailReceiver)
        m_ctx.restartMailReceiver();
    m_mailboxChanged = false;
}

bool SettingsPanel::hideMe()
{
    if (!m_hasRow || !m_escalation->differs(m_loadedEscalation))
        return saveForm();
    switch (m_ctx.prompt.ask(formChangeQuestion(), QStringLiteral("Let op"), PromptFlags::YesNoCancel)) {
    case PromptAnswer::Yes:
        return saveForm();
    case PromptAnswer::No:
        // The escalation edits are dropped; the rest is stored as always.
        m_escalation->showSettings(m_loadedEscalation);
        return saveForm();
    default:
        return false;
    }
}

void SettingsPanel::selectPrinter()
{
    QPrinter printer;
    const QString current = m_printer->text();
    if (!current.isEmpty())
        printer.setPrinterName(current);
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() != QDialog::Accepted)
        return;
    // Kept at once, apart from "Opslaan": the printer belongs to this
    // workstation, not to the settings row the stations share.
    if (m_ctx.choosePrinter)
        m_ctx.choosePrinter(printer.printerName());
    m_printer->setText(printer.printerName());
}

void SettingsPanel::makeTestReport()
{
    // Delivery may wait for the modem with the window's events served: a
    // second press meanwhile must not store a second test report.
    if (!m_testButton->isEnabled())
        return;
    m_ctx.log.writeLog(QStringLiteral("Testmelding gemaakt."));
    if (!m_ctx.makeTestReport)
        return;
    m_testButton->setEnabled(false);
    QPointer<SettingsPanel> self(this);
    const Result<QString> outcome = m_ctx.makeTestReport();
    if (!self)
        return;
    m_testButton->setEnabled(true);
    if (!outcome) {
        m_ctx.log.writeLog(QStringLiteral("Testmelding mislukt: %1").arg(outcome.error()));
        tell(QStringLiteral("De testmelding is mislukt: %1").arg(outcome.error()), PromptFlags::Exclamation);
        return;
    }
    tell(*outcome);
}

} // namespace taviro
