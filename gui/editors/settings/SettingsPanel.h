#pragma once

#include "EditorPanel.h"
#include "EscalationSettings.h"
#include "Rows.h"

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace taviro {

class EscalationPage;

// The one row of global settings: outgoing mail, SMS sender, end of duty,
// the weekly unmanned schedule, printing, copy addresses, the alarm mailbox
// and the automatic manned switching. Leaving the panel stores it without a
// question, as the installers are used to; a changed mailbox restarts the
// alarm e-mail receiver so it polls the new one at once. Escalation is the
// exception: it changes who is woken at night, so a change to it is asked
// about before it is stored.
class SettingsPanel : public EditorPanel
{
    Q_OBJECT
public:
    SettingsPanel(EditorContext& ctx, QWidget* parent = nullptr);

    // The row has no key to choose; any id reloads it.
    void showItem(qint64 id) override;
    void fillForm();
    bool saveForm() { return saveAll(); }
    bool hideMe() override;
    bool writeDB() override;
    bool isChanged() const override;

    bool einddienst() const { return m_einddienst; }

protected:
    bool readForm() override;
    void afterSave() override;

private:
    struct TextField
    {
        QLineEdit* edit;
        QString Settings::*member;
    };
    struct NumberField
    {
        QLineEdit* edit;
        QString label;
        qint64 Settings::*member;
    };
    struct FlagField
    {
        QCheckBox* box;
        bool Settings::*member;
    };
    QWidget* buildMail();
    QWidget* buildSmsAndRooster();
    QWidget* buildOnbemand();
    QWidget* buildPrint();
    QWidget* buildUitmeld();
    QWidget* buildOntvangst();
    QWidget* buildLogin();
    QLineEdit* text(QWidget* parent, QFormLayout* form, const char* name, const char* label,
                    QString Settings::*member);
    QLineEdit* number(QWidget* parent, QFormLayout* form, const char* name, const char* label,
                      qint64 Settings::*member);
    // The form as a row; false with the name of the first field that is no number.
    bool collect(Settings& row, QString* badField) const;
    void applyEnableRules();
    bool mailboxDiffers(const Settings& stored) const;
    void selectPrinter();
    void makeTestReport();

    bool m_hasRow = false;
    bool m_einddienst = false;
    bool m_mailboxChanged = false;
    Settings m_loaded;
    EscalationSettings m_loadedEscalation;
    EscalationPage* m_escalation;
    QList<TextField> m_texts;
    QList<NumberField> m_numbers;
    QList<FlagField> m_flags;
    QCheckBox *m_auth, *m_einddienstBox, *m_onbemandActief, *m_printdirect;
    QLineEdit *m_userName, *m_password, *m_printer;
    QList<QLineEdit*> m_weekdays;
    QPlainTextEdit *m_onbemandeMail, *m_elkeMail;
    QPushButton* m_testButton;
};

} // namespace taviro
