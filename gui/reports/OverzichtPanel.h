#pragma once

#include "OverzichtRequest.h"

#include <QWidget>

class QCheckBox;
class QDateEdit;
class QListWidget;
class QPushButton;

namespace taviro {

class Clock;
class DatabaseConnector;

// The two panels that ask what an overview should hold: Overzichten (a period,
// overzicht.xsl) and Overzicht2 (one day, overzicht2.xsl).
class OverzichtPanel : public QWidget
{
    Q_OBJECT
public:
    enum class Kind { Periode, Dag };
    OverzichtPanel(Kind kind, const DatabaseConnector& conn, const Clock& clock, QWidget* parent = nullptr);

    // Refills the transmitter list and resets the dates; the navigation calls
    // it whenever the panel is opened.
    void fillmelderlist();
    // What the generate button asks for, from the current choices.
    OverzichtRequest request() const;
    Kind kind() const { return m_kind; }

Q_SIGNALS:
    // The generate button: the host builds the overview and shows it on the
    // "Overzicht" page.
    void overzichtRequested(const taviro::OverzichtRequest& request);

private:
    Kind m_kind;
    const DatabaseConnector& m_conn;
    const Clock& m_clock;
    QListWidget* m_melderList = nullptr;
    QDateEdit* m_from = nullptr;
    QDateEdit* m_to = nullptr;
    QCheckBox* m_inactive = nullptr;
};

} // namespace taviro
