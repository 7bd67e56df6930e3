#include "XslTransform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <libxml/parser.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

#include <algorithm>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <vector>

namespace taviro {

namespace {

// libxml2 and libxslt report through a callback; each thread collects its own.
thread_local QString* t_messages = nullptr;

void collectMessage(void*, const char* format, ...)
{
    if (!t_messages)
        return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    t_messages->append(QString::fromUtf8(buffer));
}

struct MessageScope
{
    QString messages;
    MessageScope()
    {
        t_messages = &messages;
        xmlSetGenericErrorFunc(nullptr, collectMessage);
        xsltSetGenericErrorFunc(nullptr, collectMessage);
    }
    ~MessageScope() { t_messages = nullptr; }
    QString text() const { return messages.simplified(); }
};

void initialiseOnce()
{
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xsltInit();
    });
}

struct DocFree { void operator()(xmlDocPtr d) const { xmlFreeDoc(d); } };
struct PrefsFree { void operator()(xsltSecurityPrefsPtr p) const { xsltFreeSecurityPrefs(p); } };

QByteArray localPath(const QString& path)
{
    return QFile::encodeName(QDir::toNativeSeparators(path));
}

} // namespace

Result<std::shared_ptr<XslDocument>> XslDocument::load(const QString& xmlPath, const QString& xslPath)
{
    using R = Result<std::shared_ptr<XslDocument>>;
    initialiseOnce();
    MessageScope scope;
    std::shared_ptr<XslDocument> self(new XslDocument);
    self->m_xslName = QFileInfo(xslPath).fileName();
    const QString& xslName = self->m_xslName;
    if (!QFileInfo::exists(xslPath))
        return R::failure(QStringLiteral("Het stylesheet %1 ontbreekt in %2.")
                              .arg(xslName, QDir::toNativeSeparators(QFileInfo(xslPath).absolutePath())));

    std::unique_ptr<xmlDoc, DocFree> xslDoc(xmlReadFile(localPath(xslPath).constData(), nullptr, XML_PARSE_NONET));
    if (!xslDoc)
        return R::failure(QStringLiteral("Het stylesheet %1 is geen geldig XML-bestand: %2").arg(xslName, scope.text()));
    xsltStylesheetPtr style = xsltParseStylesheetDoc(xslDoc.get());
    if (!style)
        return R::failure(QStringLiteral("Het stylesheet %1 is onbruikbaar: %2").arg(xslName, scope.text()));
    xslDoc.release(); // the stylesheet owns its document now
    self->m_style = style;

    // Large text nodes: a year of reports is far beyond libxml2's default limits.
    xmlDocPtr doc = xmlReadFile(localPath(xmlPath).constData(), nullptr, XML_PARSE_NONET | XML_PARSE_HUGE);
    if (!doc)
        return R::failure(QStringLiteral("Het overzicht %1 kan niet worden gelezen: %2")
                              .arg(QDir::toNativeSeparators(xmlPath), scope.text()));
    self->m_doc = doc;
    return self;
}

XslDocument::~XslDocument()
{
    if (m_doc)
        xmlFreeDoc(static_cast<xmlDocPtr>(m_doc));
    if (m_style)
        xsltFreeStylesheet(static_cast<xsltStylesheetPtr>(m_style));
}

Result<QString> XslDocument::apply(const XslParams& params) const
{
    return applyTo(m_doc, params);
}

Result<QString> XslDocument::applyTo(void* source, const XslParams& params) const
{
    using R = Result<QString>;
    MessageScope scope;
    auto* style = static_cast<xsltStylesheetPtr>(m_style);
    auto* doc = static_cast<xmlDocPtr>(source);
    std::vector<const char*> raw;
    for (const auto& [name, value] : params) {
        raw.push_back(name.constData());
        raw.push_back(value.constData());
    }
    raw.push_back(nullptr);

    // An overview stylesheet has no business on the network or writing files.
    std::unique_ptr<xsltSecurityPrefs, PrefsFree> prefs(xsltNewSecurityPrefs());
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_FILE, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_CREATE_DIRECTORY, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_READ_NETWORK, xsltSecurityForbid);
    xsltSetSecurityPrefs(prefs.get(), XSLT_SECPREF_WRITE_NETWORK, xsltSecurityForbid);
    xsltTransformContextPtr ctxt = xsltNewTransformContext(style, doc);
    if (!ctxt)
        return R::failure(QStringLiteral("Het stylesheet %1 kan niet worden toegepast.").arg(m_xslName));
    xsltSetCtxtSecurityPrefs(prefs.get(), ctxt);
    std::unique_ptr<xmlDoc, DocFree> result(xsltApplyStylesheetUser(style, doc, raw.data(), nullptr, nullptr, ctxt));
    const bool failed = !result || ctxt->state != XSLT_STATE_OK;
    xsltFreeTransformContext(ctxt);
    if (failed)
        return R::failure(QStringLiteral("Het stylesheet %1 kan niet worden toegepast: %2").arg(m_xslName, scope.text()));

    xmlChar* text = nullptr;
    int length = 0;
    if (xsltSaveResultToString(&text, &length, result.get(), style) != 0)
        return R::failure(QStringLiteral("Het resultaat van %1 kan niet worden opgeslagen.").arg(m_xslName));
    const QString html = QString::fromUtf8(reinterpret_cast<const char*>(text), length);
    xmlFree(text);
    return html;
}

