#include "exchange/VCard.h"

namespace exchange {

VCardReader::VCardReader(QIODevice* device) : m_lines(device) {}

bool VCardReader::next(VCard& card)
{
    card = VCard();
    QString text;
    int lineNo = 0;
    bool inCard = false;
    while (m_lines.next(text, lineNo)) {
        if (!inCard && m_cards == 0 && !text.startsWith(QLatin1String("BEGIN:VCARD"), Qt::CaseInsensitive))
            fail(lineNo, QStringLiteral("el archivo no es un vCard (se esperaba «BEGIN:VCARD»)"));
        const ContentLine line = parseContentLine(text, lineNo);
        const bool begin = line.name == QLatin1String("BEGIN");
        const bool end = line.name == QLatin1String("END");
        const bool vcardValue = line.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0;
        if (!inCard) {
            if (!begin || !vcardValue) {
                if (m_cards == 0)
                    fail(lineNo, QStringLiteral("el archivo no es un vCard (se esperaba «BEGIN:VCARD»)"));
                fail(lineNo, QStringLiteral("se esperaba «BEGIN:VCARD» entre dos tarjetas"));
            }
            inCard = true;
            card.firstLine = lineNo;
            continue;
        }
        if (begin && vcardValue)
            fail(lineNo,
                 QStringLiteral("falta «END:VCARD» de la tarjeta que empieza en la línea %1").arg(card.firstLine));
        if (end) {
            if (!vcardValue)
                fail(lineNo, QStringLiteral("se esperaba «END:VCARD»"));
            ++m_cards;
            return true;
        }
        if (line.name == QLatin1String("VERSION")) {
            card.version = line.value.trimmed();
            if (card.version != QLatin1String("3.0") && card.version != QLatin1String("4.0"))
                fail(lineNo, QStringLiteral("la versión de vCard «%1» no se admite (solo 3.0 y 4.0)")
                                 .arg(card.version.left(20)));
            continue;
        }
        card.properties += line;
    }
    if (inCard)
        fail(m_lines.lastLineNo(),
             QStringLiteral("el archivo está cortado: la tarjeta que empieza en la línea %1 no tiene «END:VCARD»")
                 .arg(card.firstLine));
    if (m_cards == 0)
        fail(qMax(1, m_lines.lastLineNo()), QStringLiteral("el archivo no es un vCard (no contiene ninguna tarjeta)"));
    return false;
}

QByteArray vcardLine(const char* name, const QString& value, const char* params)
{
    QByteArray line(name);
    line += params;
    line += ':';
    line += value.toUtf8();
    return foldLine(line);
}

} // namespace exchange
