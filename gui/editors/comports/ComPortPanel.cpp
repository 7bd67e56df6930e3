#include "ComPortPanel.h"

#include "FormHelpers.h"
#include "OperatorPrompt.h"
#include "PortMapping.h"
#include "Repositories.h"
#include "Transaction.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <utility>

namespace taviro {

namespace {

enum Field
{
    Baud = 1,
    DataBits = 2,
    Parity = 4,
    StopBits = 8,
    String = 16,
    Timeout = 32,
    ModemType = 64
};

// What can be set for each use of a port: a MES-6 receiver and the lamp run
// at fixed line settings, a speech modem only at its speed.
int editableFields(qint64 designation)
{
    switch (designation) {
    case 1:
        return Baud | DataBits | Parity | StopBits | String | Timeout;
    case 2:
        return Baud | DataBits | Parity | StopBits | String | ModemType;
    case 4:
        return Baud;
    default:
        return 0;
    }
}

QString baudColumn(const ComPort& p)
{
    return p.designation >= 1 && p.designation <= 4 ? QString::number(p.baudrate) : QString();
}

} // namespace

QString ComPortPanel::designationCaption(qint64 designation)
{
    static const QStringList captions{QStringLiteral("Geen"),
                                      QStringLiteral("Ontvangende Modem"),
                                      QStringLiteral("Verzendende Modem"),
                                      QStringLiteral("MES-6 Ontvanger"),
                                      QStringLiteral("Spraak"),
                                      QStringLiteral("Alarm (Lamp)")};
    return designation >= 0 && designation < captions.size() ? captions[designation] : QString();
}

ComPortPanel::ComPortPanel(EditorContext& ctx, QWidget* parent,
                           std::optional<QList<int>> workstationPorts)
    : EditorPanel(ctx, QStringLiteral("comports"), parent),
      m_workstation(workstationPorts ? *workstationPorts : workstationComNumbers())
{
    setObjectName(QStringLiteral("Instellingen1"));
    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("ListView1"));
    m_list->setHeaderLabels(
        {QStringLiteral("COM"), QStringLiteral("Designation"), QStringLiteral("baudrate")});
    m_list->setRootIsDecorated(false);
    m_list->setColumnWidth(0, 80);
    m_list->setColumnWidth(1, 170);
    m_list->setMinimumWidth(340);
    // The port on the form follows the list's cursor, moved by mouse or keys.
    connect(m_list, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
        if (item)
            followList(item->data(0, Qt::UserRole).toLongLong());
    });
    connect(m_list, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        followList(item->data(0, Qt::UserRole).toLongLong());
    });

    auto* add = form::button(this, QStringLiteral("cmdadd"), QStringLiteral("Nieuw"));
    m_delete = form::button(this, QStringLiteral("cmddelete"), QStringLiteral("Verwijder"));
    m_save = form::button(this, QStringLiteral("cmdOpslaan"), QStringLiteral("Opslaan"));
    auto* reinit = form::button(this, QStringLiteral("reinitComButton"),
                                QStringLiteral("Herinitialiseer poorten"));
    connect(add, &QPushButton::clicked, this, [this] { addPort(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { deletePort(); });
    connect(m_save, &QPushButton::clicked, this, [this] { saveAll(); });
    connect(reinit, &QPushButton::clicked, this, [this] { reinitPorts(); });

    auto* left = new QVBoxLayout;
    left->addWidget(m_list, 1);
    auto* listButtons = new QHBoxLayout;
    listButtons->addWidget(add);
    listButtons->addWidget(m_delete);
    listButtons->addStretch();
    left->addLayout(listButtons);

    auto* right = new QVBoxLayout;
    right->addWidget(buildFields());
    right->addStretch();
    auto* saveRow = new QHBoxLayout;
    saveRow->addWidget(reinit);
    saveRow->addStretch();
    saveRow->addWidget(m_save);
    right->addLayout(saveRow);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(right, 1);

    for (int n : m_workstation) {
        m_port->addItem(QString::number(n));
        m_port->setItemData(m_port->count() - 1, deviceForCom(n), Qt::ToolTipRole);
    }
    writeForm();
    noSelection();
}

QWidget* ComPortPanel::buildFields()
{
    auto* box = new QWidget(this);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);

    auto* portRow = new QHBoxLayout;
    portRow->addWidget(new QLabel(QStringLiteral("Compoort :"), box));
    m_port = new QComboBox(box);
    m_port->setObjectName(QStringLiteral("cboports"));
    m_port->setEditable(true);
    m_port->setInsertPolicy(QComboBox::NoInsert);
    m_port->setMinimumWidth(80);
    portRow->addWidget(m_port);
    m_device = new QLabel(box);
    m_device->setObjectName(QStringLiteral("lblDevice"));
    portRow->addWidget(m_device, 1);
    v->addLayout(portRow);
    connect(m_port, &QComboBox::currentTextChanged, this, [this] { updateDeviceLabel(); });
    // Checked when the operator leaves the box or confirms it with Enter.
    m_port->lineEdit()->installEventFilter(this);
    connect(m_port, &QComboBox::activated, this, [this] { setChanged(); });

    auto* use = new QGroupBox(QStringLiteral("Gebruik"), box);
    auto* useBox = new QVBoxLayout(use);
    m_designation = new QButtonGroup(this);
    const QStringList options{
        QStringLiteral("Niet in gebruik"), QStringLiteral("Ontvangende modem"),
        QStringLiteral("Zendende modem"),  QStringLiteral("MES-6 ontvanger"),
        QStringLiteral("Spraak modem"),    QStringLiteral("Alarm poort")};
    for (int i = 0; i < options.size(); ++i) {
        auto* radio = new QRadioButton(options[i], use);
        radio->setObjectName(QStringLiteral("Option1_%1").arg(i));
        m_designation->addButton(radio, i);
        useBox->addWidget(radio);
    }
    connect(m_designation, &QButtonGroup::idClicked, this, [this](int designation) {
        // The stored values come back with the rules of the new use.
        if (const ComPort* p = stored(m_selected)) {
            ComPort shown = *p;
            shown.designation = designation;
            showRecord(shown);
            setChanged();
        }
    });
    v->addWidget(use);

    m_frame = new QGroupBox(QStringLiteral("Instellingen"), box);
    m_frame->setObjectName(QStringLiteral("settingsFrame"));
    auto* f = new QFormLayout(m_frame);
    m_baud = form::addTextRow(f, QStringLiteral("baudrateText"), QStringLiteral("Baudrate"));
    m_string = form::addTextRow(f, QStringLiteral("stringText"), QStringLiteral("String"));
    m_timeout = form::textBox(m_frame, QStringLiteral("timeoutText"));
    auto* timeoutRow = new QHBoxLayout;
    timeoutRow->addWidget(m_timeout);
    timeoutRow->addWidget(new QLabel(QStringLiteral("minuten"), m_frame));
    f->addRow(QStringLiteral("Timeout"), timeoutRow);
    const auto combo = [this, f](const char* name, const char* label, const QStringList& items) {
        auto* c = new QComboBox(m_frame);
        c->setObjectName(QString::fromLatin1(name));
        c->addItems(items);
        f->addRow(QString::fromLatin1(label), c);
        connect(c, &QComboBox::activated, this, [this] { setChanged(); });
        return c;
    };
    m_databits =
        combo("databitsCombo", "Databits",
              {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
    m_parity = combo("parityCombo", "Parity",
                     {QStringLiteral("N"), QStringLiteral("O"), QStringLiteral("E"),
                      QStringLiteral("M"), QStringLiteral("S")});
    m_stopbits = combo("stopbitsCombo", "Stopbits", {QStringLiteral("1"), QStringLiteral("2")});
    for (QLineEdit* e : {m_baud, m_string, m_timeout})
        connect(e, &QLineEdit::textEdited, this, [this] { setChanged(); });

    m_modemType = new QButtonGroup(this);
    auto* typeRow = new QHBoxLayout;
    const QStringList types{QStringLiteral("PSTN"), QStringLiteral("GSM")};
    for (int i = 0; i < 2; ++i) {
        auto* radio = new QRadioButton(types[i], m_frame);
        radio->setObjectName(QStringLiteral("modemTypeOption_%1").arg(i));
        m_modemType->addButton(radio, i);
        typeRow->addWidget(radio);
    }
    typeRow->addStretch();
    f->addRow(QStringLiteral("Modem"), typeRow);
    connect(m_modemType, &QButtonGroup::idClicked, this, [this](int type) {
        setChanged();
        // A GSM modem needs only the plain reset; PSTN keeps what was typed.
        if (type == 1)
            m_string->setText(QStringLiteral("AT&FE0"));
    });
    v->addWidget(m_frame);
    return box;
}

void ComPortPanel::followList(qint64 id)
{
    if (id == m_selected || id == m_following)
        return;
    // Choosing a port rebuilds the list, which must not happen inside the
    // list's own signal: the choice is made once the event is done.
    m_following = id;
    QMetaObject::invokeMethod(
        this,
        [this] {
            const qint64 next = std::exchange(m_following, 0);
            if (next != 0 && next != m_selected)
                selectPort(next);
        },
        Qt::QueuedConnection);
}

void ComPortPanel::writeForm()
{
    const QSignalBlocker quiet(m_list);
    auto rows = ComPortRepository(m_ctx.conn).list(QStringLiteral("ORDER BY id"));
    if (!rows) {
        logFailure(QStringLiteral("poorten lezen"), rows.error());
        return;
    }
    m_matrix = *rows;
    m_list->clear();
    for (const ComPort& p : m_matrix) {
        auto* item = new QTreeWidgetItem(
            m_list, {QString::number(p.number), designationCaption(p.designation), baudColumn(p)});
        item->setData(0, Qt::UserRole, p.id);
        item->setToolTip(0, deviceForCom(int(p.number)));
        QFont font = item->font(0);
        font.setBold(p.id == m_selected);
        for (int c = 0; c < 3; ++c)
            item->setFont(c, font);
        if (p.id == m_selected)
            m_list->setCurrentItem(item);
    }
}

const ComPort* ComPortPanel::stored(qint64 id) const
{
    for (const ComPort& p : m_matrix) {
        if (p.id == id)
            return &p;
    }
    return nullptr;
}

void ComPortPanel::noSelection()
{
    m_selected = 0;
    m_changed = false;
    m_port->setEnabled(false);
    for (auto* b : m_designation->buttons())
        b->setEnabled(false);
    for (auto* b : m_modemType->buttons())
        b->setEnabled(false);
    m_delete->setEnabled(false);
    m_save->setEnabled(false);
    m_frame->setEnabled(false);
    // Nothing of a port stays on the form once none is chosen: a deleted
    // port must not look as if it were still there, greyed out.
    {
        const QSignalBlocker quietPort(m_port);
        m_port->setEditText(QString());
    }
    m_device->clear();
    for (QButtonGroup* group : {m_designation, m_modemType}) {
        group->setExclusive(false);
        for (auto* b : group->buttons())
            b->setChecked(false);
        group->setExclusive(true);
    }
    for (QLineEdit* edit : {m_baud, m_timeout, m_string})
        edit->clear();
    for (QComboBox* combo : {m_databits, m_parity, m_stopbits})
        combo->setCurrentIndex(-1);
}

void ComPortPanel::showRecord(const ComPort& p)
{
    m_frame->setEnabled(true);
    for (auto* b : m_designation->buttons())
        b->setEnabled(true);
    m_delete->setEnabled(true);
    m_save->setEnabled(true);
    if (auto* b = m_designation->button(int(p.designation)))
        b->setChecked(true);
    m_baud->setText(QString::number(p.baudrate));
    m_timeout->setText(QString::number(p.timeout));
    m_databits->setCurrentText(QString::number(p.databits));
    m_parity->setCurrentText(p.parity);
    m_stopbits->setCurrentText(QString::number(p.stopbits));
    m_string->setText(p.string);
    m_modemType->button(p.is_gsm ? 1 : 0)->setChecked(true);
    const int editable = editableFields(p.designation);
    m_baud->setEnabled(editable & Baud);
    m_databits->setEnabled(editable & DataBits);
    m_parity->setEnabled(editable & Parity);
    m_stopbits->setEnabled(editable & StopBits);
    m_string->setEnabled(editable & String);
    m_timeout->setEnabled(editable & Timeout);
    for (auto* b : m_modemType->buttons())
        b->setEnabled(editable & ModemType);
}

void ComPortPanel::showItem(qint64 id)
{
    writeForm();
    if (id != 0 && stored(id)) {
        m_changed = false;
        selectPort(id);
    } else if (!stored(m_selected)) {
        noSelection();
    }
}

bool ComPortPanel::selectPort(qint64 id)
{
    if (m_selected != 0 && m_changed && id != m_selected) {
        switch (m_ctx.prompt.ask(QStringLiteral("Wilt u de wijzigingen opslaan?"),
                                 QStringLiteral("Taviro"), PromptFlags::YesNoCancel)) {
        case PromptAnswer::Yes:
            if (!saveAll())
                return false;
            break;
        case PromptAnswer::No:
            break;
        default:
            writeForm(); // puts the list's selection back on the port being edited
            return false;
        }
    }
    const ComPort* p = stored(id);
    if (!p)
        return false;
    m_selected = id;
    const ComPort record = *p;
    writeForm();
    m_port->setEnabled(true);
    m_port->setCurrentText(QString::number(record.number));
    showRecord(record);
    m_changed = false;
    return true;
}

void ComPortPanel::updateDeviceLabel()
{
    const auto n = form::wholeNumber(m_port->currentText());
    m_device->setText(n && *n >= 1 ? QStringLiteral("(%1)").arg(deviceForCom(int(*n))) : QString());
}

bool ComPortPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_port->lineEdit()) {
        const bool enter = event->type() == QEvent::KeyPress &&
                           (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Return ||
                            static_cast<QKeyEvent*>(event)->key() == Qt::Key_Enter);
        if (enter || event->type() == QEvent::FocusOut)
            validatePortNumber();
        if (enter)
            return true; // confirmed here; the combo box must not see it again
    }
    return EditorPanel::eventFilter(watched, event);
}

