#pragma once
// The mail servers that once offered STLS or took TLS, remembered in the settings beside
// the other mail values. Such a server is never again given the user name or password in
// clear: a reply without STLS from it may have had STLS removed on the way. Emptying the
// server text and saving ("Guardar") forgets them all.
//
// Each routine works in the current SettingsBatch when one is alive, else reads (and
// writes) the settings file itself; errors of the settings store propagate.

#include <QString>

namespace TlsMemory {

// Name of the settings value: the hosts in lower case, separated by blanks.
extern const QString kValueName;

bool remembered(const QString& host);
void remember(const QString& host);
void forgetAll();

} // namespace TlsMemory
