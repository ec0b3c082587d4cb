#include "store/engine/QueryParser.h"

#include "core/Error.h"
#include "store/engine/Sqlite.h"

#include <QDate>
#include <QVector>

namespace engine {

namespace {

enum class Tok { End, Word, String, Star, Comma, LParen, RParen, Equals };

struct Token
{
    Tok kind = Tok::End;
    QString text; // a word as written, or a string constant without its quotes
};

[[noreturn]] void invalid(const QString& detail)
{
    throw EngineError(QStringLiteral("Consulta no válida: ") + detail);
}

bool isWordChar(QChar c)
{
    return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('.');
}

QVector<Token> tokenize(const QString& text)
{
    QVector<Token> tokens;
    int i = 0;
    const int n = int(text.size());
    while (i < n) {
        const QChar c = text.at(i);
        if (c.isSpace()) {
            ++i;
        } else if (c == QLatin1Char('"')) {
            // A constant; a doubled quote stands for one quote inside it.
            QString value;
            ++i;
            for (;;) {
                if (i >= n)
                    invalid(QStringLiteral("falta la comilla que cierra un texto"));
                if (text.at(i) == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        value += QLatin1Char('"');
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                value += text.at(i++);
            }
            tokens.append({Tok::String, value});
        } else if (isWordChar(c)) {
            const int start = i;
            while (i < n && isWordChar(text.at(i)))
                ++i;
            tokens.append({Tok::Word, text.mid(start, i - start)});
        } else {
            Tok kind;
            switch (c.unicode()) {
            case '*':
                kind = Tok::Star;
                break;
            case ',':
                kind = Tok::Comma;
                break;
            case '(':
                kind = Tok::LParen;
                break;
            case ')':
                kind = Tok::RParen;
                break;
            case '=':
                kind = Tok::Equals;
                break;
            default:
                invalid(QStringLiteral("carácter inesperado «%1»").arg(c));
            }
            tokens.append({kind, QString(c)});
            ++i;
        }
    }
    tokens.append({Tok::End, QString()});
    return tokens;
}

// "5/3/2027" or "05/03/2027" as a date; invalid when it is none.
QDate parseDate(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char('/'));
    if (parts.size() != 3 || parts.at(2).size() != 4)
        return {};
    bool a = false, b = false, c = false;
    const QDate date(parts.at(2).toInt(&c), parts.at(1).toInt(&b), parts.at(0).toInt(&a));
    return a && b && c ? date : QDate();
}

// A LIKE pattern ("%" any run, "_" one character) as a GLOB pattern, which compares
// case by case; GLOB's own wildcards in the text are matched literally.
QString globPattern(const QString& like)
{
    QString glob;
    glob.reserve(like.size() + 8);
    for (const QChar c : like) {
        switch (c.unicode()) {
        case '%':
            glob += QLatin1Char('*');
            break;
        case '_':
            glob += QLatin1Char('?');
            break;
        case '*':
            glob += QLatin1String("[*]");
            break;
        case '?':
            glob += QLatin1String("[?]");
            break;
        case '[':
            glob += QLatin1String("[[]");
            break;
        default:
            glob += c;
            break;
        }
    }
    return glob;
}

class Parser
{
public:
    Parser(const QString& text, const std::function<FieldDefs(const QString&)>& fieldsOf)
        : m_tokens(tokenize(text)), m_fieldsOf(fieldsOf)
    {
    }

