#pragma once
// A one-line edit bound to a date field of the current record behind a data source. It
// shows and reads dates as dd/mm/yyyy with the year in full, whatever the desktop's
// locale; a two-digit year is refused rather than guessed into a century. Typing starts
// an edit; the typed date is written into the record when the focus leaves the edit and
// before the record posts. A text that is no date is never written: it stays in the edit
// until commit() reports it. A date the user did not type is never rewritten.

#include "store/controls/DataAware.h"

#include <QDate>
#include <QLineEdit>

class DBDateEdit : public DataAware<QLineEdit>
{
    Q_OBJECT
public:
    explicit DBDateEdit(QWidget* parent = nullptr);

    // The field as messages name it ("Cumpleaños"); the field's own name when not set.
    void setCaption(const QString& caption) { m_caption = caption; }
    QString caption() const { return m_caption.isEmpty() ? m_link.dataField() : m_caption; }

    // True when the user typed a text that is still to be written.
    bool isModified() const { return m_link.isModified(); }

    // The typed text as the field's value: null when blank. Raises ConversionError naming
    // the text and the caption when it is no date.
    QVariant typedValue() const;
    // Writes the typed date into the record now. Raises ConversionError for a text that
    // is no date; the text then stays, still to be written.
    void commit();

    // "15/03/1950"; "" for an invalid date.
    static QString dateText(const QDate& date);
    // Day "/" month "/" four-digit year, day and month with one or two digits, blanks
    // around the whole allowed. Raises ConversionError for anything else or a day that
    // does not exist.
    static QDate parseDate(const QString& text);

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showRecord();
    void userEdited();

    QString m_caption;
};
