#include "AppTestSupport.h"
#include "app/CertificateDlg.h"
#include "app/CertificateTrust.h"
#include "app/MainForm.h"
#include "net/Exception.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
const QString OldPrint = QString("AA:").repeated(31) + "01";
const QString NewPrint = QString("BB:").repeated(31) + "02";
// Qt's "user" bits repeat those of whoever runs the test; leave them out.
const QFileDevice::Permissions OwnerGroupOther = QFileDevice::Permissions::fromInt(0xf0ff);
const QFileDevice::Permissions OwnerOnly = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

TCertificateInfo Certificate(const QString& fingerprint, bool verified, int port = 21,
                             const QString& host = "ftp.example.org")
{
    TCertificateInfo info;
    info.Host = host;
    info.Port = port;
    info.Subject = "CN=" + host + ", O=Example";
    info.Issuer = verified ? "CN=Example CA" : info.Subject;
    info.NotBefore = QDateTime(QDate(2025, 1, 1), QTime(0, 0), Qt::UTC);
    info.NotAfter = QDateTime(QDate(2035, 1, 1), QTime(0, 0), Qt::UTC);
    info.Fingerprint = fingerprint;
    // Bytes of every value, a NUL among them, as a real DER certificate has.
    info.Der = fingerprint.toLatin1() + QByteArray("\x30\x82\x00\xff\x0a\x0d", 6);
    info.Verified = verified;
    info.Reason = verified ? QString() : "self-signed certificate";
    return info;
}

// Restores the process's umask when it goes.
class Umask {
public:
    explicit Umask(mode_t mask) : m_old(::umask(mask)) {}
    ~Umask() { ::umask(m_old); }
    Umask(const Umask&) = delete;
    Umask& operator=(const Umask&) = delete;

private:
    mode_t m_old;
};

class CertificateTrustTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString file = dir.filePath("Ferrit/trusted-certificates");
    TCertificateTrust trust{file};

    QByteArray ReadText() const
    {
        QFile in(file);
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray("<missing>");
    }
    void WriteText(const QByteArray& text)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(text);
    }
};
}

TEST(TrustedCertificatesFileNameTest, LiesInTheConfigFolder)
{
    EXPECT_EQ(TrustedCertificatesFileName("/home/u/.config/Ferrit"), "/home/u/.config/Ferrit/trusted-certificates");
    // No configuration folder: nothing pinned, and pinning says why instead of writing elsewhere.
    TCertificateTrust nowhere(TrustedCertificatesFileName(QString()));
    EXPECT_FALSE(nowhere.Pinned("ftp.example.org", 21));
    EXPECT_THROW(nowhere.Trust(Certificate(NewPrint, false)), Exception);
}

TEST_F(CertificateTrustTest, PinsArePrivateToTheOwnerAndComeBackWhole)
{
    const Umask permissive(0);
    EXPECT_FALSE(trust.Pinned("ftp.example.org", 21));
    const TCertificateInfo first = Certificate(OldPrint, false);
    trust.Trust(first);
    EXPECT_EQ(QFile::permissions(file) & OwnerGroupOther, OwnerOnly) << "even with a umask that lets anyone read";
    const std::optional<TPinnedCertificate> pin = trust.Pinned("FTP.Example.org", 21);
    ASSERT_TRUE(pin) << ReadText().toStdString();
    EXPECT_EQ(pin->Host, first.Host);
    EXPECT_EQ(pin->Port, 21);
    EXPECT_EQ(pin->Fingerprint, OldPrint);
    EXPECT_EQ(pin->Subject, first.Subject);
    EXPECT_EQ(pin->Der, first.Der);
    EXPECT_TRUE(ReadText().contains("-----BEGIN CERTIFICATE-----")) << "the certificate can be inspected";
    EXPECT_FALSE(trust.Pinned("ftp.example.org", 990)) << "a pin is for one port";
    EXPECT_FALSE(trust.Pinned("other.example.org", 21));

    // Another server's pin keeps the first; a new pin for the first replaces it.
    trust.Trust(Certificate(NewPrint, true, 990));
    trust.Trust(Certificate(NewPrint, true, 21));
    EXPECT_EQ(trust.Pinned("ftp.example.org", 21)->Fingerprint, NewPrint);
    EXPECT_EQ(trust.Pinned("ftp.example.org", 990)->Fingerprint, NewPrint);
    EXPECT_EQ(ReadText().count(OldPrint.toLatin1()), 0);
    EXPECT_EQ(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files), QStringList{"trusted-certificates"})
        << "no temporary file left";
    EXPECT_TRUE(trust.Problem().isEmpty());
}

