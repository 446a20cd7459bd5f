#include "app/CertificateTrust.h"
#include "net/Exception.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {
// Far more than any number of pins a user collects; a larger file is not ours.
constexpr qint64 MaxFileSize = 4 << 20;
const QString ListKey = QStringLiteral("certificates");
const QString TlsHostsKey = QStringLiteral("hosts");
const QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

bool SameServer(const QJsonObject& entry, const QString& host, int port)
{
    return entry.value(QStringLiteral("port")).toInt() == port
        && entry.value(QStringLiteral("host")).toString().compare(host, Qt::CaseInsensitive) == 0;
}

QByteArray DerOf(const QByteArray& pem)
{
    QByteArray body;
    for (const QByteArray& line : pem.split('\n'))
        if (!line.startsWith("-----"))
            body += line.trimmed();
    return QByteArray::fromBase64(body);
}

std::optional<TPinnedCertificate> PinOf(const QJsonObject& entry)
{
    const TPinnedCertificate pin{.Host = entry.value(QStringLiteral("host")).toString(),
                           .Port = entry.value(QStringLiteral("port")).toInt(),
                           .Fingerprint = entry.value(QStringLiteral("fingerprint")).toString(),
                           .Subject = entry.value(QStringLiteral("subject")).toString(),
                           .Der = DerOf(entry.value(QStringLiteral("certificate")).toString().toLatin1())};
    if (pin.Fingerprint.isEmpty())
        return std::nullopt;
    return pin;
}

QJsonObject EntryOf(const TCertificateInfo& certificate)
{
    return {{QStringLiteral("host"), certificate.Host},
            {QStringLiteral("port"), certificate.Port},
            {QStringLiteral("fingerprint"), certificate.Fingerprint},
            {QStringLiteral("subject"), certificate.Subject},
            {QStringLiteral("issuer"), certificate.Issuer},
            {QStringLiteral("certificate"), QString::fromLatin1(PemText(certificate.Der))}};
}

// Creates the file empty, readable by its owner only, unless it is there already:
// the safe-save that follows then keeps these permissions from its first byte on.
// True when this call created it.
bool CreatePrivately(const QString& fileName)
{
    const int fd = ::open(QFile::encodeName(fileName).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::close(fd);
        return true;
    }
    if (errno != EEXIST)
        throw Exception(QStringLiteral("Unable to write to %1: %2").arg(fileName, QString::fromLocal8Bit(std::strerror(errno))));
    // A file made looser by hand is made private again before new pins go in.
    QFile::setPermissions(fileName, OwnerOnly);
    return false;
}

void WriteWhole(const QString& fileName, const QByteArray& bytes)
{
    QSaveFile file(fileName);
    // Unbuffered, so that a full disk shows at the write and not as a cut file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Exception(QStringLiteral("Unable to write to %1: %2").arg(fileName, file.errorString()));
    file.setPermissions(OwnerOnly);
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        throw Exception(QStringLiteral("Unable to write to %1: %2").arg(fileName, reason));
    }
    if (!file.commit())
        throw Exception(QStringLiteral("Unable to write to %1: %2").arg(fileName, file.errorString()));
}

// Someone else could have put entries there: a pin an attacker made, or a
// server's TLS memory removed.
bool OthersMayChange(const QFileInfo& info)
{
    return info.ownerId() != ::geteuid()
        || (info.permissions() & (QFileDevice::WriteGroup | QFileDevice::WriteOther)) != 0;
}

// The file's entries; none with `problem` set when it is there but unusable.
std::optional<QJsonArray> ReadEntries(const QString& fileName, QString& problem, const QString& key = ListKey)
{
    problem.clear();
    const QFileInfo info(fileName);
    if (!info.exists())
        return QJsonArray();
    QFile file(fileName);
    if (!info.isFile() || info.size() > MaxFileSize) {
        problem = QStringLiteral("%1 is not a file of trusted certificates.").arg(fileName);
        return std::nullopt;
    }
    if (OthersMayChange(info)) {
        problem = QStringLiteral("%1 can be changed by other users, so nothing in it is trusted. Make it writable by "
                                 "its owner only (chmod 600).")
                      .arg(fileName);
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        problem = QStringLiteral("%1 could not be read: %2").arg(fileName, file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    // An empty file is one whose first save was cut short: it holds no pins.
    if (bytes.trimmed().isEmpty())
        return QJsonArray();
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject()) {
        problem = QStringLiteral("%1 is damaged: %2").arg(fileName, error.errorString());
        return std::nullopt;
    }
    return document.object().value(key).toArray();
}
}

