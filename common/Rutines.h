#pragma once
// TRutines: state-free routines on the settings store (values read and written by type)
// and the left-padding of texts with "0". Each window that needs them holds a Rutines1.
// Each routine reads the settings file itself, unless a SettingsBatch is alive: then all
// of them share its one reading and its one write.

#include "platform/SettingsStore.h"

#include <QObject>
#include <QString>
#include <QVariant>

class TRutines : public QObject
{
    Q_OBJECT

public:
    explicit TRutines(QObject* parent = nullptr);

    // Writes one value under the key path, creating the key and any missing keys above it.
    // Type codes: 0 the type the value already has, 1 text, 2 expandable text, 3 32-bit
    // integer, 4 the bytes of the value's text. Raises SettingsError (1013 for a type code
    // that resolves to none of these) or ConversionError (type 3 and no integer).
    void EscribeRegistro(RootKey root, const QString& keyPath, const QString& valueName, int typeCode,
                         const QVariant& value);
    // The text of a text value, up to its first zero character; "" when the key is missing.
    // A missing value or one of another type raises SettingsError 1012.
    QString LeeRegistroCadena(RootKey root, const QString& keyPath, const QString& valueName);
    // The 32-bit integer of an integer value; 0 when the key is missing; else as above.
    qint32 LeeRegistroEntero(RootKey root, const QString& keyPath, const QString& valueName);

    // Puts "0" in front of the text until it is width characters long.
    static void RellenaCeros(QString& text, quint8 width);
};
