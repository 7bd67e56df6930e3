#pragma once

#include <QLabel>
#include <QListWidget>

namespace taviro {

// The list that schedule entries are dragged from: recipients for a week
// schedule, week schedules for a year schedule. Each item carries the key of
// its record; the last item, " leeg()", carries 0 and empties a slot.
class PlanningSourceList : public QListWidget
{
    Q_OBJECT
public:
    PlanningSourceList(QString mimeType, QWidget* parent = nullptr);

    // Items as (key, text); the emptying item is added after them.
    void fill(const QList<QPair<qint64, QString>>& items);
    // What a slot shows for an item text: the part between the first "(" and
    // the last character, the alias; nothing for " leeg()".
    static QString aliasFromText(const QString& itemText);
    static QString emptyItemText() { return QStringLiteral(" leeg()"); }
    const QString& mimeType() const { return m_mimeType; }
    // Payload of one item, as a drop reads it.
    static QByteArray encode(qint64 key, const QString& slotText);
    static bool decode(const QByteArray& data, qint64& key, QString& slotText);

Q_SIGNALS:
    // Enter on an item: the keyboard way of placing it in the chosen slot.
    void itemChosen(qint64 key, const QString& slotText);

protected:
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QString m_mimeType;
};

// One duty cell of a week schedule or one week slot of a year schedule. Takes
// drops from a PlanningSourceList while enabled; a click makes it the slot
// that keyboard placement fills, Delete empties it.
class PlanningSlot : public QLabel
{
    Q_OBJECT
public:
    PlanningSlot(QString mimeType, int index, QWidget* parent = nullptr);

    int index() const { return m_index; }
    qint64 key() const { return m_key; }
    void assign(qint64 key, const QString& slotText);
    // The current slot is its grid's one Tab stop; the others are reached
    // with the arrow keys or the mouse, so Tab leaves the grid at once.
    void setCurrent(bool current);
    void setTabStop(bool stop);
    bool isCurrent() const { return m_current; }

Q_SIGNALS:
    void dropped(int index, qint64 key, const QString& slotText);
    void clicked(int index);
    void clearRequested(int index);
    void enterPressed(int index);
    // An arrow key: move the keyboard's cell by columns and rows.
    void moveRequested(int index, int columns, int rows);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void restyle();

    QString m_mimeType;
    int m_index;
    qint64 m_key = 0;
    bool m_current = false;
};

} // namespace taviro