TCertificateCheck CheckCertificate(const TCertificateInfo& certificate, const std::optional<TPinnedCertificate>& pinned)
{
    if (pinned)
        return pinned->Fingerprint.compare(certificate.Fingerprint, Qt::CaseInsensitive) == 0
                   ? TCertificateCheck::Accept
                   : TCertificateCheck::AskChanged;
    return certificate.Verified ? TCertificateCheck::Accept : TCertificateCheck::Ask;
}

QString TrustedCertificatesFileName(const QString& configFolder)
{
    // Without a configuration folder the name would land in the file system's root.
    return configFolder.isEmpty() ? QString() : configFolder + QStringLiteral("/trusted-certificates");
}

QString TlsHostsFileName(const QString& trustedCertificatesFile)
{
    return trustedCertificatesFile.isEmpty()
        ? QString()
        : QFileInfo(trustedCertificatesFile).dir().filePath(QStringLiteral("tls-hosts"));
}

QByteArray PemText(const QByteArray& der)
{
    const QByteArray base64 = der.toBase64();
    QByteArray pem = "-----BEGIN CERTIFICATE-----\n";
    for (qsizetype at = 0; at < base64.size(); at += 64)
        pem += base64.mid(at, 64) + '\n';
    return pem + "-----END CERTIFICATE-----\n";
}

std::optional<TPinnedCertificate> TCertificateTrust::Pinned(const QString& host, int port) const
{
    const std::optional<QJsonArray> entries = ReadEntries(m_fileName, m_problem);
    if (!entries)
        return std::nullopt;
    for (const QJsonValue& value : *entries)
        if (SameServer(value.toObject(), host, port))
            return PinOf(value.toObject());
    return std::nullopt;
}

QString TCertificateTrust::UntoldProblem() const
{
    if (m_problem.isEmpty() || m_problem == m_told)
        return {};
    m_told = m_problem;
    return m_problem;
}

bool TCertificateTrust::ShownTls(const QString& host, int port) const
{
    if (Pinned(host, port))
        return true;
    QString problem;
    const std::optional<QJsonArray> entries = ReadEntries(TlsHostsFileName(m_fileName), problem, TlsHostsKey);
    return entries && std::any_of(entries->begin(), entries->end(), [&](const QJsonValue& value) {
               return SameServer(value.toObject(), host, port);
           });
}

void TCertificateTrust::RememberTls(const QString& host, int port)
{
    const QString fileName = TlsHostsFileName(m_fileName);
    QString problem;
    std::optional<QJsonArray> entries = fileName.isEmpty() ? std::nullopt : ReadEntries(fileName, problem, TlsHostsKey);
    if (!entries || std::any_of(entries->begin(), entries->end(),
                                [&](const QJsonValue& value) { return SameServer(value.toObject(), host, port); }))
        return;
    entries->append(QJsonObject{{QStringLiteral("host"), host.toLower()}, {QStringLiteral("port"), port}});
    try {
        QDir().mkpath(QFileInfo(fileName).absolutePath());
        const bool created = CreatePrivately(fileName);
        try {
            WriteWhole(fileName, QJsonDocument(QJsonObject{{TlsHostsKey, *entries}}).toJson());
        } catch (...) {
            if (created)
                QFile::remove(fileName);
            throw;
        }
    } catch (const Exception&) {
        // Only the memory is lost: the next session with this server asks for TLS as ever.
    }
}

void TCertificateTrust::Trust(const TCertificateInfo& certificate)
{
    if (m_fileName.isEmpty())
        throw Exception(QStringLiteral("The certificate could not be kept as trusted: this user has no "
                                       "configuration folder to keep it in."));
    std::optional<QJsonArray> entries = ReadEntries(m_fileName, m_problem);
    if (!entries)
        throw Exception(QStringLiteral("The certificate could not be kept as trusted: %1 It is left as it is, so that "
                                       "no certificate trusted before is lost.")
                            .arg(m_problem));
    QJsonArray kept;
    for (const QJsonValue& value : *entries)
        if (!SameServer(value.toObject(), certificate.Host, certificate.Port))
            kept.append(value);
    kept.append(EntryOf(certificate));
    const QByteArray bytes = QJsonDocument(QJsonObject{{ListKey, kept}}).toJson();
    QDir().mkpath(QFileInfo(m_fileName).absolutePath());
    const bool created = CreatePrivately(m_fileName);
    try {
        WriteWhole(m_fileName, bytes);
    } catch (...) {
        if (created)
            QFile::remove(m_fileName);
        throw;
    }
}
