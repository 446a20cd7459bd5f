#pragma once
// Names on the wire are bytes, and a server's bytes need not be UTF-8. Lines
// are decoded here without loss: as UTF-8 (or in the host's legacy encoding),
// and every byte that does not decode as one code point U+DC80..U+DCFF (a lone
// low surrogate, which no valid text holds). Encoding gives the same bytes
// back, so a name taken from a listing reaches the server again exactly as it
// came.
//
// `encoding` is empty for UTF-8 (the default, also "automatic") or one of
// LegacyEncodings().
#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

QString DecodeWire(QByteArrayView bytes, const QString& encoding = {});
QByteArray EncodeWire(const QString& text, const QString& encoding = {});

// The text to show for a wire text. Bytes that did not decode show as the
// replacement character; without a chosen encoding ("automatic") a name that
// is not valid UTF-8 is shown as ISO-8859-1, which every byte decodes in.
QString DisplayText(const QString& wire, bool automatic = true);

// Whether the text holds bytes that did not decode.
bool HoldsRawBytes(const QString& wire);

// The single-byte legacy encodings a host may choose, by the names above.
QStringList LegacyEncodings();
