#include "EditorFactory.h"

#include "ComPortPanel.h"
#include "GebruikersPanel.h"
#include "JaarPlannerPanel.h"
#include "MelderPanel.h"
#include "OntvangerPanel.h"
#include "Repositories.h"
#include "SettingsPanel.h"
#include "WeekPlannerPanel.h"

namespace taviro {

namespace {

QString withAlias(const QString& naam, const QString& alias)
{
    return naam + QStringLiteral(" (") + alias + QLatin1Char(')');
}

template <class Repo, class Row> Result<QList<BranchItem>> byAlias(const DatabaseConnector& conn)
{
    auto rows = Repo(conn).listActive(QStringLiteral("naam"));
    if (!rows)
        return Result<QList<BranchItem>>::failure(rows.error());
    QList<BranchItem> items;
    for (const Row& r : *rows)
        items.append({r.id, withAlias(r.naam, r.alias), false});
    return items;
}

} // namespace

QStringList editorBranches()
{
    return {QStringLiteral("melders"),        QStringLiteral("ontvangers"),
            QStringLiteral("weekplanningen"), QStringLiteral("jaarplanningen"),
            QStringLiteral("comports"),       QStringLiteral("settings"),
            QStringLiteral("gebruikers")};
}

std::unique_ptr<EditorPanel> createEditor(const QString& branch, EditorContext& ctx,
                                          QWidget* parent)
{
    if (branch == QStringLiteral("melders"))
        return std::make_unique<MelderPanel>(ctx, parent);
    if (branch == QStringLiteral("ontvangers"))
        return std::make_unique<OntvangerPanel>(ctx, parent);
    if (branch == QStringLiteral("weekplanningen"))
        return std::make_unique<WeekPlannerPanel>(ctx, parent);
    if (branch == QStringLiteral("jaarplanningen"))
        return std::make_unique<JaarPlannerPanel>(ctx, parent);
    if (branch == QStringLiteral("comports"))
        return std::make_unique<ComPortPanel>(ctx, parent);
    if (branch == QStringLiteral("settings"))
        return std::make_unique<SettingsPanel>(ctx, parent);
    if (branch == QStringLiteral("gebruikers"))
        return std::make_unique<GebruikersPanel>(ctx, parent);
    return nullptr;
}

Result<QList<BranchItem>> branchItems(const DatabaseConnector& conn, const QString& branch)
{
    if (branch == QStringLiteral("melders")) {
        auto rows = MelderRepository(conn).listActive(QStringLiteral("naam"));
        if (!rows)
            return Result<QList<BranchItem>>::failure(rows.error());
        QList<BranchItem> items;
        for (const Melder& m : *rows)
            items.append(
                {m.id, m.naam + QStringLiteral(" (") + m.adres + QLatin1Char(')'), !m.actief});
        return items;
    }
    if (branch == QStringLiteral("ontvangers"))
        return byAlias<OntvangerRepository, Ontvanger>(conn);
    if (branch == QStringLiteral("weekplanningen"))
        return byAlias<WeekPlanningRepository, WeekPlanning>(conn);
    if (branch == QStringLiteral("jaarplanningen"))
        return byAlias<JaarPlanningRepository, JaarPlanning>(conn);
    if (branch == QStringLiteral("gebruikers"))
        return byAlias<GebruikerRepository, Gebruiker>(conn);
    return QList<BranchItem>{};
}

bool branchHasNewNode(const QString& branch)
{
    return branch == QStringLiteral("ontvangers") || branch == QStringLiteral("weekplanningen") ||
           branch == QStringLiteral("gebruikers");
}

} // namespace taviro
