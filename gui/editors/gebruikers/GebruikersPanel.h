#pragma once

#include "EditorPanel.h"
#include "Rows.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace taviro {

// The operator accounts that the login checks. Deleting keeps the row, so an
// acknowledgement made by a former operator still shows that operator's name.
class GebruikersPanel : public EditorPanel
{
    Q_OBJECT
public:
    GebruikersPanel(EditorContext& ctx, QWidget* parent = nullptr);

    void showItem(qint64 id) override;
    bool writeDB() override;
    bool isChanged() const override;
    void deleteItem();

    const Gebruiker& record() const { return m_row; }

protected:
    bool readForm() override;

private:
    void fillForm();

    Gebruiker m_row;
    QLineEdit* m_alias;
    QLineEdit* m_naam;
    QLineEdit* m_login;
    QLineEdit* m_wachtwoord;
    QCheckBox* m_toon;
};

} // namespace taviro
