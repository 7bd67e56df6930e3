#pragma once

#include "DatabaseConnector.h"

#include <QTemporaryDir>

namespace taviro::test {

// A fresh version-29 SQLite file in a temporary folder, with operator
// "op1" / "geheim" (name "Operator Een"). Several connections may be opened on it.
class TestDatabase
{
public:
    explicit TestDatabase(bool demo = false);

    bool ok() const { return m_error.isEmpty(); }
    const QString& error() const { return m_error; }
    QString path() const { return m_path; }
    QString folder() const { return m_dir.path(); }
    DatabaseSettings settings() const { return DatabaseSettings::fromText(m_path); }
    // A new connection; the test fails loudly through an empty pointer if it cannot open.
    ConnectorPtr connect() const;

private:
    QTemporaryDir m_dir;
    QString m_path;
    QString m_error;
};

} // namespace taviro::test
