#pragma once
// Decodes JPEG data with libjpeg.
#include <QByteArray>
#include <QImage>

// Returns the picture as RGB; throws Exception when the data is not a JPEG
// picture libjpeg can decode to RGB.
QImage DecodeJpeg(const QByteArray& data);
