#include "common/DateEntry.h"

#include "core/Error.h"

#include <QRegularExpression>

namespace DateEntry {

QString text(const QDate& date)
{
    if (!date.isValid())
        return QString();
    return QStringLiteral("%1/%2/%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QDate parse(const QString& text)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,2})/(\\d{1,2})/(\\d{4})$"));
    const QRegularExpressionMatch match = form.match(text.trimmed());
    QDate date;
    if (match.hasMatch())
        date = QDate(match.captured(3).toInt(), match.captured(2).toInt(), match.captured(1).toInt());
    if (!date.isValid())
        throw ConversionError(QStringLiteral("'%1' no es una fecha válida").arg(text));
    return date;
}

} // namespace DateEntry
