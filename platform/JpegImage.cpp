#include "platform/JpegImage.h"

#include "platform/RegularFile.h"

#include <QFile>

#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

namespace {

// libjpeg's default error handler calls exit(). This one jumps back to decompress().
struct ErrorManager
{
    jpeg_error_mgr base; // first member: libjpeg hands back a pointer to it
    std::jmp_buf escape;
};

[[noreturn]] void leave(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->escape, 1);
}

// A warning (level -1) is libjpeg's word for corrupt data, a truncated file among them, where
// it would carry on and fill the rest with grey; that is a failure here. Trace messages are
// dropped, nothing is printed.
void onMessage(j_common_ptr cinfo, int level)
{
    if (level < 0)
        leave(cinfo);
}

void silent(j_common_ptr) {}

// Adobe writes CMYK inverted (0 = full ink); turn each pixel of a row into RGB32 in place:
// the four bytes of a CMYK pixel take the place of its 32-bit RGB value.
void cmykRowToRgb(uchar* row, int width, bool inverted)
{
    auto* out = reinterpret_cast<QRgb*>(row);
    for (int x = 0; x < width; ++x) {
        int c = row[4 * x], m = row[4 * x + 1], y = row[4 * x + 2], k = row[4 * x + 3];
        if (!inverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[x] = qRgb(c * k / 255, m * k / 255, y * k / 255);
    }
}

// Everything between setjmp and a possible longjmp is C data or lives in the caller's frame,
// so the jump back skips no destructor. Returns false when libjpeg gave up on the data.
bool decompress(jpeg_decompress_struct* cinfo, ErrorManager* err, const QByteArray* data, QImage* out)
{
    if (setjmp(err->escape))
        return false;

    jpeg_create_decompress(cinfo);
    jpeg_mem_src(cinfo, reinterpret_cast<const unsigned char*>(data->constData()),
                 static_cast<unsigned long>(data->size()));
    jpeg_read_header(cinfo, TRUE);

    if (cinfo->image_width == 0 || cinfo->image_height == 0 ||
        qint64(cinfo->image_width) * qint64(cinfo->image_height) > JpegImage::kMaxPixels)
        return false;

    QImage::Format format = QImage::Format_RGB888;
    switch (cinfo->jpeg_color_space) {
    case JCS_GRAYSCALE:
        cinfo->out_color_space = JCS_GRAYSCALE;
        format = QImage::Format_Grayscale8;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        cinfo->out_color_space = JCS_CMYK;
        format = QImage::Format_RGB32;
        break;
    default:
        cinfo->out_color_space = JCS_RGB;
        break;
    }

    jpeg_start_decompress(cinfo);
    const int components = format == QImage::Format_Grayscale8 ? 1 : format == QImage::Format_RGB888 ? 3 : 4;
    if (cinfo->output_components != components)
        return false;

    *out = QImage(static_cast<int>(cinfo->output_width), static_cast<int>(cinfo->output_height), format);
    if (out->isNull())
        return false;

    while (cinfo->output_scanline < cinfo->output_height) {
        const int y = static_cast<int>(cinfo->output_scanline);
        JSAMPROW row = out->scanLine(y);
        if (jpeg_read_scanlines(cinfo, &row, 1) != 1)
            return false;
        if (format == QImage::Format_RGB32)
            cmykRowToRgb(row, out->width(), cinfo->saw_Adobe_marker);
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

} // namespace

QImage JpegImage::fromData(const QByteArray& data)
{
    if (data.isEmpty())
        return {};

    jpeg_decompress_struct cinfo;
    std::memset(&cinfo, 0, sizeof cinfo);
    ErrorManager err;
    std::memset(&err, 0, sizeof err);
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = leave;
    err.base.emit_message = onMessage;
    err.base.output_message = silent;

    QImage image;
    const bool ok = decompress(&cinfo, &err, &data, &image);
    jpeg_destroy_decompress(&cinfo);
    return ok ? image : QImage();
}

QImage JpegImage::decode(const QString& path)
{
    // Never a FIFO or a device: opening one could wait for ever.
    const int fd = RegularFile::openForReading(path);
    if (fd < 0)
        return {};
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return {};
    }
    if (file.size() > kMaxFileBytes)
        return {};
    return fromData(file.read(kMaxFileBytes));
}