    CompiledQuery parse()
    {
        if (peek().kind == Tok::End)
            invalid(QStringLiteral("la consulta está vacía"));
        expectKeyword("SELECT");
        expect(Tok::Star, QStringLiteral("*"));
        expectKeyword("FROM");
        m_result.tableFile = tableFile();
        m_fields = m_fieldsOf(m_result.tableFile); // raises for an unknown table file

        if (acceptKeyword("WHERE")) {
            QStringList conditions;
            do
                conditions.append(condition());
            while (acceptKeyword("AND"));
            m_result.whereSql = conditions.size() == 1
                                    ? conditions.first()
                                    : QLatin1Char('(') + conditions.join(QStringLiteral(") AND (")) + QLatin1Char(')');
        }
        if (acceptKeyword("ORDER")) {
            expectKeyword("BY");
            QStringList items;
            do {
                const FieldDef& f = field();
                QString item = sql::quoted(f.name);
                if (acceptKeyword("DESC")) {
                    item += QLatin1String(" DESC");
                } else {
                    acceptKeyword("ASC");
                    item += QLatin1String(" ASC");
                }
                items.append(item);
            } while (accept(Tok::Comma));
            m_result.orderSql = items.join(QStringLiteral(", "));
        }
        if (peek().kind != Tok::End)
            invalid(QStringLiteral("sobra %1 al final").arg(describe(peek())));
        return m_result;
    }

private:
    const Token& peek() const { return m_tokens.at(m_at); }

    static QString describe(const Token& t)
    {
        switch (t.kind) {
        case Tok::End:
            return QStringLiteral("el final del texto");
        case Tok::String:
            return QStringLiteral("el texto «\"%1\"»").arg(t.text);
        default:
            return QStringLiteral("«%1»").arg(t.text);
        }
    }

    bool isKeyword(const Token& t, const char* keyword) const
    {
        return t.kind == Tok::Word && t.text.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
    }

    bool acceptKeyword(const char* keyword)
    {
        if (!isKeyword(peek(), keyword))
            return false;
        ++m_at;
        return true;
    }

    void expectKeyword(const char* keyword)
    {
        if (!acceptKeyword(keyword))
            invalid(QStringLiteral("se esperaba «%1» y se encontró %2").arg(QLatin1String(keyword), describe(peek())));
    }

    bool accept(Tok kind)
    {
        if (peek().kind != kind)
            return false;
        ++m_at;
        return true;
    }

    void expect(Tok kind, const QString& shown)
    {
        if (!accept(kind))
            invalid(QStringLiteral("se esperaba «%1» y se encontró %2").arg(shown, describe(peek())));
    }

    // A plain file name: letters, digits and "_", with at most one extension.
    QString tableFile()
    {
        const Token t = peek();
        const QStringList parts = t.text.split(QLatin1Char('.'));
        bool plain = t.kind == Tok::Word && parts.size() <= 2;
        for (const QString& part : parts)
            plain = plain && !part.isEmpty();
        if (!plain)
            invalid(QStringLiteral("se esperaba el nombre de una tabla y se encontró %1").arg(describe(t)));
        ++m_at;
        return t.text;
    }

    const FieldDef& field()
    {
        const Token t = peek();
        if (t.kind != Tok::Word || t.text.contains(QLatin1Char('.')) || t.text.at(0).isDigit())
            invalid(QStringLiteral("se esperaba un campo y se encontró %1").arg(describe(t)));
        ++m_at;
        for (const FieldDef& f : std::as_const(m_fields))
            if (f.name.compare(t.text, Qt::CaseInsensitive) == 0)
                return f;
        throw EngineError(QStringLiteral("Campo «%1» desconocido en la tabla «%2»").arg(t.text, m_result.tableFile));
    }

