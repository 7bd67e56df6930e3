#include "TestDatabase.h"

#include "DatabaseCreator.h"
#include "DemoInstallation.h"

namespace taviro::test {

TestDatabase::TestDatabase(bool demo) : m_path(m_dir.filePath(QStringLiteral("taviro.db")))
{
    auto created = createDatabase(settings(), {QStringLiteral("op1"), QStringLiteral("geheim"),
                                               QStringLiteral("Operator Een")});
    if (!created) {
        m_error = created.error();
        return;
    }
    if (demo)
        if (Status s = addDemoInstallation(**created); !s)
            m_error = s.error();
}

ConnectorPtr TestDatabase::connect() const
{
    auto c = DatabaseConnector::open(settings());
    if (!c) {
        qWarning("%s", qPrintable(c.error()));
        return nullptr;
    }
    return std::move(c.value());
}

} // namespace taviro::test
