#include "mail/TlsMemory.h"

#include "platform/SettingsStore.h"

#include <QStringList>

#include <optional>

namespace TlsMemory {

const QString kValueName = QStringLiteral("pop3tls");

namespace {

const QString kKey = QStringLiteral("\\Software\\Quelmar\\Ostiva\\mail");

QStringList hostsIn(const SettingsStore& store)
{
    return store.text(kKey, kValueName).value_or(QString()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

// Runs `change` on the settings tree inside the current batch, or inside one of its own
// that it commits when `change` gives true.
template <typename F> void changeSettings(F&& change)
{
    SettingsBatch* outer = SettingsBatch::current();
    std::optional<SettingsBatch> own;
    if (!outer)
        own.emplace();
    SettingsBatch& batch = outer ? *outer : *own;
    if (!change(batch.store(HKEY_LOCAL_MACHINE)))
        return;
    batch.markChanged(HKEY_LOCAL_MACHINE);
    if (own)
        own->commit();
}

void writeHosts(SettingsStore& store, const QStringList& hosts)
{
    if (!SettingsStore::setValue(store.createKey(kKey), kValueName, REG_SZ,
                                 SettingsStore::textData(hosts.join(QLatin1Char(' ')))))
        throw SettingsError(ERROR_CANTWRITE, QStringLiteral("No se pudo guardar el valor «%1»").arg(kValueName));
}

} // namespace

bool remembered(const QString& host)
{
    const QString name = host.toLower();
    if (SettingsBatch* batch = SettingsBatch::current())
        return hostsIn(batch->store(HKEY_LOCAL_MACHINE)).contains(name);
    return hostsIn(SettingsStore::load(HKEY_LOCAL_MACHINE)).contains(name);
}

void remember(const QString& host)
{
    const QString name = host.toLower();
    if (name.isEmpty())
        return;
    changeSettings([&](SettingsStore& store) {
        QStringList hosts = hostsIn(store);
        if (hosts.contains(name))
            return false;
        hosts.append(name);
        writeHosts(store, hosts);
        return true;
    });
}

void forgetAll()
{
    changeSettings([](SettingsStore& store) {
        if (hostsIn(store).isEmpty())
            return false;
        writeHosts(store, {});
        return true;
    });
}

} // namespace TlsMemory
