#pragma once

#include "EditorContext.h"
#include "EventLog.h"
#include "FakeClock.h"
#include "PlanningDnd.h"
#include "ScheduleCache.h"
#include "ScriptedPrompt.h"
#include "TestDatabase.h"

#include <QApplication>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <memory>

namespace taviro::test {

// A demo installation in a scratch database and the context an editor gets
// from the main window, with the outside calls counted instead of made.
struct EditorFixture
{
    TestDatabase db{true};
    ConnectorPtr conn = db.connect();
    FakeClock clock;
    ScriptedPrompt prompt;
    EventLog log{clock, db.folder() + QStringLiteral("/Logger/")};
    ScheduleCache cache;
    int servicesRestarted = 0;
    int mailReceiverRestarted = 0;
    int testReports = 0;
    // The chain tests' calls, and what the fake services answer.
    QStringList testSmsTo, testMailTo;
    Status chainTestAnswer;
    Result<QString> testReportOutcome = QStringLiteral("Testmelding 1 is opgeslagen en opgenomen.");
    EditorContext ctx{*conn,
                      prompt,
                      log,
                      clock,
                      cache,
                      [this] { ++servicesRestarted; },
                      [this] { ++mailReceiverRestarted; },
                      [this](const QString& number, const QString&) {
                          testSmsTo << number;
                          return chainTestAnswer;
                      },
                      [this](const QString& addresses, const QString&) {
                          testMailTo << addresses;
                          return chainTestAnswer;
                      },
                      [this]() -> Result<QString> {
                          ++testReports;
                          return testReportOutcome;
                      },
                      {},
                      {}};

    QStringList askedTexts() const
    {
        QStringList texts;
        for (const auto& q : prompt.asked())
            texts << q.text;
        return texts;
    }
};

template <class T = QWidget> T* child(QWidget* panel, const char* name)
{
    T* w = panel->findChild<T*>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control named %s", name);
    return w;
}

// Types like an operator: select all, then the new text.
inline void typeInto(QWidget* panel, const char* name, const QString& text)
{
    auto* edit = child<QLineEdit>(panel, name);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    // Character by character, so accents and apostrophes arrive as typed.
    for (QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// Clicks at the left end, where a check box has its box and a button its face.
inline void click(QWidget* panel, const char* name)
{
    auto* b = child<QAbstractButton>(panel, name);
    QTest::mouseClick(b, Qt::LeftButton, {}, QPoint(qMin(8, b->width() / 2), b->height() / 2));
}

inline QString textOf(QWidget* panel, const char* name)
{
    return child<QLineEdit>(panel, name)->text();
}

inline QListWidgetItem* itemFor(PlanningSourceList* list, qint64 key)
{
    for (int i = 0; i < list->count(); ++i) {
        if (list->item(i)->data(Qt::UserRole).toLongLong() == key)
            return list->item(i);
    }
    qFatal("no list item for key %lld", key);
}

// What the list puts on the drag, delivered to the slot as the window system
// does at the end of a drag: enter, then drop. True when the slot took it.
inline bool dragOnto(PlanningSourceList* list, QListWidgetItem* item, PlanningSlot* slot)
{
    // The list's model asks the list itself for the drag data, as a real drag does.
    const QModelIndex index = list->model()->index(list->row(item), 0);
    std::unique_ptr<QMimeData> mime(list->model()->mimeData({index}));
    const QPoint at = slot->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slot, &enter);
    if (!enter.isAccepted())
        return false;
    QDropEvent drop(QPointF(at), Qt::CopyAction, mime.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(slot, &drop);
    return drop.isAccepted();
}

} // namespace taviro::test