    // operand (= | LIKE) "constant"; the operand is a field or CAST(field AS CHAR(n)).
    QString condition()
    {
        QString expr;
        bool textual = false;
        const FieldDef* f = nullptr;
        QVariantList params;
        if (isKeyword(peek(), "CAST") && m_tokens.at(m_at + 1).kind == Tok::LParen) {
            m_at += 2;
            f = &field();
            expectKeyword("AS");
            expectKeyword("CHAR");
            expect(Tok::LParen, QStringLiteral("("));
            bool ok = false;
            const int size = peek().kind == Tok::Word ? peek().text.toInt(&ok) : 0;
            if (!ok || size <= 0 || size > 65535)
                invalid(QStringLiteral("se esperaba una longitud y se encontró %1").arg(describe(peek())));
            ++m_at;
            expect(Tok::RParen, QStringLiteral(")"));
            expect(Tok::RParen, QStringLiteral(")"));
            const QString column = sql::quoted(f->name);
            textual = true;
            switch (f->type) {
            case FieldType::Text:
                if (f->size <= size) {
                    expr = column; // already no longer than the cast: the index stays usable
                    break;
                }
                [[fallthrough]];
            case FieldType::Memo:
                expr = QStringLiteral("substr(%1, 1, ?)").arg(column);
                params.append(size);
                break;
            case FieldType::Date:
                expr = QStringLiteral("substr(strftime('%d/%m/%Y', %1), 1, ?)").arg(column);
                params.append(size);
                break;
            case FieldType::AutoInc:
                expr = QStringLiteral("substr(CAST(%1 AS TEXT), 1, ?)").arg(column);
                params.append(size);
                break;
            case FieldType::Logical:
                invalid(QStringLiteral("el campo «%1» no puede convertirse en texto").arg(f->name));
            }
        } else {
            f = &field();
            expr = sql::quoted(f->name);
            textual = f->type == FieldType::Text || f->type == FieldType::Memo;
        }

        const bool like = acceptKeyword("LIKE");
        if (!like && !accept(Tok::Equals))
            invalid(QStringLiteral("se esperaba «=» o «LIKE» y se encontró %1").arg(describe(peek())));
        if (peek().kind != Tok::String)
            invalid(QStringLiteral("se esperaba un texto entre comillas y se encontró %1").arg(describe(peek())));
        const QString constant = m_tokens.at(m_at++).text;

        if (like) {
            if (!textual)
                invalid(QStringLiteral("LIKE sólo puede usarse con campos de texto («%1»)").arg(f->name));
            const QString rest = constant.mid(1);
            if (constant.startsWith(QLatin1Char('%')) && !rest.isEmpty() && !rest.contains(QLatin1Char('%')) &&
                !rest.contains(QLatin1Char('_'))) {
                // "%text": the same as comparing the last characters, which an index on
                // them (the month and year of a date text) can answer without a scan.
                // The count is ours, not the query's text.
                params.append(rest);
                m_result.params += params;
                return QStringLiteral("substr(%1, -%2) = ?").arg(expr).arg(rest.toUcs4().size());
            }
            params.append(globPattern(constant));
            m_result.params += params;
            return expr + QStringLiteral(" GLOB ?");
        }
        // Empty texts are stored as null, so equality with "" finds the empty fields.
        if (constant.isEmpty()) {
            m_result.params += params;
            return expr + QStringLiteral(" IS NULL");
        }
        if (textual) {
            params.append(constant);
        } else if (f->type == FieldType::Date) {
            const QDate date = parseDate(constant.trimmed());
            if (!date.isValid())
                invalid(QStringLiteral("«%1» no es una fecha").arg(constant));
            params.append(date);
        } else if (f->type == FieldType::Logical) {
            const QString t = constant.trimmed().toLower();
            if (t == QLatin1String("true") || t == QLatin1String("t"))
                params.append(true);
            else if (t == QLatin1String("false") || t == QLatin1String("f"))
                params.append(false);
            else
                invalid(QStringLiteral("«%1» no es un valor lógico").arg(constant));
        } else {
            bool ok = false;
            const qint64 n = constant.trimmed().toLongLong(&ok);
            if (!ok)
                invalid(QStringLiteral("«%1» no es un número").arg(constant));
            params.append(n);
        }
        m_result.params += params;
        return expr + QStringLiteral(" = ?");
    }

    QVector<Token> m_tokens;
    int m_at = 0;
    const std::function<FieldDefs(const QString&)>& m_fieldsOf;
    FieldDefs m_fields;
    CompiledQuery m_result;
};

} // namespace

CompiledQuery parseQuery(const QString& text, const std::function<FieldDefs(const QString&)>& fieldsOf)
{
    return Parser(text, fieldsOf).parse();
}

} // namespace engine
