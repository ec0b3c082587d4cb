#pragma once
// The scrambling of the stored mail password: each byte of the text's UTF-8 form moves up
// by 5 (mod 256) and becomes the character of that code. UTF-8 never holds the bytes 251
// to 255, so the result never holds a zero character, which the settings store would cut
// the text at. Kept apart from the window so that it can be checked on its own.

#include <QByteArray>
#include <QChar>
#include <QString>

namespace PasswordScramble {

inline constexpr int kShift = 5;

inline QString scramble(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    QString scrambled;
    scrambled.reserve(bytes.size());
    for (const char byte : bytes)
        scrambled.append(QChar(char16_t((quint8(byte) + kShift) & 0xFF)));
    return scrambled;
}

// The inverse of scramble. A character above U+00FF cannot come from scramble (a stored
// text edited by hand): it is kept as it stands, and bytes that do not decode as UTF-8
// become U+FFFD, so any stored text gives some password and never an error.
inline QString unscramble(const QString& text)
{
    QString plain;
    QByteArray bytes;
    const auto flush = [&] {
        plain += QString::fromUtf8(bytes);
        bytes.clear();
    };
    for (const QChar c : text) {
        if (c.unicode() > 0xFF) {
            flush();
            plain += c;
            continue;
        }
        bytes.append(char((c.unicode() - kShift) & 0xFF));
    }
    flush();
    return plain;
}

} // namespace PasswordScramble
