#pragma once

#include "EditorPanel.h"
#include "Rows.h"

#include <optional>

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

namespace taviro {

// The serial ports of this workstation and what each is for: receiving
// modem, sending (SMS) modem, MES-6 receiver, speech modem or alarm lamp.
// All rows are held in memory, one port is edited at a time, and the whole
// set is written back; port rows are the one thing deleted for real.
class ComPortPanel : public EditorPanel
{
    Q_OBJECT
public:
    // workstationPorts: the COM numbers present; found with QSerialPortInfo
    // when not given.
    ComPortPanel(EditorContext& ctx, QWidget* parent = nullptr,
                 std::optional<QList<int>> workstationPorts = std::nullopt);

    // Reloads the ports; a non-zero id also selects that port.
    void showItem(qint64 id) override;
    bool hideMe() override;
    bool writeDB() override;
    bool isChanged() const override { return m_selected != 0 && m_changed; }

    // Choosing a port in the list; false when the operator stayed on the old one.
    bool selectPort(qint64 id);
    void addPort();
    void deletePort();
    void reinitPorts();
    qint64 selectedId() const { return m_selected; }
    const QList<ComPort>& ports() const { return m_matrix; }

    static QString designationCaption(qint64 designation);
    static QString defaultModemString() { return QStringLiteral("AT&FE0M0&C1&D2%C0S0=2W1&W"); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool readForm() override;
    void afterSave() override;
    void showStored() override {} // afterSave shows the stored port

private:
    QWidget* buildFields();
    void writeForm();
    void showRecord(const ComPort& record);
    void noSelection();
    const ComPort* stored(qint64 id) const;
    void validatePortNumber();
    void updateDeviceLabel();
    void setChanged() { m_changed = true; }
    // Selects the port the list's cursor moved to, after the list's event.
    void followList(qint64 id);

    QList<int> m_workstation;
    QList<ComPort> m_matrix;
    qint64 m_selected = 0;
    qint64 m_following = 0; // a port chosen in the list, not yet selected
    bool m_changed = false;
    bool m_validating = false;
    QTreeWidget* m_list;
    QComboBox* m_port;
    QLabel* m_device;
    QButtonGroup* m_designation;
    QButtonGroup* m_modemType;
    QGroupBox* m_frame;
    QLineEdit *m_baud, *m_string, *m_timeout;
    QComboBox *m_databits, *m_parity, *m_stopbits;
    QPushButton *m_delete, *m_save;
};

} // namespace taviro