TEST_F(CertificateTrustTest, AFileMadeReadableByOthersIsMadePrivateAgainAtTheNextPin)
{
    trust.Trust(Certificate(OldPrint, false));
    ASSERT_TRUE(QFile::setPermissions(file, OwnerOnly | QFileDevice::ReadGroup | QFileDevice::ReadOther));
    trust.Trust(Certificate(NewPrint, false, 2121));
    EXPECT_EQ(QFile::permissions(file) & OwnerGroupOther, OwnerOnly);
    EXPECT_EQ(trust.Pinned("ftp.example.org", 21)->Fingerprint, OldPrint);
}

// Anyone who may write the file could pin a certificate of theirs: none of it
// counts, the user is told once, and a new pin does not go over it.
TEST_F(CertificateTrustTest, AFileOthersMayWriteIsNotTrustedAndSaysSoOnce)
{
    trust.Trust(Certificate(OldPrint, false));
    for (const QFileDevice::Permissions loose : {QFileDevice::WriteGroup, QFileDevice::WriteOther}) {
        ASSERT_TRUE(QFile::setPermissions(file, OwnerOnly | loose));
        const QByteArray before = ReadText();
        TCertificateTrust fresh(file);
        EXPECT_FALSE(fresh.Pinned("ftp.example.org", 21));
        EXPECT_FALSE(fresh.ShownTls("ftp.example.org", 21));
        EXPECT_TRUE(fresh.Problem().contains("can be changed by other users")) << fresh.Problem().toStdString();
        EXPECT_EQ(fresh.UntoldProblem(), fresh.Problem());
        fresh.Pinned("ftp.example.org", 21);
        EXPECT_TRUE(fresh.UntoldProblem().isEmpty()) << "told once";
        EXPECT_THROW(fresh.Trust(Certificate(NewPrint, false)), Exception);
        EXPECT_EQ(ReadText(), before);
    }
    ASSERT_TRUE(QFile::setPermissions(file, OwnerOnly));
    EXPECT_EQ(trust.Pinned("ftp.example.org", 21)->Fingerprint, OldPrint);
}

// A server that spoke TLS is remembered beside the pins, as privately, in a
// file replaced whole; a pin counts as TLS shown too.
TEST_F(CertificateTrustTest, ServersThatSpokeTlsAreRememberedPrivately)
{
    EXPECT_FALSE(trust.ShownTls("ftp.example.org", 21));
    trust.Trust(Certificate(OldPrint, false, 990));
    EXPECT_TRUE(trust.ShownTls("FTP.example.org", 990)) << "a pinned certificate";
    trust.RememberTls("ftp.example.org", 21);
    trust.RememberTls("ftp.example.org", 21);
    trust.RememberTls("::1", 2121);
    TCertificateTrust later(file);
    EXPECT_TRUE(later.ShownTls("ftp.example.org", 21));
    EXPECT_TRUE(later.ShownTls("::1", 2121));
    EXPECT_FALSE(later.ShownTls("ftp.example.org", 2121)) << "per host and port";
    EXPECT_FALSE(later.ShownTls("other.example.org", 21));
    const QString memory = TlsHostsFileName(file);
    EXPECT_EQ(QFileInfo(memory).absolutePath(), QFileInfo(file).absolutePath());
    EXPECT_EQ(QFile::permissions(memory) & OwnerGroupOther, OwnerOnly);
    QFile in(memory);
    ASSERT_TRUE(in.open(QIODevice::ReadOnly));
    EXPECT_EQ(in.readAll().count("ftp.example.org"), 1) << "remembered once";
    EXPECT_EQ(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files),
              (QStringList{"tls-hosts", "trusted-certificates"}))
        << "no temporary file left";
}

