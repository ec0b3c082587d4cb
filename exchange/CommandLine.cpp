#include "exchange/CommandLine.h"

#include "core/Clock.h"
#include "core/Error.h"
#include "exchange/Jobs.h"
#include "store/engine/Connection.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace exchange {

namespace {

struct JobOption
{
    const char* name;
    const char* help;
    const char* title; // the summary's first words
};

const JobOption kJobs[] = {
    {"export-vcard", "Exporta las tarjetas de direcciones a ARCHIVO en formato vCard 4.0.", "Exportación vCard a"},
    {"import-vcard", "Importa las tarjetas de ARCHIVO (vCard 3.0 o 4.0).", "Importación vCard de"},
    {"export-ics", "Exporta los recordatorios a ARCHIVO en formato iCalendar.", "Exportación iCalendar a"},
    {"import-ics", "Importa los eventos y tareas de ARCHIVO (iCalendar) como recordatorios.",
     "Importación iCalendar de"},
};

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = (text + QLatin1Char('\n')).toUtf8();
    fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    fflush(stream);
}

} // namespace

QString helpText(const QString& program)
{
    QString text = QStringLiteral("Uso: %1 [opción ARCHIVO]\n"
                                  "Sin opciones, Pennaro se inicia en el área de notificación.\n"
                                  "Con una opción, hace ese trabajo sin abrir ninguna ventana, "
                                  "muestra un resumen y termina.\n\nOpciones:\n")
                       .arg(program);
    for (const JobOption& job : kJobs)
        text += QStringLiteral("  --%1 ARCHIVO\n      %2\n").arg(QLatin1String(job.name), QString::fromUtf8(job.help));
    text += QStringLiteral("  -h, --help\n      Muestra esta ayuda.\n");
    return text;
}

namespace {

// What a command line asks for: no job, with the exit code when it is answered here (help
// shown, a mistake reported) or none to start the program as usual; or one job on one file.
struct Request
{
    std::optional<int> exitCode;
    const JobOption* job = nullptr;
    QString path;
};

Request answered(std::optional<int> exitCode)
{
    Request request;
    request.exitCode = exitCode;
    return request;
}

// A word of ours anywhere on the line means the user wanted a job, even when parsing failed.
bool mentionsJob(const QStringList& arguments)
{
    for (const QString& a : arguments.mid(1))
        for (const JobOption& job : kJobs)
            if (a.startsWith(QStringLiteral("--") + QLatin1String(job.name)))
                return true;
    return false;
}

Request readRequest(const QStringList& arguments, FILE* out, FILE* err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const JobOption& job : kJobs)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(job.name), QString::fromUtf8(job.help), QStringLiteral("ARCHIVO")));
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Muestra esta ayuda."));
    parser.addOption(help);
    const bool parsed = parser.parse(arguments);

    QVector<const JobOption*> asked;
    for (const JobOption& job : kJobs)
        if (parser.isSet(QString::fromLatin1(job.name)))
            asked += &job;
    if (parser.isSet(help)) {
        print(out, helpText(QFileInfo(arguments.value(0, QStringLiteral("pennaro"))).fileName()));
        return answered(0);
    }
    if (asked.isEmpty() && !mentionsJob(arguments))
        return answered(std::nullopt); // start the program as usual
    if (!parsed) {
        // QCommandLineParser's own texts are English; name the problem in Spanish instead.
        print(err, QStringLiteral("Pennaro 2.0: opciones no válidas: %1. Use --help para ver las opciones.")
                       .arg(arguments.mid(1).join(QLatin1Char(' '))));
        return answered(2);
    }
    if (asked.size() > 1 || !parser.positionalArguments().isEmpty() ||
        parser.values(QString::fromLatin1(asked.first()->name)).size() > 1) {
        print(err, QStringLiteral(
                       "Pennaro 2.0: indique una sola opción con un solo archivo. Use --help para ver las opciones."));
        return answered(2);
    }
    const JobOption& job = *asked.first();
    const QString path = parser.value(QString::fromLatin1(job.name));
    if (path.isEmpty()) {
        print(err,
              QStringLiteral("Pennaro 2.0: falta el nombre del archivo después de --%1.").arg(QLatin1String(job.name)));
        return answered(2);
    }
    Request request;
    request.job = &job;
    request.path = path;
    return request;
}

Summary runJob(const JobOption& job, const QString& path)
{
    engine::Connection connection;
    openDataFolder(connection);
    const QString name = QLatin1String(job.name);
    if (name == QLatin1String("export-vcard"))
        return exportVCard(connection, path);
    if (name == QLatin1String("import-vcard"))
        return importVCard(connection, path);
    if (name == QLatin1String("export-ics"))
        return exportICalendar(connection, path, Clock::now());
    return importICalendar(connection, path, Clock::now());
}

} // namespace

std::optional<int> runCommandLine(const QStringList& arguments, FILE* out, FILE* err)
{
    const Request request = readRequest(arguments, out, err);
    if (!request.job)
        return request.exitCode;
    try {
        const Summary summary = runJob(*request.job, request.path);
        print(out, summary.text(QString::fromUtf8(request.job->title), QFileInfo(request.path).fileName()));
        return 0;
    } catch (const PennaroError& e) {
        print(err, QStringLiteral("Pennaro 2.0: %1").arg(e.message()));
    } catch (const std::exception& e) {
        print(err, QStringLiteral("Pennaro 2.0: error inesperado: %1").arg(QString::fromLocal8Bit(e.what())));
    }
    return 1;
}

} // namespace exchange
