#include "app/JpegImage.h"
#include "net/Exception.h"
#include <csetjmp>
#include <cstdio>
#include <jpeglib.h>

namespace {
// libjpeg reports fatal errors through error_exit, which must not return;
// it jumps back to the decoding function, which turns the jump into an exception.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

void ExitOnError(j_common_ptr info)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, errors->message);
    std::longjmp(errors->jump, 1);
}

void IgnoreMessage(j_common_ptr) {}

// Holds no objects with destructors, so the long jump skips nothing.
bool Decode(jpeg_decompress_struct& info, const QByteArray& data, QImage& image)
{
    auto* errors = reinterpret_cast<ErrorManager*>(info.err);
    if (setjmp(errors->jump))
        return false;
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(data.constData()),
                 static_cast<unsigned long>(data.size()));
    jpeg_read_header(&info, TRUE);
    if (info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK) {
        std::snprintf(errors->message, sizeof errors->message, "CMYK pictures are not supported");
        return false;
    }
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    image = QImage(static_cast<int>(info.output_width), static_cast<int>(info.output_height),
                   QImage::Format_RGB888);
    if (image.isNull()) {
        std::snprintf(errors->message, sizeof errors->message, "picture too large");
        return false;
    }
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.scanLine(static_cast<int>(info.output_scanline));
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    return true;
}
}

QImage DecodeJpeg(const QByteArray& data)
{
    jpeg_decompress_struct info{};
    ErrorManager errors{};
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = ExitOnError;
    errors.base.output_message = IgnoreMessage;
    QImage image;
    const bool decoded = Decode(info, data, image);
    jpeg_destroy_decompress(&info);
    if (!decoded)
        throw Exception(QStringLiteral("The picture could not be decoded: %1")
                            .arg(QString::fromLocal8Bit(errors.message)));
    return image;
}
