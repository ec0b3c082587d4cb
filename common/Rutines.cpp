#include "common/Rutines.h"

#include "core/Padding.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace {

const QString kCantRead = QStringLiteral("No se pudo leer la clave del registro.");
const QString kCantWrite = QStringLiteral("No se pudo escribir la clave del registro.");

// The routines' type code (1 to 4) of a stored value; 0 for any other registry type.
int typeCode(quint32 regType)
{
    switch (regType) {
    case REG_SZ:
        return 1;
    case REG_EXPAND_SZ:
        return 2;
    case REG_DWORD:
        return 3;
    case REG_BINARY:
        return 4;
    default:
        return 0;
    }
}

qint32 toInt32(const QVariant& value)
{
    const auto fail = [&]() -> qint32 {
        throw ConversionError(QStringLiteral("'%1' no es un valor entero válido").arg(value.toString()));
    };
    bool ok = false;
    qint64 n = 0;
    switch (value.typeId()) {
    case QMetaType::Bool:
        return value.toBool() ? 1 : 0;
    case QMetaType::Double:
    case QMetaType::Float: {
        const double d = value.toDouble();
        if (!std::isfinite(d))
            return fail();
        const double r = std::nearbyint(d); // to the nearest, halves to even
        if (r < std::numeric_limits<qint32>::min() || r > std::numeric_limits<qint32>::max())
            return fail();
        return qint32(r);
    }
    case QMetaType::QString:
    case QMetaType::QByteArray:
        n = value.toString().trimmed().toLongLong(&ok, 10);
        break;
    case QMetaType::ULongLong:
        if (value.toULongLong() > quint64(std::numeric_limits<qint32>::max()))
            return fail();
        n = qint64(value.toULongLong());
        ok = true;
        break;
    default:
        n = value.toLongLong(&ok);
        break;
    }
    if (!ok || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return fail();
    return qint32(n);
}

// The stored value a read asks for: nullptr when the key is missing; raises 1012 when the
// value is missing or of none of the accepted types.
const RegValue* findValue(const SettingsStore& store, const QString& keyPath, const QString& valueName,
                          std::initializer_list<quint32> types)
{
    const RegKey* key = store.findKey(keyPath);
    if (!key)
        return nullptr;
    const RegValue* v = key->value(valueName);
    if (!v || std::find(types.begin(), types.end(), v->type) == types.end())
        throw SettingsError(ERROR_CANTREAD, kCantRead);
    return v;
}

// The root's tree for one routine: the current batch's, else one read for this call alone.
class StoreAccess
{
public:
    explicit StoreAccess(RootKey root) : m_batch(SettingsBatch::current())
    {
        if (m_batch)
            m_store = &m_batch->store(root);
        else
            m_store = &m_own.emplace(SettingsStore::load(root));
    }
    SettingsStore& store() { return *m_store; }
    // A change is written at once, or by the batch's commit.
    void changed()
    {
        if (m_batch)
            m_batch->markChanged(m_store->root());
        else
            m_store->save();
    }

private:
    SettingsBatch* m_batch;
    std::optional<SettingsStore> m_own;
    SettingsStore* m_store = nullptr;
};

} // namespace

TRutines::TRutines(QObject* parent) : QObject(parent) {}

void TRutines::EscribeRegistro(RootKey root, const QString& keyPath, const QString& valueName, int typeCode,
                               const QVariant& value)
{
    StoreAccess access(root);
    bool created = false;
    RegKey& key = access.store().createKey(keyPath, &created);
    // The key stays made even when the value then cannot be written, as the registry does.
    const auto failAfterKey = [&](const auto& error) {
        if (created)
            access.changed();
        throw error;
    };

    int type = typeCode;
    if (type == 0) {
        const RegValue* existing = key.value(valueName);
        type = existing ? ::typeCode(existing->type) : 0;
    }
    quint32 regType = REG_NONE;
    QByteArray data;
    switch (type) {
    case 1:
        regType = REG_SZ;
        data = SettingsStore::textData(value.toString());
        break;
    case 2:
        regType = REG_EXPAND_SZ;
        data = SettingsStore::textData(value.toString());
        break;
    case 3:
        regType = REG_DWORD;
        data.resize(4);
        try {
            qToLittleEndian<qint32>(toInt32(value), data.data());
        } catch (const ConversionError& e) {
            failAfterKey(e);
        }
        break;
    case 4:
        regType = REG_BINARY;
        data = value.typeId() == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
        break;
    default:
        failAfterKey(SettingsError(ERROR_CANTWRITE, kCantWrite));
    }
    if (!SettingsStore::setValue(key, valueName, regType, data))
        failAfterKey(
            SettingsError(ERROR_CANTWRITE, QStringLiteral("No se pudieron guardar los datos de '%1'").arg(valueName)));
    access.changed();
}

QString TRutines::LeeRegistroCadena(RootKey root, const QString& keyPath, const QString& valueName)
{
    StoreAccess access(root);
    const RegValue* v = findValue(access.store(), keyPath, valueName, {REG_SZ, REG_EXPAND_SZ});
    return v ? SettingsStore::dataText(v->data) : QString();
}

qint32 TRutines::LeeRegistroEntero(RootKey root, const QString& keyPath, const QString& valueName)
{
    StoreAccess access(root);
    const RegValue* v = findValue(access.store(), keyPath, valueName, {REG_DWORD});
    if (!v)
        return 0;
    if (v->data.size() != 4)
        throw SettingsError(ERROR_CANTREAD, kCantRead);
    return qFromLittleEndian<qint32>(v->data.constData());
}

void TRutines::RellenaCeros(QString& text, quint8 width)
{
    text = Padding::zeros(text, width);
}