void ComPortPanel::validatePortNumber()
{
    if (m_validating || m_selected == 0)
        return;
    m_validating = true;
    setChanged();
    const auto n = form::wholeNumber(m_port->currentText());
    if (!n || *n < 1) {
        tell(QStringLiteral("U kunt alleen een getal invoeren groter dan 0."));
        m_port->setFocus();
    } else if (!m_workstation.contains(int(*n))) {
        // Accepted all the same: the adapter may be plugged in later, and the
        // service start-up reports a port it cannot open.
        tell(QStringLiteral("Deze compoort is niet beschikbaar op uw computer."),
             PromptFlags::Exclamation);
    }
    m_validating = false;
}

bool ComPortPanel::readForm()
{
    if (m_selected == 0)
        return true;
    const auto number = form::wholeNumber(m_port->currentText());
    if (!number || *number < 1) {
        tell(QStringLiteral("U kunt alleen een getal invoeren groter dan 0."));
        m_port->setFocus();
        return false;
    }
    const auto baud = form::wholeNumber(m_baud->text());
    const auto timeout = form::wholeNumber(m_timeout->text());
    if (!baud || !timeout) {
        tell(QStringLiteral("U kunt bij \"%1\" alleen een getal invoeren.")
                 .arg(!baud ? QStringLiteral("Baudrate") : QStringLiteral("Timeout")),
             PromptFlags::Exclamation);
        return false;
    }
    for (ComPort& p : m_matrix) {
        if (p.id != m_selected)
            continue;
        p.designation = qMax(0, m_designation->checkedId());
        p.number = *number;
        p.baudrate = *baud;
        p.string = m_string->text();
        p.timeout = *timeout;
        p.databits = m_databits->currentText().toLongLong();
        p.parity = m_parity->currentText();
        p.stopbits = m_stopbits->currentText().toLongLong();
        p.is_gsm = m_modemType->checkedId() == 1;
    }
    return true;
}

