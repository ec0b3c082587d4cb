#pragma once
// The four exchange jobs over the program's table files: cards to and from vCard,
// reminders to and from iCalendar. Exports write a temporary file and rename it, so a
// failed export leaves no partial file; an import is one transaction, so a file that
// fails leaves the tables as they were.

#include "exchange/Record.h"

#include <QDateTime>
#include <QMap>
#include <QString>

#include <functional>

namespace engine {
class Connection;
}

namespace exchange {

// What a job did, for its one-line report.
struct Summary
{
    int read = 0;
    int written = 0;
    QMap<QString, int> skipped; // reason -> records
    QMap<QString, int> cut;     // field -> values cut at the field's size
    QMap<QString, int> dropped; // property -> times dropped for want of a field
    QMap<QString, int> rules;   // repeat rule -> events imported at their next occurrence
    QMap<QString, int> costly;  // repeat rule -> events imported at their first date (too costly)
    QMap<QString, int> notes;   // other remarks -> times
    int skippedCount() const;
    void add(const ImportNotes& notes);

    // One line in Spanish: "Importación vCard de «a.vcf»: 3 leídos, 2 escritos, 1 omitido (sin nombre: 1)."
    QString text(const QString& job, const QString& fileName) const;
};

// Opens the program's data folder (made when missing) on `connection`.
void openDataFolder(engine::Connection& connection);

Summary exportVCard(engine::Connection& connection, const QString& path);
Summary importVCard(engine::Connection& connection, const QString& path);
Summary exportICalendar(engine::Connection& connection, const QString& path, const QDateTime& now);
Summary importICalendar(engine::Connection& connection, const QString& path, const QDateTime& now);

// Called by an import once it has built the new table and before it swaps it in; tests
// write from another connection there. Null (the default) does nothing.
void setImportBuiltHook(std::function<void()> hook);

} // namespace exchange
