// Draws Pennaro's own icons and logo and synthesises its chime, writing them into the
// folder named on the command line (resources/). Output is deterministic, so running it
// again over an unchanged source leaves the committed files as they are.

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtEndian>

#include <cmath>
#include <cstdio>
#include <functional>
#include <vector>

#include <jpeglib.h>

namespace {

const QColor kNavy(0x2c, 0x4a, 0x7a);
const QColor kNavyDark(0x1c, 0x30, 0x52);
const QColor kRed(0xc8, 0x46, 0x3d);
const QColor kRedDark(0x8e, 0x2a, 0x24);
const QColor kGreen(0x3c, 0x9a, 0x4c);
const QColor kGreenDark(0x23, 0x66, 0x2f);
const QColor kPaper(0xfb, 0xfa, 0xf6);
const QColor kPaperShade(0xe4, 0xe8, 0xef);

using Drawing = std::function<void(QPainter&)>;

// Renders a drawing made in a 32 × 32 design space at the given pixel size.
QImage render(int size, const Drawing& draw, double design = 32.0)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / design, size / design);
    draw(p);
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QPen outline(const QColor& c, double width = 1.2)
{
    return QPen(c, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

QLinearGradient vertical(double y0, double y1, const QColor& top, const QColor& bottom)
{
    QLinearGradient g(0, y0, 0, y1);
    g.setColorAt(0, top);
    g.setColorAt(1, bottom);
    return g;
}

// A quill lying from its nib (bottom left) to its tip (top right) of a box.
QPainterPath quill(const QPointF& nib, const QPointF& tip, double breadth)
{
    const QLineF axis(nib, tip);
    const QPointF d = (tip - nib) / axis.length();
    const QPointF n(-d.y(), d.x());
    const double len = axis.length();
    auto at = [&](double along, double across) { return nib + d * (along * len) + n * (across * breadth); };

    QPainterPath path;
    path.moveTo(at(0.0, 0.0));
    path.lineTo(at(0.16, 0.18));
    path.cubicTo(at(0.40, 0.95), at(0.78, 0.85), tip);
    path.cubicTo(at(0.80, -0.30), at(0.45, -0.55), at(0.20, -0.28));
    path.lineTo(at(0.16, -0.18));
    path.closeSubpath();
    return path;
}

void drawQuill(QPainter& p, const QPointF& nib, const QPointF& tip, double breadth, double line)
{
    QLinearGradient g(nib, tip);
    g.setColorAt(0, kNavyDark);
    g.setColorAt(1, QColor(0x5d, 0x7f, 0xb5));
    p.setPen(outline(kNavyDark, line));
    p.setBrush(g);
    p.drawPath(quill(nib, tip, breadth));
    // The shaft, a light line down the feather's middle.
    const QPointF d = tip - nib;
    p.setPen(QPen(QColor(0xdd, 0xe6, 0xf3), line * 0.8, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(nib + d * 0.2, nib + d * 0.88);
}

// ---- icons ------------------------------------------------------------------

void drawProgram(QPainter& p)
{
    // A calendar sheet with a quill across its corner.
    QPainterPath sheet;
    sheet.addRoundedRect(QRectF(3, 5.5, 23, 23.5), 3, 3);
    p.setPen(outline(kNavyDark));
    p.setBrush(vertical(5, 29, kPaper, kPaperShade));
    p.drawPath(sheet);

    p.save();
    p.setClipPath(sheet);
    p.setPen(Qt::NoPen);
    p.setBrush(vertical(5, 12, QColor(0xdd, 0x5e, 0x52), kRed));
    p.drawRect(QRectF(3, 5.5, 23, 6.5));
    p.restore();
    p.setPen(outline(kNavyDark));
    p.setBrush(Qt::NoBrush);
    p.drawPath(sheet);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xb4, 0xbd, 0xcc));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 4; ++col)
            p.drawRect(QRectF(6 + col * 4.5, 15 + row * 4.2, 3, 2.6));
    p.setBrush(kRed);
    p.drawRect(QRectF(6 + 1 * 4.5, 15 + 1 * 4.2, 3, 2.6));

    p.setPen(outline(kNavyDark, 1.0));
    p.setBrush(QColor(0x9a, 0xa4, 0xb4));
    p.drawRoundedRect(QRectF(8, 3, 2.6, 5.5), 1.2, 1.2);
    p.drawRoundedRect(QRectF(18.4, 3, 2.6, 5.5), 1.2, 1.2);

    drawQuill(p, QPointF(17.5, 30.5), QPointF(31, 9), 4.2, 1.0);
}

void drawVer(QPainter& p)
{
    // An open eye.
    QPainterPath eye;
    eye.moveTo(2.5, 16);
    eye.cubicTo(8, 6.5, 24, 6.5, 29.5, 16);
    eye.cubicTo(24, 25.5, 8, 25.5, 2.5, 16);
    p.setPen(outline(kNavyDark, 1.4));
    p.setBrush(vertical(8, 24, Qt::white, kPaperShade));
    p.drawPath(eye);

    p.save();
    p.setClipPath(eye);
    QRadialGradient iris(16, 16, 7);
    iris.setColorAt(0, QColor(0x6f, 0xb5, 0xc9));
    iris.setColorAt(1, QColor(0x1f, 0x6f, 0x8b));
    p.setPen(outline(kNavyDark, 1.0));
    p.setBrush(iris);
    p.drawEllipse(QPointF(16, 16), 6.5, 6.5);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x10, 0x1c, 0x2c));
    p.drawEllipse(QPointF(16, 16), 2.8, 2.8);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(18.2, 13.6), 1.5, 1.5);
    p.restore();
}

