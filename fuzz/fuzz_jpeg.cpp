// The JPEG logo decoder: any bytes give a null image or a picture within the decoder's
// limits, never a crash. There is no encoder, so no round trip.

#include "FuzzCheck.h"

#include "platform/JpegImage.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    const QImage image = JpegImage::fromData(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (image.isNull())
        return 0;
    FUZZ_CHECK(image.width() > 0 && image.height() > 0);
    FUZZ_CHECK(qint64(image.width()) * image.height() <= JpegImage::kMaxPixels);
    FUZZ_CHECK(image.format() == QImage::Format_Grayscale8 || image.format() == QImage::Format_RGB888 ||
               image.format() == QImage::Format_RGB32);
    // Touch every pixel row, so that a short buffer shows under the address sanitizer.
    volatile uchar sink = 0;
    for (int y = 0; y < image.height(); ++y)
        sink = sink ^ image.constScanLine(y)[image.bytesPerLine() - 1];
    return 0;
}
