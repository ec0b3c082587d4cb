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

// The EMAIL lines of a card's list of addresses, the default address marked as preferred.
QByteArray emailLines(const QString& list, const QString& preferred)
{
    QByteArray out;
    bool preferredListed = false;
    for (const QString& address : memoLines(list)) {
        const bool isDefault = !preferredListed && address == preferred;
        preferredListed = preferredListed || isDefault;
        out += vcardLine("EMAIL", escapeText(address), isDefault ? ";PREF=1" : "");
    }
    // A default address that is not in the list keeps its own mark, so reading the card back
    // does not add it to the list.
    if (!preferred.isEmpty() && !preferredListed)
        out += vcardLine("EMAIL", escapeText(preferred), ";PREF=1;X-PENNARO-LISTA=NO");
    return out;
}

// One ADR line of a street, city, province, postal code and country; none when all are empty.
QByteArray addressLine(const QStringList& parts, const char* params)
{
    if (isAddressEmpty(parts))
        return {};
    return vcardLine("ADR", structured({QString(), QString(), parts[0], parts[1], parts[2], parts[3], parts[4]}),
                     params);
}

// The GENDER line of the card's "Sexo"; a letter vCard has no word for keeps its own property.
QByteArray genderLine(const QString& sexo)
{
    if (sexo == QLatin1String("H"))
        return vcardLine("GENDER", QStringLiteral("M"));
    if (sexo == QLatin1String("M"))
        return vcardLine("GENDER", QStringLiteral("F"));
    if (sexo == QLatin1String("?"))
        return vcardLine("GENDER", QStringLiteral("U"));
    if (!sexo.isEmpty())
        return vcardLine("X-PENNARO-SEXO", escapeText(sexo));
    return {};
}

// A property holding one escaped text field, when the field is not empty.
QByteArray textLine(const char* property, const QString& text, const char* params = "")
{
    return text.isEmpty() ? QByteArray() : vcardLine(property, escapeText(text), params);
}

QByteArray dateLine(const char* property, const QVariant& value)
{
    const QDate date = value.toDate();
    return date.isValid() ? vcardLine(property, dateText(date)) : QByteArray();
}

constexpr int kUnranked = 1000;

// How preferred an EMAIL is, 1 the most: vCard 4.0 says PREF=1, vCard 3.0 TYPE=pref.
int preferenceRank(const ContentLine& p)
{
    const QStringList pref = p.paramValues(QStringLiteral("PREF"));
    if (!pref.isEmpty()) {
        bool ok = false;
        const int rank = pref.first().toInt(&ok);
        return ok ? rank : kUnranked;
    }
    return p.types().contains(QLatin1String("pref")) ? 1 : kUnranked;
}

// N is "family; given; additional; prefixes; suffixes"; the card's name reads
// "prefix given additional family suffix".
QString nameFromN(const QString& value)
{
    const QStringList parts = splitStructured(value);
    QStringList words;
    for (int i : {3, 1, 2, 0, 4})
        if (i < parts.size() && !parts[i].trimmed().isEmpty())
            words += parts[i].trimmed();
    return words.join(QLatin1Char(' '));
}

// The card a vCard's properties make, gathered one property at a time; the name and the
// e-mail addresses are settled once all of them are read.
class CardBuilder
{
public:
    explicit CardBuilder(ImportNotes& notes) : m_notes(notes) {}

