#include "ImageList.h"

#include <QFileInfo>

namespace taviro {

QStringList ImageList::fileNames()
{
    return {QStringLiteral("config_16.ico"), QStringLiteral("user_16.ico"),  QStringLiteral("add_16.ico"),
            QStringLiteral("group_16.ico"),  QStringLiteral("Mereth.ico"),   QStringLiteral("print_16.ico"),
            QStringLiteral("phone_16.ico"),  QStringLiteral("cal_16.ico"),   QStringLiteral("srch_16.ico"),
            QStringLiteral("exp_16.ico"),    QStringLiteral("smicn_16.ico"), QStringLiteral("about_16.ico"),
            QStringLiteral("prefs_16.ico"),  QStringLiteral("cal.ico"),      QStringLiteral("calendar.ico"),
            QStringLiteral("splay_16.ico"),  QStringLiteral("attention.ico"), QStringLiteral("pro2.ico"),
            QStringLiteral("addbk_16.ico"),  QStringLiteral("Mereth16.ico")};
}

QStringList ImageList::keys()
{
    return {QStringLiteral("config_small"), QStringLiteral("user_16"),  QStringLiteral("add_16"),
            QStringLiteral("group_16"),     QStringLiteral("mereth"),   QStringLiteral("print_16"),
            QStringLiteral("phone_16"),     QStringLiteral("cal_16"),   QStringLiteral("srch_16"),
            QStringLiteral("exp_16"),       QStringLiteral("smicn_16"), QStringLiteral("about_16"),
            QStringLiteral("prefs_16"),     QStringLiteral("cal"),      QStringLiteral("calendar"),
            QStringLiteral("splay_16"),     QStringLiteral("attention"), QStringLiteral("pro2"),
            QStringLiteral("addbk_16"),     QStringLiteral("Mereth16")};
}

ImageList::ImageList(const QString& imagesPath)
{
    for (const QString& name : fileNames()) {
        const QString path = imagesPath + name;
        if (!QFileInfo::exists(path))
            ++m_missing;
        m_icons.append(QIcon(path));
    }
}

QIcon ImageList::icon(int index) const
{
    return index >= 1 && index <= m_icons.size() ? m_icons.at(index - 1) : QIcon();
}

QIcon ImageList::icon(const QString& key) const
{
    return icon(int(keys().indexOf(key)) + 1);
}

} // namespace taviro
