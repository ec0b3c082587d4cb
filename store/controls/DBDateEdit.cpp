#include "store/controls/DBDateEdit.h"

#include "core/Error.h"
#include "platform/Guard.h"

#include <QFocusEvent>
#include <QLoggingCategory>
#include <QRegularExpression>

namespace {
Q_LOGGING_CATEGORY(lcDateEdit, "pennaro.controls.date", QtInfoMsg)
}

DBDateEdit::DBDateEdit(QWidget* parent)
    : DataAware(
          parent, [this] { showRecord(); }, [this] { m_link.writeValue(typedValue()); })
{
    // Only typing marks the text as the user's: a date shown from the record, or set by
    // the program, is not written back.
    connect(this, &QLineEdit::textEdited, this, &DBDateEdit::userEdited);
}

QString DBDateEdit::dateText(const QDate& date)
{
    if (!date.isValid())
        return QString();
    return QStringLiteral("%1/%2/%3")
        .arg(date.day(), 2, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.year(), 4, 10, QLatin1Char('0'));
}

QDate DBDateEdit::parseDate(const QString& text)
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

QVariant DBDateEdit::typedValue() const
{
    const QString typed = text().trimmed();
    if (typed.isEmpty())
        return QVariant();
    QDate date;
    try {
        date = parseDate(typed);
    } catch (const ConversionError&) {
        // Reported below with the field's name and the form expected.
    }
    if (!date.isValid())
        throw ConversionError(QStringLiteral("«%1» no es una fecha válida para «%2»; escríbala como %3")
                                  .arg(typed, caption(), QStringLiteral("dd/mm/aaaa")));
    return date;
}

void DBDateEdit::commit()
{
    m_link.updateRecord();
}

void DBDateEdit::showRecord()
{
    const QVariant value = m_link.shownValue();
    setText(value.isNull() ? QString() : dateText(value.toDate()));
}

void DBDateEdit::userEdited()
{
    bool editing = false;
    const bool ok = guardedOk([&] { editing = m_link.userEdit(isReadOnly()); });
    if (!ok || !editing)
        m_link.reload(); // the record cannot take the text: show it unchanged
}

void DBDateEdit::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() == Qt::PopupFocusReason || !m_link.isModified())
        return;
    // Leaving the edit keeps a valid date in the record. A text that is no date (perhaps
    // one still being typed) waits in the edit for commit(), which reports it.
    guarded([this] {
        try {
            m_link.updateRecord();
        } catch (const ConversionError& e) {
            qCDebug(lcDateEdit, "%s: left unwritten on leaving the edit: %s", qUtf8Printable(objectName()),
                    qUtf8Printable(e.message()));
        }
    });
}