    void add(const ContentLine& p)
    {
        const QString& name = p.name;
        if (name == QLatin1String("FN")) {
            if (m_formatted.isEmpty())
                m_formatted = unescapeText(p.value);
        } else if (name == QLatin1String("N")) {
            m_fromN = nameFromN(p.value);
        } else if (name == QLatin1String("NICKNAME")) {
            takeOnce(p, "Nick", unescapeText(p.value));
        } else if (name == QLatin1String("EMAIL")) {
            addEmail(p);
        } else if (name == QLatin1String("ADR")) {
            addAddress(p);
        } else if (name == QLatin1String("TEL")) {
            addPhone(p);
        } else if (name == QLatin1String("URL")) {
            takeOnce(p, "Web", p.value);
        } else if (name == QLatin1String("ORG")) {
            addOrganization(p);
        } else if (name == QLatin1String("TITLE")) {
            takeOnce(p, "Puesto", unescapeText(p.value));
        } else if (name == QLatin1String("BDAY")) {
            addDate(p, QStringLiteral("Cumpleanos"));
        } else if (name == QLatin1String("ANNIVERSARY")) {
            addDate(p, QStringLiteral("Aniversario"));
        } else if (name == QLatin1String("GENDER")) {
            addGender(p);
        } else if (name == QLatin1String("X-PENNARO-SEXO")) {
            set(m_card, "Sexo", unescapeText(p.value), m_notes);
        } else if (name == QLatin1String("RELATED") && p.types().contains(QLatin1String("spouse"))) {
            takeOnce(p, "Conyugue", unescapeText(p.value));
        } else if (name == QLatin1String("X-PENNARO-OFICINA")) {
            takeOnce(p, "Oficina", unescapeText(p.value));
        } else if (name == QLatin1String("X-PENNARO-HIJOS")) {
            takeOnce(p, "Hijos", unescapeText(p.value));
        } else if (name == QLatin1String("NOTE")) {
            const QString before = textOf(m_card, QStringLiteral("Notas"));
            const QString note = unescapeText(p.value);
            set(m_card, "Notas", before.isEmpty() ? note : before + QLatin1Char('\n') + note, m_notes);
        } else if (!isAboutTheFile(name)) {
            drop(p);
        }
    }

    Record finish()
    {
        const QString fullName = m_formatted.trimmed().isEmpty() ? m_fromN : m_formatted;
        set(m_card, "Nombre", fullName, m_notes);
        if (textOf(m_card, QStringLiteral("Nombre")).trimmed().isEmpty()) {
            m_notes.skipReason = QStringLiteral("sin nombre");
            return m_card;
        }
        // The card editor adds each address followed by a line break; the first becomes the default.
        if (!m_emails.isEmpty()) {
            QString list;
            for (const QString& a : std::as_const(m_emails))
                list += a + QStringLiteral("\r\n");
            m_card.insert(QStringLiteral("Emails"), list);
        }
        set(m_card, "Email", m_preferred.isEmpty() ? m_emails.value(0) : m_preferred, m_notes);
        return m_card;
    }

private:
    // PRODID, REV, UID and KIND are facts about the file, not about the person.
    static bool isAboutTheFile(const QString& name)
    {
        return name == QLatin1String("PRODID") || name == QLatin1String("REV") || name == QLatin1String("UID") ||
               name == QLatin1String("KIND");
    }

    void drop(const ContentLine& p) { m_notes.droppedProperties += p.name; }

    // A field that takes the first of several properties; the others are dropped.
    void takeOnce(const ContentLine& p, const char* field, const QString& value)
    {
        if (m_card.contains(QString::fromLatin1(field)))
            drop(p);
        else
            set(m_card, field, value, m_notes);
    }

    void addEmail(const ContentLine& p)
    {
        // One address per line of the list: a line break inside one would make two.
        // Taken as written, as the card editor takes a typed address.
        const QString address = unescapeText(p.value).replace(QLatin1Char('\n'), QLatin1Char(' '));
        if (address.trimmed().isEmpty())
            return;
        const int rank = preferenceRank(p);
        if (rank < m_preferredRank) {
            m_preferred = address;
            m_preferredRank = rank;
        }
        if (!p.paramValues(QStringLiteral("X-PENNARO-LISTA")).contains(QLatin1String("NO")))
            m_emails += address;
    }

    // The first home and the first work address fill the card's two addresses.
    void addAddress(const ContentLine& p)
    {
        const bool work = p.types().contains(QLatin1String("work"));
        bool& taken = work ? m_haveWork : m_haveHome;
        if (taken) {
            drop(p);
            return;
        }
        const QStringList parts = splitStructured(p.value);
        auto part = [&](int i) { return i < parts.size() ? parts[i] : QString(); };
        // PO box, extended address and street go together into the one address line.
        QStringList street;
        for (int i : {0, 1, 2})
            if (!part(i).isEmpty())
                street += part(i);
        static const char* const homeFields[] = {"Direccion", "Ciudad", "Provincia", "CP", "Pais"};
        static const char* const workFields[] = {"EmpresaDireccion", "EmpresaCiudad", "EmpresaProvincia", "EmpresaCP",
                                                 "EmpresaPais"};
        const char* const* fields = work ? workFields : homeFields;
        set(m_card, fields[0], street.join(QStringLiteral(", ")), m_notes);
        for (int i = 1; i < 5; ++i)
            set(m_card, fields[i], part(i + 2), m_notes);
        taken = true;
    }

