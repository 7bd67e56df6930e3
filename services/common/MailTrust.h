#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

#include <curl/curl.h>

namespace taviro::service {

// The authorities a mail service trusts. A site may run one mail server with
// a certificate of its own authority and use a public one for the other, so
// the installer's authority (TAVIRO_TLS_CA_FILE, PEM) is trusted in addition
// to the system's list, never instead of it. The system's list is the file
// OpenSSL's SSL_CERT_FILE names, or else libcurl's own bundle; the folder of
// authorities libcurl was built with counts as well.
class MailTrust
{
public:
    // Reads the files once, for the transfers of one session or mail.
    static MailTrust fromEnvironment()
    {
        MailTrust t;
        const QString own = qEnvironmentVariable("TAVIRO_TLS_CA_FILE").trimmed();
        t.m_systemFile = qEnvironmentVariable("SSL_CERT_FILE").trimmed();
        if (own.isEmpty())
            return t;
        QFile f(own);
        if (!f.open(QIODevice::ReadOnly)) {
            t.m_problem = QStringLiteral("het CA-bestand %1 uit TAVIRO_TLS_CA_FILE is niet te lezen (%2); zet er het "
                                         "pad van een certificaat in PEM-vorm in, of laat de variabele weg")
                              .arg(own, f.errorString());
            return t;
        }
        const QByteArray ownAuthorities = f.readAll();
        if (!ownAuthorities.contains("-----BEGIN CERTIFICATE-----")) {
            t.m_problem = QStringLiteral("het CA-bestand %1 uit TAVIRO_TLS_CA_FILE bevat geen certificaat in "
                                         "PEM-vorm")
                              .arg(own);
            return t;
        }
        QString system = t.m_systemFile;
        if (system.isEmpty()) {
            CURL* probe = curl_easy_init();
            char* path = nullptr;
            if (probe && curl_easy_getinfo(probe, CURLINFO_CAINFO, &path) == CURLE_OK && path)
                system = QString::fromLocal8Bit(path);
            if (probe)
                curl_easy_cleanup(probe);
        }
        QFile s(system);
        if (!system.isEmpty() && s.open(QIODevice::ReadOnly))
            t.m_bundle = s.readAll() + '\n';
        t.m_bundle += ownAuthorities;
        return t;
    }

    // Why nothing can be trusted as asked (Dutch, names the file); empty when all is well.
    const QString& problem() const { return m_problem; }

    void apply(CURL* curl) const
    {
        if (!m_bundle.isEmpty()) {
            curl_blob blob{const_cast<char*>(m_bundle.constData()), size_t(m_bundle.size()), CURL_BLOB_COPY};
            curl_easy_setopt(curl, CURLOPT_CAINFO_BLOB, &blob);
        } else if (!m_systemFile.isEmpty()) {
            curl_easy_setopt(curl, CURLOPT_CAINFO, m_systemFile.toLocal8Bit().constData());
        }
    }

private:
    QString m_systemFile;
    QByteArray m_bundle; // the system's list and the installer's authority together
    QString m_problem;
};

} // namespace taviro::service
