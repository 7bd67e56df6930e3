#pragma once

#include "EditorContext.h"

#include <QWidget>

#include <functional>

namespace taviro {

// One configuration editor on the right of the console. The base owns the
// save-on-leave question and the one-transaction save, so an editor holds only
// its own fields and rules.
//
// Protocol with the main window: showItem(id) loads a record (0 = a new one);
// hideMe() says whether the panel may be left, asking first when something
// changed; writeDB() stores the form. After each save and delete the panel
// emits treeChanged(branch); closed() asks for the current-alarm view.
class EditorPanel : public QWidget
{
    Q_OBJECT
public:
    EditorPanel(EditorContext& ctx, QString branch, QWidget* parent = nullptr);

    virtual void showItem(qint64 id) = 0;
    // True when the panel may be left. A changed form asks whether to save.
    virtual bool hideMe();
    // Writes the form (already read by readForm) to the database. Runs inside
    // the save's transaction; false rolls the whole save back.
    virtual bool writeDB() = 0;
    // Reads the form, validates it and writes it in one transaction; on
    // success the branch of the tree is rebuilt. False when refused or failed.
    bool saveAll();
    virtual bool isChanged() const = 0;

    const QString& branch() const { return m_branch; }
    // The key of the record on the panel; 0 while a new one is not yet stored.
    qint64 currentId() const { return m_id; }

Q_SIGNALS:
    void treeChanged(const QString& branch);
    void closed();
    // A remark for the status bar that needs no answer.
    void note(const QString& text);

protected:
    // Copies the controls into the record; false (after telling the operator
    // why) refuses the save and keeps the edits on the panel.
    virtual bool readForm() = 0;
    // Work after a committed save, such as reloading the schedules.
    virtual void afterSave() {}
    // After a save the form shows what was stored (a pin code "007" is the
    // number 7), so leaving it right away asks nothing.
    virtual void showStored() { showItem(m_id); }
    // Runs before the change test when the panel is left.
    virtual void beforeLeave() {}
    virtual QString changeQuestion() const;

    // An OK message box with the console's title.
    void tell(const QString& text, int flags = 0);
    // A transmitter's alias is the number the receivers file its reports
    // under, so a second transmitter with it is asked about (No the default);
    // true to save all the same.
    bool confirmDuplicateAlias(const QString& alias, const QString& otherName);
    // Recipients and week schedules may share an alias; the grids then show
    // two alike, which is worth a word but never stops the save.
    void noteDuplicateAlias(const QString& alias, const QString& otherName);
    // After a delete: the panel drops the record and any edits of it (they
    // must never be saved into the deleted row), the tree drops it and the
    // panel gives way.
    void finishDelete();
    // Runs a delete and what belongs with it (the schedules' change counter)
    // in one transaction; a failure is logged and nothing is written.
    bool deleteInTransaction(const std::function<Status()>& write);
    // A failed database step is logged for the installer, never silently lost.
    void logFailure(const QString& what, const QString& error);

    // Stores the panel's record: an update while its key still names a row,
    // keeping the row's `deleted` and whatever `keep(record, stored)` copies
    // from the stored row (columns this panel does not edit); otherwise an
    // insert, whose new key becomes the panel's so a second save updates it.
    template <class Repo, class Row, class Keep>
    bool storeRecord(const Repo& repo, Row& record, Keep keep)
    {
        record.id = m_id;
        if (record.id != 0) {
            auto found = repo.find(record.id);
            if (found && found->has_value()) {
                if ((*found)->deleted) {
                    // Deleted meanwhile (here or at another station): it stays deleted.
                    logFailure(QStringLiteral("opslaan"), QStringLiteral("het record is verwijderd"));
                    return false;
                }
                record.deleted = (*found)->deleted;
                keep(record, **found);
                if (Status s = repo.update(record); !s) {
                    logFailure(QStringLiteral("opslaan"), s.error());
                    return false;
                }
                return true;
            }
        }
        auto key = repo.insert(record);
        if (!key) {
            logFailure(QStringLiteral("opslaan"), key.error());
            return false;
        }
        record.id = m_id = *key;
        return true;
    }
    template <class Repo, class Row>
    bool storeRecord(const Repo& repo, Row& record)
    {
        return storeRecord(repo, record, [](Row&, const Row&) {});
    }

    EditorContext& m_ctx;
    qint64 m_id = 0;

private:
    QString m_branch;
};

// The question asked before a changed form is left.
QString formChangeQuestion();
QString planningChangeQuestion();
// Shown when the database refused a save; nothing of it was stored.
QString saveFailedText();

} // namespace taviro