bool ComPortPanel::writeDB()
{
    ComPortRepository repo(m_ctx.conn);
    for (ComPort& p : m_matrix) {
        auto found = p.id != 0 ? repo.find(p.id) : Result<std::optional<ComPort>>(std::nullopt);
        if (!found) {
            logFailure(QStringLiteral("opslaan"), found.error());
            return false;
        }
        if (found->has_value()) {
            if (Status s = repo.update(p); !s) {
                logFailure(QStringLiteral("opslaan"), s.error());
                return false;
            }
            continue;
        }
        auto key = repo.insert(p);
        if (!key) {
            logFailure(QStringLiteral("opslaan"), key.error());
            return false;
        }
        p.id = *key;
    }
    return true;
}

void ComPortPanel::afterSave()
{
    m_changed = false;
    writeForm();
    if (const ComPort* p = stored(m_selected))
        showRecord(*p);
}

bool ComPortPanel::hideMe()
{
    if (!isChanged())
        return true;
    switch (m_ctx.prompt.ask(QStringLiteral("Wilt u de wijzigingen opslaan?"),
                             QStringLiteral("Taviro"), PromptFlags::YesNoCancel)) {
    case PromptAnswer::Yes:
        return saveAll();
    case PromptAnswer::No:
        showItem(m_selected);
        return true;
    default:
        return false;
    }
}