TEST_F(CertificateTrustTest, AFileThatCannotBeReadIsNeverReplaced)
{
    const QByteArray cases[] = {
        "{ not json",
        "[1, 2, 3]",
        QByteArray(5 << 20, 'x'),
    };
    for (const QByteArray& text : cases) {
        WriteText(text);
        EXPECT_FALSE(trust.Pinned("ftp.example.org", 21));
        EXPECT_FALSE(trust.Problem().isEmpty());
        try {
            trust.Trust(Certificate(NewPrint, false));
            ADD_FAILURE() << "a pin went over a file that was not read";
        } catch (const Exception& error) {
            EXPECT_TRUE(error.Message().contains(file)) << error.Message().toStdString();
        }
        EXPECT_EQ(ReadText(), text) << "the file is left as it was";
    }
}

TEST_F(CertificateTrustTest, AFailedWriteKeepsTheOldPinsAndLeavesNothingBehind)
{
    trust.Trust(Certificate(OldPrint, false));
    const QByteArray before = ReadText();
    {
        FileSizeLimit fullDisk(64);
        EXPECT_THROW(trust.Trust(Certificate(NewPrint, false)), Exception);
    }
    EXPECT_EQ(ReadText(), before);
    EXPECT_EQ(QDir(QFileInfo(file).absolutePath()).entryList(QDir::Files), QStringList{"trusted-certificates"});

    // The very first pin failing leaves no empty file that would hide the failure.
    TCertificateTrust fresh(dir.filePath("fresh/trusted-certificates"));
    {
        FileSizeLimit fullDisk(64);
        EXPECT_THROW(fresh.Trust(Certificate(NewPrint, false)), Exception);
    }
    EXPECT_FALSE(QFile::exists(fresh.FileName()));
}

// The window's answer to each certificate, by what is pinned and what the user says.
TEST_F(CertificateTrustTest, AChangedOrUnverifiedCertificateIsNeverAcceptedSilently)
{
    enum Pin { None, Same, Other };
    const struct {
        const char* name;
        Pin pinned;
        bool verified;
        std::optional<TCertificateAnswer> answer; // none: no question may be asked
        bool accepted;
        QString pinAfter; // the fingerprint pinned afterwards, empty for none
    } cases[] = {
        {"unpinned, verified", None, true, std::nullopt, true, ""},
        {"unpinned, not verified, refused", None, false, TCertificateAnswer::Refuse, false, ""},
        {"unpinned, not verified, accepted once", None, false, TCertificateAnswer::AcceptOnce, true, ""},
        {"unpinned, not verified, trusted", None, false, TCertificateAnswer::TrustAlways, true, NewPrint},
        {"pinned, the same, not verified", Same, false, std::nullopt, true, NewPrint},
        {"pinned, the same, verified", Same, true, std::nullopt, true, NewPrint},
        {"pinned, changed to one that verifies, refused", Other, true, TCertificateAnswer::Refuse, false, OldPrint},
        {"pinned, changed, accepted once", Other, false, TCertificateAnswer::AcceptOnce, true, OldPrint},
        {"pinned, changed, trusted", Other, true, TCertificateAnswer::TrustAlways, true, NewPrint},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir caseDir;
        TMainForm form(caseDir.filePath("ferrit.vth"));
        auto scripted = std::make_unique<TScriptedDialogs>();
        TScriptedDialogs& dialogs = *scripted;
        form.SetDialogs(std::move(scripted));
        form.SetSounds(std::make_unique<TRecordedSounds>());
        const QString trustFile = caseDir.filePath("trusted-certificates");
        form.SetTrustedCertificatesFile(trustFile);
        TCertificateTrust pins(trustFile);
        if (c.pinned != None)
            pins.Trust(Certificate(c.pinned == Same ? NewPrint : OldPrint, false));
        if (c.answer)
            dialogs.Certificates.Answers.push_back(*c.answer);

        const TCertificateInfo offered = Certificate(NewPrint, c.verified);
        bool accept = offered.Verified;
        form.FTPClient1Certificate(offered, accept);

        EXPECT_EQ(accept, c.accepted);
        ASSERT_EQ(dialogs.Certificates.Asked.size(), c.answer ? 1u : 0u);
        if (c.answer) {
            const TCertificateQuestion& asked = dialogs.Certificates.Asked[0];
            EXPECT_EQ(asked.Certificate.Fingerprint, NewPrint);
            EXPECT_EQ(asked.Previous.has_value(), c.pinned == Other) << "a change is shown as a change";
            if (asked.Previous) {
                EXPECT_EQ(asked.Previous->Fingerprint, OldPrint);
            }
        }
        const std::optional<TPinnedCertificate> after = pins.Pinned(offered.Host, offered.Port);
        EXPECT_EQ(after ? after->Fingerprint : QString(), c.pinAfter);
        EXPECT_TRUE(dialogs.Shown.empty());
    }
}

