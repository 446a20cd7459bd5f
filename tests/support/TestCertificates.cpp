#include "TestCertificates.h"

#include <QFile>
#include <QStringList>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <stdexcept>
#include <string>

namespace {

template <auto Free> struct Deleter {
    template <typename T> void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY_free>>;
using Cert = std::unique_ptr<X509, Deleter<X509_free>>;
using File = std::unique_ptr<BIO, Deleter<BIO_free_all>>;
using Number = std::unique_ptr<BIGNUM, Deleter<BN_free>>;
using Extension = std::unique_ptr<X509_EXTENSION, Deleter<X509_EXTENSION_free>>;

constexpr long Day = 24 * 60 * 60;

// Generation fails only on a broken OpenSSL or an unwritable folder; the
// exception carries what to say and is turned into ErrorText() in one place.
[[noreturn]] void Fail(const QString& what)
{
    const unsigned long code = ERR_get_error();
    char reason[256] = {};
    if (code != 0)
        ERR_error_string_n(code, reason, sizeof reason);
    ERR_clear_error();
    throw std::runtime_error((what + (code != 0 ? ": " + QString::fromLatin1(reason) : QString())).toStdString());
}

Key NewKey()
{
    Key key(EVP_EC_gen("P-256"));
    if (!key)
        Fail("cannot make an EC P-256 key");
    return key;
}

// Validity relative to now, in seconds.
struct Validity {
    long from;
    long to;
};

struct Subject {
    const char* commonName;
    const char* altNames; // subjectAltName in OpenSSL's configuration syntax; none for a CA
};

void SetName(X509_NAME* name, const char* commonName)
{
    if (!X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("Ferrit tests"),
                                    -1, -1, 0)
        || !X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(commonName),
                                       -1, -1, 0))
        Fail(QString("cannot set the name \"%1\"").arg(commonName));
}

// A random serial: two certificates of one issuer must never share one.
void SetSerial(X509* cert)
{
    Number serial(BN_new());
    if (!serial || !BN_rand(serial.get(), 63, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY)
        || !BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(cert)))
        Fail("cannot make a serial number");
}

void AddExtension(X509V3_CTX* context, X509* cert, int nid, const char* value)
{
    Extension extension(X509V3_EXT_conf_nid(nullptr, context, nid, value));
    if (!extension || !X509_add_ext(cert, extension.get(), -1))
        Fail(QString("cannot add the extension %1 = %2").arg(OBJ_nid2sn(nid), value));
}

// Issuer and its key: null for a self-signed certificate.
Cert NewCertificate(const Subject& subject, const Validity& validity, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey)
{
    Cert cert(X509_new());
    if (!cert || !X509_set_version(cert.get(), X509_VERSION_3))
        Fail("cannot make a certificate");
    SetSerial(cert.get());
    SetName(X509_get_subject_name(cert.get()), subject.commonName);
    X509* signer = issuer ? issuer : cert.get();
    if (!X509_set_issuer_name(cert.get(), X509_get_subject_name(signer))
        || !X509_gmtime_adj(X509_getm_notBefore(cert.get()), validity.from)
        || !X509_gmtime_adj(X509_getm_notAfter(cert.get()), validity.to) || !X509_set_pubkey(cert.get(), key))
        Fail(QString("cannot fill in the certificate for %1").arg(subject.commonName));

    X509V3_CTX context;
    X509V3_set_ctx(&context, signer, cert.get(), nullptr, nullptr, 0);
    const bool isCA = subject.altNames == nullptr;
    AddExtension(&context, cert.get(), NID_basic_constraints, isCA ? "critical,CA:TRUE" : "critical,CA:FALSE");
    AddExtension(&context, cert.get(), NID_key_usage,
                 isCA ? "critical,keyCertSign,cRLSign" : "critical,digitalSignature,keyAgreement");
    AddExtension(&context, cert.get(), NID_subject_key_identifier, "hash");
    AddExtension(&context, cert.get(), NID_authority_key_identifier, "keyid:always");
    if (!isCA) {
        AddExtension(&context, cert.get(), NID_ext_key_usage, "serverAuth");
        AddExtension(&context, cert.get(), NID_subject_alt_name, subject.altNames);
    }
    if (!X509_sign(cert.get(), issuerKey ? issuerKey : key, EVP_sha256()))
        Fail(QString("cannot sign the certificate for %1").arg(subject.commonName));
    return cert;
}