    void addPhone(const ContentLine& p)
    {
        QString number = unescapeText(p.value);
        if (number.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive))
            number = number.mid(4);
        const QStringList types = p.types();
        const bool work = types.contains(QLatin1String("work"));
        const char* field = types.contains(QLatin1String("cell"))  ? "Movil"
                            : types.contains(QLatin1String("fax")) ? (work ? "EmpresaFax" : "FAX")
                            : work                                 ? "EmpresaTel"
                                                                   : "Tel";
        takeOnce(p, field, number);
    }

    void addOrganization(const ContentLine& p)
    {
        if (m_card.contains(QStringLiteral("Organizacion")) || m_card.contains(QStringLiteral("Departamento"))) {
            drop(p);
            return;
        }
        const QStringList parts = splitStructured(p.value);
        set(m_card, "Organizacion", parts.value(0), m_notes);
        set(m_card, "Departamento", parts.mid(1).join(QStringLiteral(", ")), m_notes);
    }

    void addDate(const ContentLine& p, const QString& field)
    {
        if (p.paramValues(QStringLiteral("VALUE")).contains(QLatin1String("text"), Qt::CaseInsensitive) ||
            m_card.contains(field)) {
            drop(p);
            return;
        }
        QString why;
        const QDate date = parseVCardDate(p.value, p.lineNo, why);
        if (date.isValid())
            m_card.insert(field, date);
        else
            drop(p);
    }

    void addGender(const ContentLine& p)
    {
        const QString sex = splitStructured(p.value).value(0).trimmed().toUpper();
        if (sex == QLatin1String("M"))
            m_card.insert(QStringLiteral("Sexo"), QStringLiteral("H"));
        else if (sex == QLatin1String("F"))
            m_card.insert(QStringLiteral("Sexo"), QStringLiteral("M"));
        else if (!sex.isEmpty())
            m_card.insert(QStringLiteral("Sexo"), QStringLiteral("?"));
    }

    ImportNotes& m_notes;
    Record m_card;
    QString m_formatted; // FN
    QString m_fromN;     // the name N gives, for a card without FN
    QStringList m_emails;
    QString m_preferred;
    int m_preferredRank = kUnranked;
    bool m_haveHome = false;
    bool m_haveWork = false;
};

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
    out += textLine("NICKNAME", t("Nick"));
    out += emailLines(t("Emails"), t("Email"));
    out += addressLine({t("Direccion"), t("Ciudad"), t("Provincia"), t("CP"), t("Pais")}, ";TYPE=home");
    out += addressLine(
        {t("EmpresaDireccion"), t("EmpresaCiudad"), t("EmpresaProvincia"), t("EmpresaCP"), t("EmpresaPais")},
        ";TYPE=work");
    out += textLine("TEL", t("Tel"), ";TYPE=home,voice");
    out += textLine("TEL", t("Movil"), ";TYPE=cell");
    out += textLine("TEL", t("FAX"), ";TYPE=home,fax");
    out += textLine("TEL", t("EmpresaTel"), ";TYPE=work,voice");
    out += textLine("TEL", t("EmpresaFax"), ";TYPE=work,fax");
    if (!t("Web").isEmpty())
        out += vcardLine("URL", t("Web"));
    if (!t("Organizacion").isEmpty() || !t("Departamento").isEmpty())
        out += vcardLine("ORG", structured({t("Organizacion"), t("Departamento")}));
    out += textLine("TITLE", t("Puesto"));
    out += dateLine("BDAY", card.value(QStringLiteral("Cumpleanos")));
    out += dateLine("ANNIVERSARY", card.value(QStringLiteral("Aniversario")));
    out += genderLine(t("Sexo"));
    out += textLine("RELATED", t("Conyugue"), ";TYPE=spouse;VALUE=text");
    out += textLine("X-PENNARO-OFICINA", t("Oficina"));
    out += textLine("X-PENNARO-HIJOS", t("Hijos"));
    out += textLine("NOTE", t("Notas"));
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
    CardBuilder builder(notes);
    for (const ContentLine& p : vcard.properties)
        builder.add(p);
    return builder.finish();
}

} // namespace exchange
