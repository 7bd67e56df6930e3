#pragma once

#include <QIcon>
#include <QList>
#include <QString>

namespace taviro {

// The console's twenty icons, loaded once from the Images folder in their
// fixed order; other code names them by position (1-based) or by key.
class ImageList
{
public:
    enum Index {
        ConfigSmall = 1, User16, Add16, Group16, Mereth, Print16, Phone16, Cal16, Srch16, Exp16,
        Smicn16, About16, Prefs16, Cal, Calendar, Splay16, Attention, Pro2, Addbk16, Mereth16
    };

    explicit ImageList(const QString& imagesPath);

    QIcon icon(int index) const;
    QIcon icon(const QString& key) const;
    // File names in image-list order, as the Images folder holds them.
    static QStringList fileNames();
    static QStringList keys();
    // How many files were missing when loading (a broken installation shows gaps, not a crash).
    int missing() const { return m_missing; }

private:
    QList<QIcon> m_icons;
    int m_missing = 0;
};

} // namespace taviro
