#include "EditorPanel.h"

#include "DatabaseConnector.h"
#include "EventLog.h"
#include "OperatorPrompt.h"
#include "Transaction.h"

namespace taviro {

QString formChangeQuestion()
{
    return QStringLiteral(
        "U heeft in dit formulier veranderingen aangebracht. Wilt u deze opslaan?");
}

QString planningChangeQuestion()
{
    return QStringLiteral(
        "U heeft in deze planning veranderingen aangebracht. Wilt u deze opslaan?");
}

QString saveFailedText()
{
    return QStringLiteral(
        "De gegevens konden niet worden opgeslagen. De oorzaak staat in het logboek.");
}

EditorPanel::EditorPanel(EditorContext& ctx, QString branch, QWidget* parent)
    : QWidget(parent), m_ctx(ctx), m_branch(std::move(branch))
{
}

QString EditorPanel::changeQuestion() const
{
    return formChangeQuestion();
}

bool EditorPanel::hideMe()
{
    beforeLeave();
    if (!isChanged())
        return true;
    switch (
        m_ctx.prompt.ask(changeQuestion(), QStringLiteral("Let op"), PromptFlags::YesNoCancel)) {
    case PromptAnswer::Yes:
        // A refused save keeps the operator on the panel with the edits.
        return saveAll();
    case PromptAnswer::No:
        // Dropped; the record is read again the next time it is shown.
        showItem(m_id);
        return true;
    default:
        return false;
    }
}

bool EditorPanel::saveAll()
{
    if (!readForm())
        return false;
    Transaction tx(m_ctx.conn);
    if (Status s = tx.begin(); !s) {
        logFailure(QStringLiteral("opslaan"), s.error());
        return false;
    }
    const qint64 idBefore = m_id;
    if (!writeDB()) {
        tx.rollback();
        m_id = idBefore;
        tell(saveFailedText(), PromptFlags::Exclamation);
        return false;
    }
    if (Status s = tx.commit(); !s) {
        m_id = idBefore;
        logFailure(QStringLiteral("opslaan"), s.error());
        tell(saveFailedText(), PromptFlags::Exclamation);
        return false;
    }
    afterSave();
    showStored();
    Q_EMIT treeChanged(m_branch);
    return true;
}

void EditorPanel::tell(const QString& text, int flags)
{
    m_ctx.prompt.ask(text, QStringLiteral("Taviro"), flags);
}

bool EditorPanel::confirmDuplicateAlias(const QString& alias, const QString& otherName)
{
    const QString text =
        QStringLiteral("De alias \"%1\" wordt al gebruikt door %2. Wilt u toch opslaan?")
            .arg(alias, otherName);
    return m_ctx.prompt.ask(text, QStringLiteral("Let op"),
                            PromptFlags::YesNo | PromptFlags::Exclamation |
                                PromptFlags::SecondButtonDefault) == PromptAnswer::Yes;
}

void EditorPanel::noteDuplicateAlias(const QString& alias, const QString& otherName)
{
    Q_EMIT note(QStringLiteral("De alias \"%1\" wordt ook gebruikt door %2.").arg(alias, otherName));
}

bool EditorPanel::deleteInTransaction(const std::function<Status()>& write)
{
    Transaction tx(m_ctx.conn);
    Status s = tx.begin();
    if (s)
        s = write();
    if (s)
        s = tx.commit();
    if (!s)
        logFailure(QStringLiteral("verwijderen"), s.error());
    return s.ok();
}

void EditorPanel::finishDelete()
{
    showItem(0);
    Q_EMIT treeChanged(m_branch);
    Q_EMIT closed();
}

void EditorPanel::logFailure(const QString& what, const QString& error)
{
    m_ctx.log.writeLog(QStringLiteral("Editor %1: %2 mislukt: %3").arg(m_branch, what, error), 1);
}

} // namespace taviro
