#pragma once

#include <QString>

#include <optional>

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QWidget;

namespace taviro::form {

// Controls carry the names the installers' documentation and the tests use.
QLineEdit* textBox(QWidget* parent, const QString& objectName);
QCheckBox* checkBox(QWidget* parent, const QString& objectName, const QString& caption);
QPushButton* button(QWidget* parent, const QString& objectName, const QString& caption);
// A box of e-mail addresses, one a line. Tab moves on to the next control:
// an address never holds a tab.
QPlainTextEdit* addressBox(QWidget* parent, const QString& objectName);
// Addresses as they are stored: each line without white space around it,
// empty lines left out.
QString cleanAddresses(const QString& typed);
// A text box with its label as one row of a form.
QLineEdit* addTextRow(QFormLayout* form, const QString& objectName, const QString& label);

// Ticked is true, anything else false.
bool isTicked(const QCheckBox* box);
// A whole number as typed (surrounding blanks allowed); nothing for other text.
std::optional<qint64> wholeNumber(const QString& text);

} // namespace taviro::form
