#pragma once

#include "Result.h"

#include <QList>
#include <QString>

#include <memory>
#include <utility>

namespace taviro {

// Stylesheet parameters: name and an XPath expression (a number such as "201").
using XslParams = QList<std::pair<QByteArray, QByteArray>>;

// An overview document and its stylesheet, read once, so that the pages of a
// long overview can be produced one at a time without reading 18 MB again.
// May be made on one thread and used on another, never on two at once.
class XslDocument
{
public:
    // A missing or broken stylesheet and an unreadable document are told in Dutch.
    static Result<std::shared_ptr<XslDocument>> load(const QString& xmlPath, const QString& xslPath);
    ~XslDocument();
    XslDocument(const XslDocument&) = delete;
    XslDocument& operator=(const XslDocument&) = delete;

    // The HTML the stylesheet makes of the document, with these parameters.
    Result<QString> apply(const XslParams& params = {}) const;

private:
    XslDocument() = default;
    void* m_style = nullptr; // xsltStylesheetPtr
    void* m_doc = nullptr;   // xmlDocPtr
    QString m_xslName;
};

// Applies an XSL stylesheet to an XML file, the way a browser would show it.
// The stylesheet may read local files but never the network or write anything.
Result<QString> transformXml(const QString& xmlPath, const QString& xslPath, const XslParams& params = {});

// The stylesheet a document names in its xml-stylesheet instruction, looked up
// beside the document; empty when the document names none.
QString stylesheetOf(const QString& xmlPath);

} // namespace taviro
