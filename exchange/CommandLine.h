#pragma once
// The program's command-line options: --export-vcard, --import-vcard, --export-ics,
// --import-ics FILE and --help. With one of them the job runs without windows and
// without the single-instance lock, prints a one-line Spanish summary and ends.

#include <QStringList>

#include <cstdio>
#include <optional>

namespace exchange {

// The exit code when `arguments` (argv, program name first) ask for a job, which has then
// been run; nothing when none of the options is given, so the program starts as usual
// (options Qt itself takes, like -platform, are left alone). Output goes to `out`,
// errors to `err`, in UTF-8.
std::optional<int> runCommandLine(const QStringList& arguments, FILE* out, FILE* err);

// The Spanish help text.
QString helpText(const QString& program);

} // namespace exchange
