#include "ftp/WireText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscapeAt(const QString& text, qsizetype i)
{
    const char16_t c = text[i].unicode();
    return c >= 0xDC80 && c <= 0xDCFF && !(i > 0 && QChar::isHighSurrogate(text[i - 1].unicode()));
}

QChar Escape(unsigned char byte) { return QChar(char16_t(kEscapeBase + byte)); }

// The length of the valid UTF-8 sequence at bytes[i], 0 when there is none.
int ValidSequenceAt(QByteArrayView bytes, qsizetype i, char32_t& codePoint)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    int length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        codePoint = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, min = 0x80, codePoint = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, min = 0x800, codePoint = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, min = 0x10000, codePoint = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (int k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and values beyond Unicode are not valid UTF-8.
    if (codePoint < min || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint <= 0xDFFF))
        return 0;
    return length;
}

QString DecodeUtf8(QByteArrayView bytes)
{
    // Nearly every line is valid UTF-8: Qt's own decoder is many times faster.
    if (bytes.isValidUtf8())
        return QString::fromUtf8(bytes);
    QString text;
    text.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t codePoint = 0;
        const int length = ValidSequenceAt(bytes, i, codePoint);
        if (length == 0) {
            text += Escape(static_cast<unsigned char>(bytes[i]));
            ++i;
            continue;
        }
        if (QChar::requiresSurrogates(codePoint)) {
            text += QChar(QChar::highSurrogate(codePoint));
            text += QChar(QChar::lowSurrogate(codePoint));
        } else {
            text += QChar(char16_t(codePoint));
        }
        i += length;
    }
    return text;
}

// Single-byte encodings decode byte by byte; a byte they leave undefined stays raw.
QString DecodeLegacy(QByteArrayView bytes, const QString& encoding)
{
    QString text;
    text.reserve(bytes.size());
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += QChar(byte);
            continue;
        }
        QStringDecoder decoder(encoding.toLatin1().constData());
        const QString decoded = decoder.decode(QByteArrayView(&c, 1));
        text += decoded.size() == 1 && decoded[0] != QChar::ReplacementCharacter && !decoder.hasError()
            ? decoded[0]
            : Escape(byte);
    }
    return text;
}

bool IsUtf8(const QString& encoding)
{
    return encoding.isEmpty() || encoding.compare(QLatin1String("UTF-8"), Qt::CaseInsensitive) == 0;
}

} // namespace

QString DecodeWire(QByteArrayView bytes, const QString& encoding)
{
    return IsUtf8(encoding) ? DecodeUtf8(bytes) : DecodeLegacy(bytes, encoding);
}

QByteArray EncodeWire(const QString& text, const QString& encoding)
{
    QByteArray out;
    out.reserve(text.size());
    qsizetype runStart = 0;
    // Runs of ordinary text go through the encoder; escaped bytes go out as they are.
    const auto flush = [&](qsizetype end) {
        if (end <= runStart)
            return;
        const QString run = text.mid(runStart, end - runStart);
        if (!IsUtf8(encoding)) {
            QStringEncoder encoder(encoding.toLatin1().constData());
            const QByteArray encoded = encoder.encode(run);
            if (encoder.isValid() && !encoder.hasError()) {
                out += encoded;
                return;
            }
        }
        out += run.toUtf8(); // what the legacy encoding cannot hold
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (IsEscapeAt(text, i)) {
            flush(i);
            out += char(text[i].unicode() - kEscapeBase);
            runStart = i + 1;
        }
    }
    flush(text.size());
    return out;
}

bool HoldsRawBytes(const QString& wire)
{
    for (qsizetype i = 0; i < wire.size(); ++i)
        if (IsEscapeAt(wire, i))
            return true;
    return false;
}

QString DisplayText(const QString& wire, bool automatic)
{
    if (!HoldsRawBytes(wire))
        return wire;
    if (automatic)
        return QString::fromLatin1(EncodeWire(wire));
    QString shown = wire;
    for (qsizetype i = 0; i < shown.size(); ++i)
        if (IsEscapeAt(wire, i))
            shown[i] = QChar::ReplacementCharacter;
    return shown;
}

QStringList LegacyEncodings()
{
    return {QStringLiteral("ISO-8859-1"), QStringLiteral("Windows-1252"), QStringLiteral("ISO-8859-15"),
            QStringLiteral("ISO-8859-2"), QStringLiteral("Windows-1250"), QStringLiteral("Windows-1251"),
            QStringLiteral("KOI8-R")};
}
