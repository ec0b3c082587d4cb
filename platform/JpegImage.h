#pragma once
// Decodes a JPEG picture with the IJG libjpeg API (the about box's logo), without Qt's
// image plug-ins. Damaged input gives a null image; it never ends the program.

#include <QByteArray>
#include <QImage>
#include <QString>

class JpegImage
{
public:
    // Grayscale pictures come back as Format_Grayscale8, colour ones as Format_RGB888
    // (CMYK ones as Format_RGB32). A missing, empty, truncated or corrupt file, one
    // larger than the decoder accepts, or one libjpeg merely warns about, gives a null image.
    static QImage decode(const QString& path);
    static QImage fromData(const QByteArray& data);

    // Largest picture decoded, in pixels, and largest file read, in bytes.
    static constexpr qint64 kMaxPixels = 32LL * 1024 * 1024;
    static constexpr qint64 kMaxFileBytes = 32LL * 1024 * 1024;
};
