// taviro-bench storm [N]            N reports x 3 lines stored and taken in, against the raw rate
// taviro-bench bigtable [ROWS]      delivery pass and acknowledgement with ROWS dispatches of
// history
#include "BenchSetup.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("storm"))
        return taviro::bench::runStorm(args.size() > 2 ? args[2].toInt() : 10000);
    if (mode == QLatin1String("bigtable"))
        return taviro::bench::runBigTable(args.size() > 2 ? args[2].toInt() : 1000000);
    QTextStream(stderr) << "gebruik: taviro-bench storm [aantal] | bigtable [rijen]" << Qt::endl;
    return 2;
}