void drawAnadir(QPainter& p)
{
    // A green plus.
    QPainterPath plus;
    plus.setFillRule(Qt::WindingFill);
    plus.addRoundedRect(QRectF(12, 3.5, 8, 25), 2, 2);
    plus.addRoundedRect(QRectF(3.5, 12, 25, 8), 2, 2);
    plus = plus.simplified();
    p.setPen(outline(kGreenDark, 1.3));
    p.setBrush(vertical(3, 29, QColor(0x74, 0xc9, 0x7f), kGreen));
    p.drawPath(plus);
}

void drawBuscar(QPainter& p)
{
    // A magnifying glass.
    p.setPen(QPen(kNavyDark, 5.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(19.5, 19.5), QPointF(27.5, 27.5));
    p.setPen(QPen(QColor(0x8a, 0x5a, 0x2e), 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(20.5, 20.5), QPointF(27.3, 27.3));

    QRadialGradient glass(11, 10, 10);
    glass.setColorAt(0, QColor(0xf2, 0xf8, 0xff));
    glass.setColorAt(1, QColor(0xa9, 0xcb, 0xe8));
    p.setPen(QPen(kNavy, 2.6));
    p.setBrush(glass);
    p.drawEllipse(QPointF(13, 13), 9, 9);
    p.setPen(QPen(Qt::white, 1.4, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(7.5, 7.5, 11, 11), 100 * 16, 70 * 16);
}

void drawOnOff(QPainter& p)
{
    // The power sign on a round button.
    QRadialGradient face(13, 11, 16);
    face.setColorAt(0, Qt::white);
    face.setColorAt(1, QColor(0xc9, 0xd0, 0xdb));
    p.setPen(outline(kNavyDark, 1.2));
    p.setBrush(face);
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);

    p.setPen(QPen(kGreen, 3.0, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(9, 9.5, 14, 14), 125 * 16, 290 * 16);
    p.drawLine(QPointF(16, 7.5), QPointF(16, 15.5));
}

void drawListado(QPainter& p)
{
    // A sheet with a bulleted list.
    p.setPen(outline(kNavyDark));
    p.setBrush(vertical(2, 30, kPaper, kPaperShade));
    p.drawRoundedRect(QRectF(5, 2.5, 22, 27), 2, 2);
    for (int i = 0; i < 5; ++i) {
        const double y = 7.5 + i * 4.6;
        p.setPen(Qt::NoPen);
        p.setBrush(kNavy);
        p.drawEllipse(QPointF(9.5, y), 1.5, 1.5);
        p.setPen(QPen(QColor(0x7d, 0x88, 0x99), 1.6, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(13, y), QPointF(i % 2 ? 20.5 : 23.5, y));
    }
}

void drawEnvelope(QPainter& p, const QRectF& r, double line)
{
    p.setPen(outline(kNavyDark, line));
    p.setBrush(vertical(r.top(), r.bottom(), QColor(0xff, 0xfb, 0xe8), QColor(0xee, 0xe2, 0xb8)));
    p.drawRect(r);
    QPainterPath flap;
    flap.moveTo(r.topLeft());
    flap.lineTo(r.center().x(), r.top() + r.height() * 0.58);
    flap.lineTo(r.topRight());
    p.setBrush(Qt::NoBrush);
    p.drawPath(flap);
    p.setPen(outline(QColor(0xb3, 0xa3, 0x72), line * 0.8));
    p.drawLine(r.bottomLeft() + QPointF(line, -line), QPointF(r.left() + r.width() * 0.38, r.center().y() + 0.5));
    p.drawLine(r.bottomRight() + QPointF(-line, -line), QPointF(r.right() - r.width() * 0.38, r.center().y() + 0.5));
}

void drawSobres(QPainter& p)
{
    // Three envelopes stacked; designed on a 20 × 20 grid.
    drawEnvelope(p, QRectF(6.5, 1.5, 12, 8), 1.0);
    drawEnvelope(p, QRectF(4, 5.5, 12, 8), 1.0);
    drawEnvelope(p, QRectF(1.5, 9.5, 12, 8), 1.0);
}

void drawCorreo(QPainter& p)
{
    // One envelope with a red stamp.
    drawEnvelope(p, QRectF(2.5, 7.5, 27, 18), 1.3);
    p.setPen(outline(kRedDark, 0.9));
    p.setBrush(kRed);
    p.drawRect(QRectF(23, 9.5, 4.5, 5));
}

void drawCancelar(QPainter& p)
{
    // A red disc with a white cross.
    p.setPen(outline(kRedDark, 1.2));
    p.setBrush(vertical(2, 30, QColor(0xe8, 0x74, 0x68), kRed));
    p.drawEllipse(QPointF(16, 16), 13.5, 13.5);
    p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(11, 11), QPointF(21, 21));
    p.drawLine(QPointF(21, 11), QPointF(11, 21));
}

// ---- logo -------------------------------------------------------------------

QImage drawLogo()
{
    const int w = 145, h = 62;
    QImage image(w, h, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    p.fillRect(image.rect(), vertical(0, h, QColor(0xfd, 0xfb, 0xf5), QColor(0xee, 0xe6, 0xd3)));
    p.setPen(QPen(QColor(0xbf, 0xb0, 0x8c), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));

    drawQuill(p, QPointF(9, 55), QPointF(38, 6), 8.5, 1.2);

    QFont font(QStringLiteral("DejaVu Serif"));
    font.setPixelSize(21);
    font.setBold(true);
    font.setItalic(true);
    font.setHintingPreference(QFont::PreferNoHinting);
    const QString word = QStringLiteral("Pennaro");
    const QFontMetricsF fm(font);
    const double left = 43, right = 139;
    // Centre the ink, not the advance: the italic's last letter leans past its advance.
    const QRectF ink = fm.tightBoundingRect(word);
    const double x = left + (right - left - ink.width()) / 2 - ink.left();
    const double baseline = 36;
    p.setFont(font);
    p.setPen(QColor(0, 0, 0, 40));
    p.drawText(QPointF(x + 1, baseline + 1), word);
    p.setPen(kNavyDark);
    p.drawText(QPointF(x, baseline), word);

    // An ink stroke under the word, thin at both ends.
    QPainterPath stroke;
    stroke.moveTo(left + 2, baseline + 9);
    stroke.cubicTo(left + 30, baseline + 5, right - 30, baseline + 11, right - 2, baseline + 6);
    stroke.cubicTo(right - 30, baseline + 13, left + 30, baseline + 8, left + 2, baseline + 9);
    p.setPen(Qt::NoPen);
    p.setBrush(kRed);
    p.drawPath(stroke);
    p.end();
    return image;
}

bool writeJpeg(const QImage& source, const QString& path)
{
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(rgb.width());
    cinfo.image_height = static_cast<JDIMENSION>(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 92, TRUE);
    cinfo.optimize_coding = TRUE;
    // No chroma subsampling: the thin red stroke and the lettering keep their edges.
    for (int i = 0; i < cinfo.num_components; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rgb.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);

    QFile file(path);
    const bool ok =
        file.open(QIODevice::WriteOnly) &&
        file.write(reinterpret_cast<const char*>(buffer), static_cast<qint64>(size)) == static_cast<qint64>(size);
    free(buffer);
    return ok;
}

// ---- chime ------------------------------------------------------------------

// Two soft bell strokes, a fourth apart, each a few inharmonic partials with their own decay.
std::vector<qint16> chime(int rate)
{
    const double length = 0.6;
    const int n = static_cast<int>(length * rate);
    std::vector<double> mix(static_cast<size_t>(n), 0.0);

    struct Partial
    {
        double ratio, amplitude, decay;
    };
    const Partial partials[] = {{1.0, 1.0, 0.16}, {2.0, 0.28, 0.09}, {2.76, 0.12, 0.06}, {5.40, 0.05, 0.03}};
    const struct
    {
        double start, frequency, gain;
    } strokes[] = {{0.0, 783.99, 0.85}, {0.17, 1046.50, 1.0}};

    for (const auto& s : strokes) {
        const int first = static_cast<int>(s.start * rate);
        for (int i = first; i < n; ++i) {
            const double t = double(i - first) / rate;
            const double attack = std::min(1.0, t / 0.004);
            double v = 0;
            for (const Partial& q : partials)
                v += q.amplitude * std::exp(-t / q.decay) * std::sin(2 * M_PI * s.frequency * q.ratio * t);
            mix[size_t(i)] += s.gain * attack * v;
        }
    }

    // The tail fades to silence so the sound ends without a click.
    const int fade = rate / 25;
    for (int i = 0; i < fade; ++i)
        mix[size_t(n - fade + i)] *= 1.0 - double(i + 1) / fade;

    double peak = 0;
    for (double v : mix)
        peak = std::max(peak, std::abs(v));
    const double scale = 0.45 * 32767 / peak;
    std::vector<qint16> samples(size_t(n), 0);
    for (int i = 0; i < n; ++i)
        samples[size_t(i)] = static_cast<qint16>(std::lround(mix[size_t(i)] * scale));
    return samples;
}

bool writeWav(const std::vector<qint16>& samples, int rate, const QString& path)
{
    const quint32 dataBytes = quint32(samples.size() * 2);
    QByteArray out;
    auto u32 = [&](quint32 v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    auto u16 = [&](quint16 v) {
        char b[2];
        qToLittleEndian(v, b);
        out.append(b, 2);
    };
    out.append("RIFF");
    u32(36 + dataBytes);
    out.append("WAVEfmt ");
    u32(16);
    u16(1); // PCM
    u16(1); // mono
    u32(quint32(rate));
    u32(quint32(rate * 2));
    u16(2);
    u16(16);
    out.append("data");
    u32(dataBytes);
    for (qint16 s : samples)
        u16(quint16(s));

    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

bool savePng(const QImage& image, const QString& path)
{
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "No se pudo escribir %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "uso: resgen CARPETA_DE_RECURSOS\n");
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral("icons")) || !out.mkpath(QStringLiteral("hicolor"))) {
        std::fprintf(stderr, "No se pudo crear la carpeta de salida\n");
        return 1;
    }

    bool ok = true;
    const struct
    {
        const char* name;
        Drawing draw;
        int size;
        double design;
    } icons[] = {
        {"pennaro", drawProgram, 32, 32}, {"ver", drawVer, 32, 32},       {"anadir", drawAnadir, 32, 32},
        {"buscar", drawBuscar, 32, 32},   {"onoff", drawOnOff, 32, 32},   {"listado", drawListado, 32, 32},
        {"sobres", drawSobres, 20, 20},   {"correo", drawCorreo, 32, 32}, {"cancelar", drawCancelar, 32, 32},
    };
    for (const auto& icon : icons)
        ok &= savePng(render(icon.size, icon.draw, icon.design),
                      out.filePath(QStringLiteral("icons/%1.png").arg(QLatin1String(icon.name))));

    // The program's icon at the sizes of the desktop's icon theme.
    for (int size : {32, 48, 64, 128, 256})
        ok &= savePng(render(size, drawProgram), out.filePath(QStringLiteral("hicolor/pennaro-%1.png").arg(size)));

    ok &= writeJpeg(drawLogo(), out.filePath(QStringLiteral("logo.jpg")));

    const int rate = 44100;
    ok &= writeWav(chime(rate), rate, out.filePath(QStringLiteral("NOTIFY.WAV")));
    return ok ? 0 : 1;
}