File OpenForWriting(const QString& path)
{
    File file(BIO_new_file(QFile::encodeName(path).constData(), "w"));
    if (!file)
        Fail("cannot write " + path);
    return file;
}

void WriteCertificate(const QString& path, X509* cert)
{
    File file = OpenForWriting(path);
    if (!PEM_write_bio_X509(file.get(), cert) || BIO_flush(file.get()) != 1)
        Fail("cannot write " + path);
}

// Only its owner may read a key, as servers expect of their key files.
void WriteKey(const QString& path, EVP_PKEY* key)
{
    File file = OpenForWriting(path);
    QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
    if (!PEM_write_bio_PrivateKey(file.get(), key, nullptr, nullptr, 0, nullptr, nullptr) || BIO_flush(file.get()) != 1)
        Fail("cannot write " + path);
}

constexpr char LoopbackNames[] = "IP:127.0.0.1,IP:::1,DNS:localhost";

} // namespace

TestCertificates::TestCertificates(const QString& folder) : m_folder(folder)
{
    if (m_folder.isEmpty()) {
        m_ownFolder = std::make_unique<QTemporaryDir>();
        if (!m_ownFolder->isValid()) {
            m_error = "cannot create a temporary folder for the certificates: " + m_ownFolder->errorString();
            return;
        }
        m_folder = m_ownFolder->path();
    }
    try {
        Make();
    } catch (const std::runtime_error& e) {
        m_error = QString::fromStdString(e.what());
    }
}

QString TestCertificates::Name(Kind kind)
{
    switch (kind) {
    case Good:
        return "good";
    case Expired:
        return "expired";
    case WrongName:
        return "wrong-name";
    case SelfSigned:
        return "self-signed";
    case OtherGood:
        return "other-good";
    }
    return {};
}

QString TestCertificates::CAFile() const { return FilePath("ca.pem"); }

QString TestCertificates::CertFile(Kind kind) const { return FilePath(Name(kind) + ".pem"); }

QString TestCertificates::KeyFile(Kind kind) const { return FilePath(Name(kind) + "-key.pem"); }

void TestCertificates::Make()
{
    // Starts an hour back so that a clock a little behind still finds them valid.
    const Validity now{-60 * 60, 30 * Day};
    const Key caKey = NewKey();
    const Cert ca = NewCertificate({"Ferrit Test CA", nullptr}, {-60 * Day, 30 * Day}, caKey.get(), nullptr, nullptr);
    WriteCertificate(CAFile(), ca.get());
    WriteKey(FilePath("ca-key.pem"), caKey.get());

    struct Plan {
        Kind kind;
        Subject subject;
        Validity validity;
        bool fromCA;
    };
    const Plan plans[] = {
        {Good, {"localhost", LoopbackNames}, now, true},
        {Expired, {"localhost", LoopbackNames}, {-30 * Day, -Day}, true},
        {WrongName, {"wrong.example", "DNS:wrong.example"}, now, true},
        {SelfSigned, {"localhost", LoopbackNames}, now, false},
        {OtherGood, {"localhost", LoopbackNames}, now, true},
    };
    for (const Plan& plan : plans) {
        const Key key = NewKey();
        const Cert cert = NewCertificate(plan.subject, plan.validity, key.get(), plan.fromCA ? ca.get() : nullptr,
                                         plan.fromCA ? caKey.get() : nullptr);
        WriteCertificate(CertFile(plan.kind), cert.get());
        WriteKey(KeyFile(plan.kind), key.get());
    }
}

QString TestCertificates::Fingerprint(Kind kind) const
{
    File file(BIO_new_file(QFile::encodeName(CertFile(kind)).constData(), "r"));
    const Cert cert(file ? PEM_read_bio_X509(file.get(), nullptr, nullptr, nullptr) : nullptr);
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (!cert || !X509_digest(cert.get(), EVP_sha256(), digest, &size)) {
        ERR_clear_error();
        return {};
    }
    QStringList pairs;
    for (unsigned int i = 0; i < size; ++i)
        pairs << QString("%1").arg(digest[i], 2, 16, QChar('0')).toUpper();
    return pairs.join(':');
}