TEST_F(CertificateTrustTest, ATrustedCertificateThatCannotBeKeptIsAcceptedOnceAndSaysWhy)
{
    QTemporaryDir formDir;
    TMainForm form(formDir.filePath("ferrit.vth"));
    auto scripted = std::make_unique<TScriptedDialogs>();
    TScriptedDialogs& dialogs = *scripted;
    form.SetDialogs(std::move(scripted));
    form.SetSounds(std::make_unique<TRecordedSounds>());
    form.SetTrustedCertificatesFile(file);
    WriteText("{ damaged");
    dialogs.Certificates.Answers = {TCertificateAnswer::TrustAlways};
    const TCertificateInfo offered = Certificate(NewPrint, false);
    bool accept = false;
    form.FTPClient1Certificate(offered, accept);
    EXPECT_TRUE(accept) << "the user's answer holds for the session";
    ASSERT_EQ(dialogs.Shown.size(), 1u);
    EXPECT_EQ(dialogs.Shown[0].Kind, "error");
    EXPECT_TRUE(dialogs.Shown[0].Text.contains(file)) << dialogs.Shown[0].Text.toStdString();
    EXPECT_EQ(ReadText(), "{ damaged");

    // Within the session the same certificate is not asked about again; another one is.
    accept = false;
    form.FTPClient1Certificate(offered, accept);
    EXPECT_TRUE(accept);
    EXPECT_EQ(dialogs.Certificates.Asked.size(), 1u);
    dialogs.Certificates.Answers = {TCertificateAnswer::Refuse};
    const TCertificateInfo another = Certificate(OldPrint, false);
    accept = true;
    form.FTPClient1Certificate(another, accept);
    EXPECT_FALSE(accept);
    EXPECT_EQ(dialogs.Certificates.Asked.size(), 2u);
}

