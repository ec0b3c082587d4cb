// Figures of the import and export jobs: export and import of many cards (vCard) and
// many reminders (iCalendar), in seconds and peak memory. Each import runs on the whole
// file and on a tenth of it: the peaks must be close, as imports read one record at a time.
// Run by hand:
//
//   bench_exchange [cards] [reminders]      (defaults: 100000 and 1000000)

#include "exchange/Jobs.h"
#include "store/engine/Connection.h"
#include "store/engine/Sqlite.h"
#include "store/engine/Tables.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <functional>

namespace {

// Resets the peak resident size the kernel keeps for this process (Linux 4.0 and later).
void resetPeak()
{
    QFile f(QStringLiteral("/proc/self/clear_refs"));
    if (f.open(QIODevice::WriteOnly))
        f.write("5");
}

// Peak and current resident size in MB.
double statusMb(const char* key)
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(int(qstrlen(key))).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

void measure(const char* what, const std::function<exchange::Summary()>& job)
{
    resetPeak();
    const double before = statusMb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    const std::clock_t cpu = std::clock();
    const exchange::Summary summary = job();
    const double seconds = timer.nsecsElapsed() / 1e9;
    // CPU time as well: on a shared machine it varies less than the wall clock.
    const double cpuSeconds = double(std::clock() - cpu) / CLOCKS_PER_SEC;
    printf("%-28s %8d records %8.2f s (%.2f s CPU)  peak RSS %6.1f MB (%.1f MB before)\n", what, summary.written,
           seconds, cpuSeconds, statusMb("VmHWM:"), before);
    fflush(stdout);
}

// A data folder of its own under a temporary program folder.
struct Folder
{
    QTemporaryDir dir;
    engine::Connection connection;
    explicit Folder(const QString& root)
    {
        qputenv("PENNARO_HOME", (root + QStringLiteral("/")).toUtf8());
        exchange::openDataFolder(connection);
    }
};

void fill(engine::Connection& connection, const QString& file, const engine::FieldDefs& fields, const QString& index,
          int count, const std::function<QVariant(int, const engine::FieldDef&)>& value)
{
    connection.createTable(file, fields, index);
    sqlite3* db = connection.handle(file);
    QStringList columns, marks;
    for (int i = 1; i < fields.size(); ++i) {
        columns += engine::sql::quoted(fields.at(i).name);
        marks += QStringLiteral("?");
    }
    engine::sql::WriteTransaction transaction(db, file);
    engine::sql::Statement insert;
    insert.prepare(
        db,
        QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
            .arg(engine::sql::quoted(engine::Connection::sqlTableName(file)), columns.join(','), marks.join(',')),
        file);
    for (int n = 0; n < count; ++n) {
        engine::sql::Statement::Use use(insert);
        for (int i = 1; i < fields.size(); ++i)
            insert.bind(i, value(n, fields.at(i)));
        insert.step();
    }
    insert.finalize();
    transaction.commit();
}

QVariant cardValue(int n, const engine::FieldDef& def)
{
    if (def.type == engine::FieldType::Date)
        return QDate(1950 + n % 60, 1 + n % 12, 1 + n % 28);
    if (def.name == QLatin1String("Email"))
        return QStringLiteral("persona%1@example.org").arg(n);
    if (def.name == QLatin1String("Emails"))
        return QStringLiteral("persona%1@example.org\r\notra%1@example.com\r\n").arg(n);
    if (def.name == QLatin1String("Sexo"))
        return QStringLiteral("?HM").mid(n % 3, 1);
    if (def.type == engine::FieldType::Memo)
        return QStringLiteral("Nota %1, con una segunda línea\nque sigue aquí.").arg(n);
    return QStringLiteral("%1 %2").arg(def.name).arg(n).left(def.size);
}

QVariant reminderValue(int n, const engine::FieldDef& def)
{
    const QString name = def.name;
    if (name == QLatin1String("Fecha"))
        return QDate(2027, 1, 1).addDays(n % 3650).toString(QStringLiteral("dd/MM/yyyy"));
    if (name == QLatin1String("Hora"))
        return QTime(0, 0).addSecs((n * 61) % 86400).toString(QStringLiteral("HH:mm:ss"));
    if (name == QLatin1String("Recordatorio"))
        return QStringLiteral("Recordatorio número %1: llamar, escribir; revisar").arg(n);
    if (name == QLatin1String("Playsound"))
        return n % 2 == 0;
    if (name == QLatin1String("Leido"))
        return n % 5 == 0;
    if (name == QLatin1String("RepetirN"))
        return QString::number(n % 4);
    return QStringList{QStringLiteral("Día/s"), QStringLiteral("Mes/es"), QStringLiteral("Año/s")}.at(n % 3);
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    const int cards = argc > 1 ? atoi(argv[1]) : 100000;
    const int reminders = argc > 2 ? atoi(argv[2]) : 1000000;
    QTemporaryDir root;
    const QDateTime now(QDate(2027, 1, 1), QTime(9, 0));

    {
        Folder source(root.path() + QStringLiteral("/origen"));
        fill(source.connection, engine::tables::direccionesFile(), engine::tables::direccionesFields(),
             engine::tables::direccionesIndex(), cards, cardValue);
        fill(source.connection, engine::tables::reminderFile(), engine::tables::reminderFields(),
             engine::tables::reminderIndex(), reminders, reminderValue);
        measure("export vCard", [&] { return exchange::exportVCard(source.connection, root.filePath("todas.vcf")); });
        measure("export iCalendar",
                [&] { return exchange::exportICalendar(source.connection, root.filePath("todos.ics"), now); });
    }
    printf("files: %.1f MB vCard, %.1f MB iCalendar\n", QFileInfo(root.filePath("todas.vcf")).size() / 1e6,
           QFileInfo(root.filePath("todos.ics")).size() / 1e6);

    // A tenth of each file, cut at a record's end, to compare peaks.
    auto tenth = [&](const char* from, const char* to, const QByteArray& end) {
        QFile in(root.filePath(from));
        in.open(QIODevice::ReadOnly);
        QByteArray bytes = in.read(in.size() / 10);
        bytes.truncate(bytes.lastIndexOf(end) + end.size());
        QFile out(root.filePath(to));
        out.open(QIODevice::WriteOnly);
        out.write(bytes);
        if (end.startsWith("END:VEVENT"))
            out.write("END:VCALENDAR\r\n");
    };
    tenth("todas.vcf", "decima.vcf", "END:VCARD\r\n");
    tenth("todos.ics", "decimo.ics", "END:VEVENT\r\n");

    {
        Folder small(root.path() + QStringLiteral("/decima"));
        measure("import vCard, a tenth",
                [&] { return exchange::importVCard(small.connection, root.filePath("decima.vcf")); });
        measure("import iCalendar, a tenth",
                [&] { return exchange::importICalendar(small.connection, root.filePath("decimo.ics"), now); });
    }
    {
        Folder target(root.path() + QStringLiteral("/destino"));
        measure("import vCard, whole",
                [&] { return exchange::importVCard(target.connection, root.filePath("todas.vcf")); });
        measure("import iCalendar, whole",
                [&] { return exchange::importICalendar(target.connection, root.filePath("todos.ics"), now); });
    }
    return 0;
}
