#pragma once

#include "Result.h"

namespace taviro {

class DatabaseConnector;

// Writes that belong together. On SQLite it starts with BEGIN IMMEDIATE, so the
// write lock is taken up front and a second process waits instead of failing
// half-way with "database is locked". Rolled back unless committed.
class Transaction
{
public:
    explicit Transaction(const DatabaseConnector& connector);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    Status begin();
    Status commit();
    void rollback();
    bool active() const { return m_active; }

private:
    const DatabaseConnector& m_connector;
    bool m_active = false;
};

} // namespace taviro
