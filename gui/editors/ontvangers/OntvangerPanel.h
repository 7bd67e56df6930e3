#pragma once

#include "EditorPanel.h"
#include "Rows.h"

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace taviro {

// A recipient: whom alarms are forwarded to, by SMS, by e-mail or both.
// A recipient still planned in a week schedule cannot be deleted, or a night
// alarm would go to an empty cell.
class OntvangerPanel : public EditorPanel
{
    Q_OBJECT
public:
    OntvangerPanel(EditorContext& ctx, QWidget* parent = nullptr);

    void showItem(qint64 id) override;
    bool writeDB() override;
    bool isChanged() const override;
    void deleteItem();
    // The installer's chain tests, with the number and addresses as the
    // boxes hold them now, saved or not.
    void testSms();
    void testEmail();

    const Ontvanger& record() const { return m_row; }

protected:
    bool readForm() override;

private:
    void fillForm();
    QList<QLineEdit*> textBoxes() const;
    QList<QString Ontvanger::*> textMembers() const;
    // Runs one chain test with both test buttons off, so a second press
    // cannot start another while the first still waits.
    void runChainTest(const QString& what, const QString& to, const std::function<Status()>& send);
    QString shownName() const;

    Ontvanger m_row;
    QLineEdit *m_alias, *m_naam, *m_adres, *m_postcode, *m_plaats, *m_land, *m_telnr, *m_mobielnr,
        *m_faxnr;
    QPlainTextEdit* m_email;
    QLineEdit* m_pincode;
    QCheckBox *m_superpin, *m_sms, *m_mail;
    QPushButton *m_testSms, *m_testEmail;
};

// The e-mail addresses as the edit box shows them: one a line, LF only.
QString shownEmail(QString stored);

// True when the recipient stands in any cell of a week schedule in use.
Result<bool> recipientPlanned(const DatabaseConnector& conn, qint64 recipientId);

} // namespace taviro
