#include "store/engine/QueryParser.h"

#include "core/Error.h"
#include "store/engine/FieldText.h"
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

// The constant whose opening quote is at i; a doubled quote stands for one quote inside
// it. Leaves i after the closing quote.
QString quotedConstant(const QString& text, int& i)
{
    QString value;
    const int n = int(text.size());
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
            return value;
        }
        value += text.at(i++);
    }
}

Tok punctuation(QChar c)
{
    switch (c.unicode()) {
    case '*':
        return Tok::Star;
    case ',':
        return Tok::Comma;
    case '(':
        return Tok::LParen;
    case ')':
        return Tok::RParen;
    case '=':
        return Tok::Equals;
    default:
        invalid(QStringLiteral("carácter inesperado «%1»").arg(c));
    }
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
            tokens.append({Tok::String, quotedConstant(text, i)});
        } else if (isWordChar(c)) {
            const int start = i;
            while (i < n && isWordChar(text.at(i)))
                ++i;
            tokens.append({Tok::Word, text.mid(start, i - start)});
        } else {
            tokens.append({punctuation(c), QString(c)});
            ++i;
        }
    }
    tokens.append({Tok::End, QString()});
    return tokens;
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

    // The operand of a condition: a field or CAST(field AS CHAR(n)), as SQL over quoted
    // columns with its parameters. `textual` tells whether it compares as text.
    struct Operand
    {
        const FieldDef* field = nullptr;
        QString expr;
        bool textual = false;
        QVariantList params;
    };

    Operand operand()
    {
        Operand op;
        if (!(isKeyword(peek(), "CAST") && m_tokens.at(m_at + 1).kind == Tok::LParen)) {
            op.field = &field();
            op.expr = sql::quoted(op.field->name);
            op.textual = op.field->type == FieldType::Text || op.field->type == FieldType::Memo;
            return op;
        }
        m_at += 2;
        op.field = &field();
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
        castAsText(op, size);
        return op;
    }

    static void castAsText(Operand& op, int size)
    {
        const QString column = sql::quoted(op.field->name);
        op.textual = true;
        switch (op.field->type) {
        case FieldType::Text:
            if (op.field->size <= size) {
                op.expr = column; // already no longer than the cast: the index stays usable
                return;
            }
            [[fallthrough]];
        case FieldType::Memo:
            op.expr = QStringLiteral("substr(%1, 1, ?)").arg(column);
            break;
        case FieldType::Date:
            op.expr = QStringLiteral("substr(strftime('%d/%m/%Y', %1), 1, ?)").arg(column);
            break;
        case FieldType::AutoInc:
            op.expr = QStringLiteral("substr(CAST(%1 AS TEXT), 1, ?)").arg(column);
            break;
        case FieldType::Logical:
            invalid(QStringLiteral("el campo «%1» no puede convertirse en texto").arg(op.field->name));
        }
        op.params.append(size);
    }

    // operand (= | LIKE) "constant"
    QString condition()
    {
        Operand op = operand();
        const bool like = acceptKeyword("LIKE");
        if (!like && !accept(Tok::Equals))
            invalid(QStringLiteral("se esperaba «=» o «LIKE» y se encontró %1").arg(describe(peek())));
        if (peek().kind != Tok::String)
            invalid(QStringLiteral("se esperaba un texto entre comillas y se encontró %1").arg(describe(peek())));
        const QString constant = m_tokens.at(m_at++).text;
        const QString sql = like ? likeCondition(op, constant) : equalsCondition(op, constant);
        m_result.params += op.params;
        return sql;
    }

    static QString likeCondition(Operand& op, const QString& constant)
    {
        if (!op.textual)
            invalid(QStringLiteral("LIKE sólo puede usarse con campos de texto («%1»)").arg(op.field->name));
        const QString rest = constant.mid(1);
        if (constant.startsWith(QLatin1Char('%')) && !rest.isEmpty() && !rest.contains(QLatin1Char('%')) &&
            !rest.contains(QLatin1Char('_'))) {
            // "%text": the same as comparing the last characters, which an index on
            // them (the month and year of a date text) can answer without a scan.
            // The count is ours, not the query's text.
            op.params.append(rest);
            return QStringLiteral("substr(%1, -%2) = ?").arg(op.expr).arg(rest.toUcs4().size());
        }
        op.params.append(globPattern(constant));
        return op.expr + QStringLiteral(" GLOB ?");
    }

    static QString equalsCondition(Operand& op, const QString& constant)
    {
        // Empty texts are stored as null, so equality with "" finds the empty fields.
        if (constant.isEmpty())
            return op.expr + QStringLiteral(" IS NULL");
        if (op.textual) {
            op.params.append(constant);
        } else if (op.field->type == FieldType::Date) {
            const QDate date = parseDateText(constant);
            if (!date.isValid())
                invalid(QStringLiteral("«%1» no es una fecha").arg(constant));
            op.params.append(date);
        } else if (op.field->type == FieldType::Logical) {
            const std::optional<bool> logical = parseLogical(constant);
            if (!logical)
                invalid(QStringLiteral("«%1» no es un valor lógico").arg(constant));
            op.params.append(*logical);
        } else {
            bool ok = false;
            const qint64 n = constant.trimmed().toLongLong(&ok);
            if (!ok)
                invalid(QStringLiteral("«%1» no es un número").arg(constant));
            op.params.append(n);
        }
        return op.expr + QStringLiteral(" = ?");
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
