#include "AboutBox.h"

#include <QMessageBox>
#include <QStringList>

namespace taviro {

QString versionText(const QString& version)
{
    const QStringList parts = version.split(QLatin1Char('.'));
    auto part = [&](int i) { return i < parts.size() && !parts[i].isEmpty() ? parts[i] : QStringLiteral("0"); };
    return part(0) + QLatin1Char('.') + part(1) + QStringLiteral(" Build: ") + part(2);
}

QString aboutText()
{
    return QStringLiteral("Mereth Taviro ") + versionText(QStringLiteral(TAVIRO_VERSION));
}

void showAboutBox(QWidget* parent)
{
    auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Info"), aboutText(), QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("frmAbout"));
    box->setInformativeText(QStringLiteral("Alarmontvangst en -doormelding voor gebouwbeheer."));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace taviro