TEST(CertificateDlgTest, ShowsWhatTheCertificateSaysAndWhyItIsInQuestion)
{
    TCertificateInfo expired = Certificate(NewPrint, false, 2121, "::1");
    expired.NotBefore = QDateTime(QDate(2020, 1, 1), QTime(0, 0), Qt::UTC);
    expired.NotAfter = QDateTime(QDate(2021, 1, 1), QTime(0, 0), Qt::UTC);
    expired.Reason = "certificate has expired";
    const TCertificateDlg unverified(expired, std::nullopt);
    EXPECT_EQ(unverified.lblServer->text(), "[::1]:2121");
    EXPECT_EQ(unverified.lblSubject->text(), expired.Subject);
    EXPECT_EQ(unverified.lblIssuer->text(), expired.Issuer);
    EXPECT_EQ(unverified.lblReason->text(), "certificate has expired");
    EXPECT_TRUE(unverified.lblValidUntil->text().endsWith(" (expired)")) << unverified.lblValidUntil->text().toStdString();
    EXPECT_FALSE(unverified.lblValidFrom->text().contains("(")) << unverified.lblValidFrom->text().toStdString();
    EXPECT_EQ(unverified.lblFingerprint->text().remove('\n'), NewPrint);
    EXPECT_TRUE(unverified.lblFingerprint->textInteractionFlags() & Qt::TextSelectableByMouse);
    EXPECT_EQ(unverified.lblOldFingerprint, nullptr);
    EXPECT_TRUE(unverified.btnRefuse->isDefault());
    EXPECT_FALSE(unverified.btnAcceptOnce->autoDefault() || unverified.btnTrustAlways->autoDefault())
        << "Enter refuses wherever the focus is";

    const TCertificateInfo verified = Certificate(NewPrint, true);
    TPinnedCertificate pinned;
    pinned.Host = verified.Host;
    pinned.Port = 21;
    pinned.Fingerprint = OldPrint;
    const TCertificateDlg changed(verified, pinned);
    EXPECT_TRUE(changed.windowTitle().contains("changed"));
    EXPECT_TRUE(changed.lblHeading->text().startsWith("Warning")) << changed.lblHeading->text().toStdString();
    ASSERT_NE(changed.lblOldFingerprint, nullptr);
    EXPECT_EQ(changed.lblOldFingerprint->text().remove('\n'), OldPrint);
    EXPECT_FALSE(changed.lblReason->text().isEmpty()) << "a change that verifies still says why it is asked";

    for (const TCertificateDlg* dialog : {&unverified, &changed})
        for (const QWidget* control : dialog->findChildren<QWidget*>())
            if (!control->objectName().isEmpty() && !control->objectName().startsWith("qt_")) {
                EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
            }
}

TEST(CertificateDlgTest, RefuseIsTheDefaultAndEachButtonGivesItsAnswer)
{
    const struct {
        const char* name;
        std::function<void(TCertificateDlg&)> act;
        TCertificateAnswer answer;
    } cases[] = {
        {"Escape", [](TCertificateDlg& d) { QTest::keyClick(&d, Qt::Key_Escape); }, TCertificateAnswer::Refuse},
        {"Enter", [](TCertificateDlg& d) { QTest::keyClick(&d, Qt::Key_Return); }, TCertificateAnswer::Refuse},
        {"Enter on Trust always",
         [](TCertificateDlg& d) {
             d.btnTrustAlways->setFocus();
             QTest::keyClick(d.btnTrustAlways, Qt::Key_Return);
         },
         TCertificateAnswer::Refuse},
        {"closed", [](TCertificateDlg& d) { d.close(); }, TCertificateAnswer::Refuse},
        {"Refuse", [](TCertificateDlg& d) { d.btnRefuse->click(); }, TCertificateAnswer::Refuse},
        {"Accept once", [](TCertificateDlg& d) { d.btnAcceptOnce->click(); }, TCertificateAnswer::AcceptOnce},
        {"Trust always", [](TCertificateDlg& d) { d.btnTrustAlways->click(); }, TCertificateAnswer::TrustAlways},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WhenModal([&](QWidget* shown) {
            auto* dialog = qobject_cast<TCertificateDlg*>(shown);
            if (!dialog) {
                ADD_FAILURE() << "another dialog came up";
                shown->close();
                return;
            }
            c.act(*dialog);
        });
        TMessageBoxes boxes(nullptr);
        EXPECT_EQ(boxes.AskCertificate(Certificate(NewPrint, false), std::nullopt), c.answer);
    }
}
