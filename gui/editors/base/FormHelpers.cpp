#include "FormHelpers.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QStringList>
#include <QPushButton>

namespace taviro::form {

QLineEdit* textBox(QWidget* parent, const QString& objectName)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    return edit;
}

QPlainTextEdit* addressBox(QWidget* parent, const QString& objectName)
{
    auto* box = new QPlainTextEdit(parent);
    box->setObjectName(objectName);
    box->setTabChangesFocus(true);
    return box;
}

QString cleanAddresses(const QString& typed)
{
    QStringList lines;
    for (const QString& line : typed.split(QRegularExpression(QStringLiteral("[\\r\\n]+")), Qt::SkipEmptyParts))
        if (const QString address = line.trimmed(); !address.isEmpty())
            lines << address;
    return lines.join(QLatin1Char('\n'));
}

QCheckBox* checkBox(QWidget* parent, const QString& objectName, const QString& caption)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(objectName);
    return box;
}

QPushButton* button(QWidget* parent, const QString& objectName, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(objectName);
    return b;
}

QLineEdit* addTextRow(QFormLayout* form, const QString& objectName, const QString& label)
{
    auto* edit = textBox(form->parentWidget(), objectName);
    form->addRow(label, edit);
    return edit;
}

bool isTicked(const QCheckBox* box)
{
    return box->checkState() == Qt::Checked;
}

std::optional<qint64> wholeNumber(const QString& text)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

} // namespace taviro::form
