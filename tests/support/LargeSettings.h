#pragma once
// A large settings file for load tests and the start-up benchmark: a REGEDIT4 text with
// the given values of the mail key after thousands of other values in that same key,
// thousands of sibling keys, and one long binary value over many continued lines, padded
// to about `bytes`. Each part used to cost time growing with the square of its size.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <algorithm>

namespace LargeSettings {

inline const char* const kMailKey = "HKEY_LOCAL_MACHINE\\Software\\Quelmar\\Ostiva\\mail";
inline constexpr int kFillerValues = 20000;
inline constexpr int kSiblingKeys = 20000;

// `mailLines` are value lines as they stand in the file ("\"User1\"=\"ana\"").
inline QByteArray text(qint64 bytes, int fillerValues, int siblingKeys, const QList<QByteArray>& mailLines)
{
    QByteArray out = "REGEDIT4\n\n[";
    out += kMailKey;
    out += "]\n";
    const QByteArray filler(200, 'f');
    for (int i = 0; i < fillerValues; ++i)
        out += "\"relleno" + QByteArray::number(i) + "\"=\"" + filler + "\"\n";
    for (const QByteArray& line : mailLines)
        out += line + '\n';
    out += '\n';
    for (int i = 0; i < siblingKeys; ++i)
        out += "[HKEY_LOCAL_MACHINE\\Software\\Relleno\\clave" + QByteArray::number(i) +
               "]\n\"v\"=dword:" + QByteArray::number(i, 16).rightJustified(8, '0') + "\n\n";
    // The binary value fills what is left: 25 bytes (75 characters) per continued line.
    out += "[HKEY_LOCAL_MACHINE\\Software\\Relleno\\Grande]\n\"blob\"=hex:";
    const qint64 left = bytes - out.size();
    const qint64 count = std::max<qint64>(1, left / 3 + 1);
    for (qint64 i = 0; i < count; ++i) {
        out += QByteArray::number(int(i % 256), 16).rightJustified(2, '0');
        if (i + 1 < count)
            out += (i % 25 == 24) ? ",\\\n  " : ",";
    }
    out += "\n\n";
    return out;
}

inline QByteArray text(qint64 bytes, const QList<QByteArray>& mailLines)
{
    return text(bytes, kFillerValues, kSiblingKeys, mailLines);
}

} // namespace LargeSettings
