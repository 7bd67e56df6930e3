#include "XslTransform.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <libxml/parser.h>
#include <libxslt/security.h>
#include <libxslt/transform.h>
#include <libxslt/xslt.h>
#include <libxslt/xsltInternals.h>
#include <libxslt/xsltutils.h>

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
    using R = Result<QString>;
    MessageScope scope;
    auto* style = static_cast<xsltStylesheetPtr>(m_style);
    auto* doc = static_cast<xmlDocPtr>(m_doc);
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
