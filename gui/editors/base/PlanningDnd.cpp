#include "PlanningDnd.h"

#include <QDataStream>
#include <QDragEnterEvent>
#include <QFocusEvent>
#include <QMimeData>

namespace taviro {

PlanningSourceList::PlanningSourceList(QString mimeType, QWidget* parent)
    : QListWidget(parent), m_mimeType(std::move(mimeType))
{
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setDefaultDropAction(Qt::CopyAction);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

void PlanningSourceList::fill(const QList<QPair<qint64, QString>>& items)
{
    clear();
    for (const auto& [key, text] : items) {
        auto* item = new QListWidgetItem(text, this);
        item->setData(Qt::UserRole, key);
    }
    auto* empty = new QListWidgetItem(emptyItemText(), this);
    empty->setData(Qt::UserRole, qint64(0));
}

QString PlanningSourceList::aliasFromText(const QString& itemText)
{
    const qsizetype open = itemText.indexOf(QLatin1Char('('));
    if (open < 0)
        return {};
    return itemText.mid(open + 1, itemText.size() - open - 2);
}

QByteArray PlanningSourceList::encode(qint64 key, const QString& slotText)
{
    QByteArray data;
    QDataStream out(&data, QIODevice::WriteOnly);
    out << key << slotText;
    return data;
}

bool PlanningSourceList::decode(const QByteArray& data, qint64& key, QString& slotText)
{
    QDataStream in(data);
    in >> key >> slotText;
    return in.status() == QDataStream::Ok;
}

QStringList PlanningSourceList::mimeTypes() const
{
    return {m_mimeType};
}

QMimeData* PlanningSourceList::mimeData(const QList<QListWidgetItem*>& items) const
{
    if (items.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    const QListWidgetItem* item = items.first();
    mime->setData(m_mimeType,
                  encode(item->data(Qt::UserRole).toLongLong(), aliasFromText(item->text())));
    return mime;
}

void PlanningSourceList::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        Q_EMIT itemChosen(currentItem()->data(Qt::UserRole).toLongLong(),
                          aliasFromText(currentItem()->text()));
        return;
    }
    QListWidget::keyPressEvent(event);
}

PlanningSlot::PlanningSlot(QString mimeType, int index, QWidget* parent)
    : QLabel(parent), m_mimeType(std::move(mimeType)), m_index(index)
{
    setAcceptDrops(true);
    setFocusPolicy(Qt::ClickFocus);
    setAlignment(Qt::AlignCenter);
    setMinimumSize(44, 22);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAutoFillBackground(true);
    restyle();
}

void PlanningSlot::assign(qint64 key, const QString& slotText)
{
    m_key = key;
    setText(key == 0 ? QString() : slotText);
}

void PlanningSlot::setCurrent(bool current)
{
    m_current = current;
    setTabStop(current);
    restyle();
}

void PlanningSlot::setTabStop(bool stop)
{
    setFocusPolicy(stop ? Qt::StrongFocus : Qt::ClickFocus);
}

void PlanningSlot::focusInEvent(QFocusEvent* event)
{
    // Tabbing into the grid makes the slot it lands on the current one, so
    // the operator sees where Enter and the arrow keys will act.
    if (!m_current && (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason))
        Q_EMIT clicked(m_index);
    QLabel::focusInEvent(event);
}

void PlanningSlot::restyle()
{
    // Unused cells keep what they hold but are greyed, so the installer sees
    // that nobody is called from them.
    QString bg = isEnabled() ? QStringLiteral("white") : QStringLiteral("#d8d8d8");
    QString border =
        m_current ? QStringLiteral("2px solid #1a5fb4") : QStringLiteral("1px solid #8a8a8a");
    setStyleSheet(
        QStringLiteral("QLabel { background: %1; border: %2; color: %3; }")
            .arg(bg, border, isEnabled() ? QStringLiteral("black") : QStringLiteral("#707070")));
}

void PlanningSlot::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        restyle();
    QLabel::changeEvent(event);
}

void PlanningSlot::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasFormat(m_mimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void PlanningSlot::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasFormat(m_mimeType))
        event->acceptProposedAction();
    else
        event->ignore();
}

void PlanningSlot::dropEvent(QDropEvent* event)
{
    qint64 key = 0;
    QString slotText;
    if (!event->mimeData()->hasFormat(m_mimeType) ||
        !PlanningSourceList::decode(event->mimeData()->data(m_mimeType), key, slotText)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    Q_EMIT dropped(m_index, key, slotText);
}

void PlanningSlot::mousePressEvent(QMouseEvent* event)
{
    setFocus(Qt::MouseFocusReason);
    Q_EMIT clicked(m_index);
    QLabel::mousePressEvent(event);
}

void PlanningSlot::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        Q_EMIT clearRequested(m_index);
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        Q_EMIT enterPressed(m_index);
        return;
    case Qt::Key_Left:
        Q_EMIT moveRequested(m_index, -1, 0);
        return;
    case Qt::Key_Right:
        Q_EMIT moveRequested(m_index, 1, 0);
        return;
    case Qt::Key_Up:
        Q_EMIT moveRequested(m_index, 0, -1);
        return;
    case Qt::Key_Down:
        Q_EMIT moveRequested(m_index, 0, 1);
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

} // namespace taviro