void ComPortPanel::addPort()
{
    ComPort p;
    p.number = m_workstation.size() > 1 ? m_workstation.first() : 1;
    p.designation = 0;
    p.baudrate = 9600;
    p.string = defaultModemString();
    p.timeout = 15;
    p.databits = 8;
    p.parity = QStringLiteral("N");
    p.stopbits = 1;
    p.is_gsm = false;
    // Stored at once; the port being edited keeps its unsaved edits.
    auto key = ComPortRepository(m_ctx.conn).insert(p);
    if (!key) {
        logFailure(QStringLiteral("nieuwe poort"), key.error());
        return;
    }
    writeForm();
    Q_EMIT treeChanged(branch());
}

void ComPortPanel::deletePort()
{
    if (m_selected == 0)
        return;
    if (Status s = ComPortRepository(m_ctx.conn).remove(m_selected); !s) {
        logFailure(QStringLiteral("verwijderen"), s.error());
        return;
    }
    m_selected = 0;
    writeForm();
    noSelection();
    Q_EMIT treeChanged(branch());
}

void ComPortPanel::reinitPorts()
{
    const QString text =
        QStringLiteral(
            "Weet u zeker dat u de poorten wilt herinitialiseren? Dit kan mogelijk gevolg "
            "hebben voor ") +
        QStringLiteral("nu binnenkomende meldingen.");
    if (m_ctx.prompt.ask(text, QStringLiteral("Taviro"), PromptFlags::YesNo) != PromptAnswer::Yes)
        return;
    if (m_ctx.restartServices)
        m_ctx.restartServices();
}

} // namespace taviro
