#include "store/engine/FieldText.h"

#include "core/DateText.h"

#include <QStringList>

namespace engine {

std::optional<bool> parseLogical(const QString& text)
{
    const QString t = text.trimmed().toLower();
    static const QStringList yes{"true", "t", "verdadero", "v", "sí", "si", "s", "yes", "y", "1"};
    static const QStringList no{"false", "f", "falso", "no", "n", "0"};
    if (yes.contains(t))
        return true;
    if (no.contains(t))
        return false;
    return std::nullopt;
}

QString logicalText(bool value)
{
    return value ? QStringLiteral("Verdadero") : QStringLiteral("Falso");
}

QString dateText(const QDate& date)
{
    return date.isValid() ? DateText::fecha(date) : QString();
}

QDate parseDateText(const QString& text)
{
    return DateText::tryParseFecha(text, DateText::Year::Full).value_or(QDate());
}

QString valueText(FieldType type, const QVariant& value)
{
    if (!value.isValid())
        return QString();
    switch (type) {
    case FieldType::Date:
        return dateText(value.toDate());
    case FieldType::Logical:
        return logicalText(value.toBool());
    default:
        return value.toString();
    }
}

} // namespace engine
