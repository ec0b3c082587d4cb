#include "exchange/CardMapping.h"

#include "store/engine/Tables.h"

#include <QRegularExpression>

namespace exchange {

namespace {

const engine::FieldDef& cardField(const QString& name)
{
    static const engine::FieldDefs defs = engine::tables::direccionesFields();
    for (const engine::FieldDef& def : defs)
        if (def.name == name)
            return def;
    Q_UNREACHABLE();
    return defs.first();
}

void set(Record& card, const char* field, const QString& given, ImportNotes& notes)
{
    const engine::FieldDef& def = cardField(QString::fromLatin1(field));
    QString text = given;
    // A card's sized fields hold one line, as the card editor's one-line edits do.
    if (def.type == engine::FieldType::Text)
        text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    setText(card, def, text, notes);
}

// The lines of a memo, without empty ones (CR LF, LF or CR each end a line).
QStringList memoLines(const QString& memo)
{
    static const QRegularExpression breaks(QStringLiteral("\r\n|\r|\n"));
    QStringList lines = memo.split(breaks);
    lines.removeAll(QString());
    return lines;
}

QString structured(std::initializer_list<QString> parts)
{
    QStringList escaped;
    for (const QString& p : parts)
        escaped += escapeText(p);
    return escaped.join(QLatin1Char(';'));
}

QString dateText(const QDate& date)
{
    return date.toString(QStringLiteral("yyyyMMdd"));
}

bool isAddressEmpty(const QStringList& parts)
{
    for (const QString& p : parts)
        if (!p.isEmpty())
            return false;
    return true;
}

} // namespace

void setText(Record& record, const engine::FieldDef& field, const QString& text, ImportNotes& notes)
{
    if (text.isEmpty()) {
        record.remove(field.name);
        return;
    }
    if (field.type == engine::FieldType::Text && field.size > 0 && text.size() > field.size) {
        record.insert(field.name, text.left(field.size));
        notes.cutFields += field.name;
        return;
    }
    record.insert(field.name, text);
}

QByteArray cardToVCard(const Record& card)
{
    const QString name = textOf(card, QStringLiteral("Nombre"));
    if (name.trimmed().isEmpty())
        return {};
    auto t = [&](const char* field) { return textOf(card, QString::fromLatin1(field)); };

    QByteArray out = "BEGIN:VCARD\r\nVERSION:4.0\r\n";
    out += vcardLine("FN", escapeText(name));
    out += vcardLine("N", structured({QString(), name, QString(), QString(), QString()}));
    if (!t("Nick").isEmpty())
        out += vcardLine("NICKNAME", escapeText(t("Nick")));

    const QString preferred = t("Email");
    bool preferredListed = false;
    for (const QString& address : memoLines(t("Emails"))) {
        const bool isDefault = !preferredListed && address == preferred;
        preferredListed = preferredListed || isDefault;
        out += vcardLine("EMAIL", escapeText(address), isDefault ? ";PREF=1" : "");
    }
    // A default address that is not in the list keeps its own mark, so reading the card back
    // does not add it to the list.
    if (!preferred.isEmpty() && !preferredListed)
        out += vcardLine("EMAIL", escapeText(preferred), ";PREF=1;X-PENNARO-LISTA=NO");

    const QStringList home{t("Direccion"), t("Ciudad"), t("Provincia"), t("CP"), t("Pais")};
    if (!isAddressEmpty(home))
        out += vcardLine("ADR", structured({QString(), QString(), home[0], home[1], home[2], home[3], home[4]}),
                         ";TYPE=home");
    const QStringList work{t("EmpresaDireccion"), t("EmpresaCiudad"), t("EmpresaProvincia"), t("EmpresaCP"),
                           t("EmpresaPais")};
    if (!isAddressEmpty(work))
        out += vcardLine("ADR", structured({QString(), QString(), work[0], work[1], work[2], work[3], work[4]}),
                         ";TYPE=work");

    struct Phone
    {
        const char* field;
        const char* params;
    };
    static const Phone phones[] = {{"Tel", ";TYPE=home,voice"}, {"Movil", ";TYPE=cell"}, {"FAX", ";TYPE=home,fax"},
                                   {"EmpresaTel", ";TYPE=work,voice"}, {"EmpresaFax", ";TYPE=work,fax"}};
    for (const Phone& phone : phones)
        if (!t(phone.field).isEmpty())
            out += vcardLine("TEL", escapeText(t(phone.field)), phone.params);

    if (!t("Web").isEmpty())
        out += vcardLine("URL", t("Web"));
    if (!t("Organizacion").isEmpty() || !t("Departamento").isEmpty())
        out += vcardLine("ORG", structured({t("Organizacion"), t("Departamento")}));
    if (!t("Puesto").isEmpty())
        out += vcardLine("TITLE", escapeText(t("Puesto")));
    const QDate birthday = card.value(QStringLiteral("Cumpleanos")).toDate();
    if (birthday.isValid())
        out += vcardLine("BDAY", dateText(birthday));
    const QDate anniversary = card.value(QStringLiteral("Aniversario")).toDate();
    if (anniversary.isValid())
        out += vcardLine("ANNIVERSARY", dateText(anniversary));
    const QString sexo = t("Sexo");
    if (sexo == QLatin1String("H"))
        out += vcardLine("GENDER", QStringLiteral("M"));
    else if (sexo == QLatin1String("M"))
        out += vcardLine("GENDER", QStringLiteral("F"));
    else if (sexo == QLatin1String("?"))
        out += vcardLine("GENDER", QStringLiteral("U"));
    else if (!sexo.isEmpty())
        out += vcardLine("X-PENNARO-SEXO", escapeText(sexo));
    if (!t("Conyugue").isEmpty())
        out += vcardLine("RELATED", escapeText(t("Conyugue")), ";TYPE=spouse;VALUE=text");
    if (!t("Oficina").isEmpty())
        out += vcardLine("X-PENNARO-OFICINA", escapeText(t("Oficina")));
    if (!t("Hijos").isEmpty())
        out += vcardLine("X-PENNARO-HIJOS", escapeText(t("Hijos")));
    if (!t("Notas").isEmpty())
        out += vcardLine("NOTE", escapeText(t("Notas")));
    out += "END:VCARD\r\n";
    return out;
}

QDate parseVCardDate(const QString& text, int lineNo, QString& why)
{
    static const QRegularExpression full(QStringLiteral("^(\\d{4})-?(\\d{2})-?(\\d{2})(T.*)?$"));
    static const QRegularExpression partial(QStringLiteral("^(--\\d{2}-?\\d{2}|---\\d{2}|\\d{4}(-\\d{2})?)$"));
    const QString value = text.trimmed();
    const QRegularExpressionMatch m = full.match(value);
    if (m.hasMatch()) {
        const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
        if (!date.isValid())
            throw LineError(lineNo, QStringLiteral("la fecha «%1» no existe").arg(value.left(40)));
        return date;
    }
    if (partial.match(value).hasMatch()) {
        why = QStringLiteral("fecha incompleta");
        return {};
    }
    throw LineError(lineNo, QStringLiteral("«%1» no es una fecha").arg(value.left(40)));
}

Record cardFromVCard(const VCard& vcard, ImportNotes& notes)
{
    Record card;
    QString formatted;
    QString fromN;
    QStringList emails;
    QString preferred;
    int preferredRank = 1000;
    bool haveHome = false, haveWork = false;

    auto drop = [&](const ContentLine& p) { notes.droppedProperties += p.name; };
    auto takeOnce = [&](const ContentLine& p, const char* field, const QString& value) {
        if (card.contains(QString::fromLatin1(field)))
            drop(p);
        else
            set(card, field, value, notes);
    };

    for (const ContentLine& p : vcard.properties) {
        const QStringList types = p.types();
        const QString name = p.name;
        if (name == QLatin1String("FN")) {
            if (formatted.isEmpty())
                formatted = unescapeText(p.value);
        } else if (name == QLatin1String("N")) {
            // family; given; additional; prefixes; suffixes -> "prefix given additional family suffix"
            const QStringList parts = splitStructured(p.value);
            QStringList words;
            for (int i : {3, 1, 2, 0, 4})
                if (i < parts.size() && !parts[i].trimmed().isEmpty())
                    words += parts[i].trimmed();
            fromN = words.join(QLatin1Char(' '));
        } else if (name == QLatin1String("NICKNAME")) {
            takeOnce(p, "Nick", unescapeText(p.value));
        } else if (name == QLatin1String("EMAIL")) {
            // One address per line of the list: a line break inside one would make two.
            // Taken as written, as the card editor takes a typed address.
            const QString address = unescapeText(p.value).replace(QLatin1Char('\n'), QLatin1Char(' '));
            if (address.trimmed().isEmpty())
                continue;
            // vCard 4.0: PREF=1 is the most preferred; vCard 3.0: TYPE=pref.
            int rank = 1000;
            bool ok = false;
            const QStringList pref = p.paramValues(QStringLiteral("PREF"));
            if (!pref.isEmpty()) {
                rank = pref.first().toInt(&ok);
                if (!ok)
                    rank = 1000;
            } else if (types.contains(QLatin1String("pref"))) {
                rank = 1;
            }
            if (rank < preferredRank) {
                preferred = address;
                preferredRank = rank;
            }
            const bool listed = !p.paramValues(QStringLiteral("X-PENNARO-LISTA")).contains(QLatin1String("NO"));
            if (listed)
                emails += address;
        } else if (name == QLatin1String("ADR")) {
            const QStringList parts = splitStructured(p.value);
            auto part = [&](int i) { return i < parts.size() ? parts[i] : QString(); };
            // PO box, extended address and street go together into the one address line.
            QStringList street;
            for (int i : {0, 1, 2})
                if (!part(i).isEmpty())
                    street += part(i);
            const bool work = types.contains(QLatin1String("work"));
            if ((work && haveWork) || (!work && haveHome)) {
                drop(p);
                continue;
            }
            const char* const homeFields[] = {"Direccion", "Ciudad", "Provincia", "CP", "Pais"};
            const char* const workFields[] = {"EmpresaDireccion", "EmpresaCiudad", "EmpresaProvincia", "EmpresaCP",
                                              "EmpresaPais"};
            const char* const* fields = work ? workFields : homeFields;
            set(card, fields[0], street.join(QStringLiteral(", ")), notes);
            for (int i = 1; i < 5; ++i)
                set(card, fields[i], part(i + 2), notes);
            (work ? haveWork : haveHome) = true;
        } else if (name == QLatin1String("TEL")) {
            QString number = unescapeText(p.value);
            if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
                number = number.mid(4);
            const bool work = types.contains(QLatin1String("work"));
            const char* field = types.contains(QLatin1String("cell"))      ? "Movil"
                                : types.contains(QLatin1String("fax"))   ? (work ? "EmpresaFax" : "FAX")
                                : work                                   ? "EmpresaTel"
                                                                         : "Tel";
            takeOnce(p, field, number);
        } else if (name == QLatin1String("URL")) {
            takeOnce(p, "Web", p.value);
        } else if (name == QLatin1String("ORG")) {
            const QStringList parts = splitStructured(p.value);
            if (card.contains(QStringLiteral("Organizacion")) || card.contains(QStringLiteral("Departamento"))) {
                drop(p);
                continue;
            }
            set(card, "Organizacion", parts.value(0), notes);
            set(card, "Departamento", parts.mid(1).join(QStringLiteral(", ")), notes);
        } else if (name == QLatin1String("TITLE")) {
            takeOnce(p, "Puesto", unescapeText(p.value));
        } else if (name == QLatin1String("BDAY") || name == QLatin1String("ANNIVERSARY")) {
            const QString field = name == QLatin1String("BDAY") ? QStringLiteral("Cumpleanos") : QStringLiteral("Aniversario");
            QString why;
            if (p.paramValues(QStringLiteral("VALUE")).contains(QLatin1String("text"), Qt::CaseInsensitive)
                || card.contains(field)) {
                drop(p);
                continue;
            }
            const QDate date = parseVCardDate(p.value, p.lineNo, why);
            if (date.isValid())
                card.insert(field, date);
            else
                drop(p);
        } else if (name == QLatin1String("GENDER")) {
            const QString sex = splitStructured(p.value).value(0).trimmed().toUpper();
            if (sex == QLatin1String("M"))
                card.insert(QStringLiteral("Sexo"), QStringLiteral("H"));
            else if (sex == QLatin1String("F"))
                card.insert(QStringLiteral("Sexo"), QStringLiteral("M"));
            else if (!sex.isEmpty())
                card.insert(QStringLiteral("Sexo"), QStringLiteral("?"));
        } else if (name == QLatin1String("X-PENNARO-SEXO")) {
            set(card, "Sexo", unescapeText(p.value), notes);
        } else if (name == QLatin1String("RELATED") && types.contains(QLatin1String("spouse"))) {
            takeOnce(p, "Conyugue", unescapeText(p.value));
        } else if (name == QLatin1String("X-PENNARO-OFICINA")) {
            takeOnce(p, "Oficina", unescapeText(p.value));
        } else if (name == QLatin1String("X-PENNARO-HIJOS")) {
            takeOnce(p, "Hijos", unescapeText(p.value));
        } else if (name == QLatin1String("NOTE")) {
            const QString note = unescapeText(p.value);
            const QString before = textOf(card, QStringLiteral("Notas"));
            set(card, "Notas", before.isEmpty() ? note : before + QLatin1Char('\n') + note, notes);
        } else if (name == QLatin1String("PRODID") || name == QLatin1String("REV") || name == QLatin1String("UID")
                   || name == QLatin1String("KIND")) {
            // Facts about the file, not about the person.
        } else {
            drop(p);
        }
    }

    const QString fullName = formatted.trimmed().isEmpty() ? fromN : formatted;
    set(card, "Nombre", fullName, notes);
    if (textOf(card, QStringLiteral("Nombre")).trimmed().isEmpty()) {
        notes.skipReason = QStringLiteral("sin nombre");
        return card;
    }
    // The card editor adds each address followed by a line break; the first becomes the default.
    if (!emails.isEmpty()) {
        QString list;
        for (const QString& a : std::as_const(emails))
            list += a + QStringLiteral("\r\n");
        card.insert(QStringLiteral("Emails"), list);
    }
    if (preferred.isEmpty() && !emails.isEmpty())
        preferred = emails.first();
    set(card, "Email", preferred, notes);
    return card;
}

} // namespace exchange