namespace {

bool isElement(xmlNodePtr n, const char* name)
{
    return n->type == XML_ELEMENT_NODE && xmlStrEqual(n->name, BAD_CAST name);
}

QString attribute(xmlNodePtr n, const char* name)
{
    xmlChar* v = xmlGetProp(n, BAD_CAST name);
    const QString text = v ? QString::fromUtf8(reinterpret_cast<const char*>(v)) : QString();
    xmlFree(v);
    return text;
}

QString childText(xmlNodePtr n, const char* name)
{
    for (xmlNodePtr c = n->children; c; c = c->next) {
        if (!isElement(c, name))
            continue;
        xmlChar* v = xmlNodeGetContent(c);
        const QString text = v ? QString::fromUtf8(reinterpret_cast<const char*>(v)) : QString();
        xmlFree(v);
        return text;
    }
    return {};
}

void setNumber(xmlNodePtr n, const char* name, qsizetype value)
{
    xmlSetProp(n, BAD_CAST name, BAD_CAST QByteArray::number(value).constData());
}

} // namespace

void XslDocument::index() const
{
    if (m_indexed)
        return;
    m_indexed = true;
    xmlNodePtr root = xmlDocGetRootElement(static_cast<xmlDocPtr>(m_doc));
    if (!root)
        return;
    // A report belongs to the transmitter section of its alias, as the
    // stylesheets group it.
    QHash<QString, QPair<int, int>> byAlias; // first report, count
    for (xmlNodePtr n = root->children; n; n = n->next) {
        if (isElement(n, "melding")) {
            const QString alias = attribute(n, "alias");
            auto it = byAlias.find(alias);
            if (it == byAlias.end())
                byAlias.insert(alias, {int(m_meldingen.size()), 1});
            else
                ++it->second;
            m_meldingen.append(n);
            if (attribute(n, "bemand") == QLatin1String("true"))
                ++m_bemand;
            for (xmlNodePtr a = n->children; a; a = a->next)
                if (isElement(a, "alarm"))
                    ++m_alarmen;
        } else if (isElement(n, "melder")) {
            m_melders.append(n);
        }
    }
    for (void* m : std::as_const(m_melders)) {
        const auto found = byAlias.value(childText(static_cast<xmlNodePtr>(m), "alias"), {-1, 0});
        m_melderFirst.append(found.first);
        m_melderCount.append(found.second);
    }
}

int XslDocument::pageCount(int pageSize) const
{
    index();
    if (pageSize <= 0 || m_meldingen.isEmpty())
        return 1;
    return int((m_meldingen.size() + pageSize - 1) / pageSize);
}

Result<QString> XslDocument::applyPage(int page, int pageSize) const
{
    using R = Result<QString>;
    const int pages = pageCount(pageSize);
    if (page < 1 || page > pages)
        return R::failure(QStringLiteral("Pagina %1 bestaat niet; het overzicht heeft %2 pagina's.").arg(page).arg(pages));
    xmlNodePtr root = xmlDocGetRootElement(static_cast<xmlDocPtr>(m_doc));
    if (!root)
        return R::failure(QStringLiteral("Het overzicht is leeg."));
    const int total = int(m_meldingen.size());
    const int per = pageSize > 0 ? pageSize : std::max(total, 1);
    const int first = (page - 1) * per;
    const int end = std::min(total, first + per);

    std::unique_ptr<xmlDoc, DocFree> doc(xmlNewDoc(BAD_CAST "1.0"));
    xmlNodePtr top = xmlDocCopyNode(root, doc.get(), 2); // the root and its attributes only
    xmlDocSetRootElement(doc.get(), top);
    setNumber(top, "meldingen", total);
    setNumber(top, "alarmen", m_alarmen);
    setNumber(top, "bemandOntvangen", m_bemand);
    setNumber(top, "pagina", page);
    setNumber(top, "paginas", pages);
    setNumber(top, "eerste", first + 1);
    for (int i = first; i < end; ++i)
        xmlAddChild(top, xmlDocCopyNode(static_cast<xmlNodePtr>(m_meldingen[i]), doc.get(), 1));
    // A transmitter without reports keeps its place after the one before it.
    int placed = 1;
    for (qsizetype i = 0; i < m_melders.size(); ++i) {
        if (m_melderFirst[i] >= 0)
            placed = m_melderFirst[i] / per + 1;
        xmlNodePtr copy = xmlDocCopyNode(static_cast<xmlNodePtr>(m_melders[i]), doc.get(), 1);
        setNumber(copy, "meldingen", m_melderCount[i]);
        setNumber(copy, "pagina", placed);
        xmlAddChild(top, copy);
    }
    return applyTo(doc.get(), {});
}

Result<QString> transformXml(const QString& xmlPath, const QString& xslPath, const XslParams& params)
{
    auto doc = XslDocument::load(xmlPath, xslPath);
    if (!doc)
        return Result<QString>::failure(doc.error());
    return (*doc)->apply(params);
}

QString stylesheetOf(const QString& xmlPath)
{
    QFile f(xmlPath);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    // The instruction sits at the very top; no need to read a long overview.
    const QString head = QString::fromUtf8(f.read(512));
    static const QRegularExpression rx(QStringLiteral("<\\?xml-stylesheet[^>]*href=['\"]([^'\"]+)['\"]"));
    const auto m = rx.match(head);
    if (!m.hasMatch())
        return {};
    return QFileInfo(xmlPath).absolutePath() + QLatin1Char('/') + m.captured(1);
}

} // namespace taviro
