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

    // A long overview split into pages of `pageSize` reports (0: one page).
    // Each page is a small document of its own: its reports, every
    // transmitter, and on the root the figures of the whole overview
    // (`meldingen`, `alarmen`, `bemandOntvangen`), the page (`pagina`,
    // `paginas`, `eerste`); each transmitter carries its report count
    // (`meldingen`) and the page its section starts on (`pagina`). So the
    // stylesheet lays out a hundred reports, never the year around them.
    int pageCount(int pageSize) const;
    Result<QString> applyPage(int page, int pageSize) const; // page 1-based

private:
    XslDocument() = default;
    Result<QString> applyTo(void* doc, const XslParams& params) const;
    void index() const;

    void* m_style = nullptr; // xsltStylesheetPtr
    void* m_doc = nullptr;   // xmlDocPtr
    QString m_xslName;
    // Filled on the first page asked for.
    mutable bool m_indexed = false;
    mutable QList<void*> m_meldingen; // xmlNodePtr, document order
    mutable QList<void*> m_melders;
    mutable QList<int> m_melderFirst; // index of a transmitter's first report, -1 none
    mutable QList<int> m_melderCount;
    mutable int m_alarmen = 0;
    mutable int m_bemand = 0;
};

// Applies an XSL stylesheet to an XML file, the way a browser would show it.
// The stylesheet may read local files but never the network or write anything.
Result<QString> transformXml(const QString& xmlPath, const QString& xslPath, const XslParams& params = {});

// The stylesheet a document names in its xml-stylesheet instruction, looked up
// beside the document; empty when the document names none.
QString stylesheetOf(const QString& xmlPath);

} // namespace taviro
