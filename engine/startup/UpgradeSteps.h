#pragma once

#include "DatabaseSettings.h"

#include <QList>
#include <QString>
#include <QVariantList>

namespace taviro::upgrade {

// One statement of the schema upgrade, already in this dialect's SQL.
struct Step
{
    QString sql;
    QVariantList binds;
};

// The statements that bring a database from below `below` up to `below`.
struct Block
{
    int below;
    QList<Step> steps;
};

// The blocks for versions 26, 27, 28 and 29, in the order they run.
QList<Block> blocks(Dialect dialect);

} // namespace taviro::upgrade
