#pragma once
// Helpers shared by the address book and search tests: cards written through the data
// store, the address table read back from its file, and modal windows driven from
// inside their exec().

#include "store/Data_Unit.h"
#include "store/engine/Connection.h"
#include "store/engine/Table.h"
#include "support/Records.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QVariantMap>

#include <functional>

namespace addresstest {

// Adds a card through the store's address table and refreshes the lists; gives its ID.
inline qint64 addCard(const QVariantMap& values)
{
    const qint64 id = testsupport::add(*DataModuleReminder->TableLibreta, values);
    DataModuleReminder->Actualizar();
    return id;
}

inline qint64 addCard(const QString& nombre)
{
    return addCard(QVariantMap{{QStringLiteral("Nombre"), nombre}});
}

// The address table as its file holds it, read through a connection of its own.
class StoredCards
{
public:
    explicit StoredCards(const QString& dataFolder) : m_table(QStringLiteral("StoredCards"))
    {
        m_connection.setPath(dataFolder);
        m_connection.connect();
        m_table.setConnection(&m_connection);
        m_table.setTableName(QStringLiteral("Direcciones.DB"));
        m_table.open();
    }

    int count() { return m_table.recordCount(); }
    bool exists(qint64 id) { return m_table.findKey(id); }
    // Null when the card or the value is missing.
    QVariant value(qint64 id, const QString& field)
    {
        if (!m_table.findKey(id))
            return QVariant();
        return m_table.value(field);
    }
    // Changes one value of a stored card, as another program using the file would.
    void set(qint64 id, const QString& field, const QVariant& value)
    {
        QVERIFY(m_table.findKey(id));
        m_table.edit();
        m_table.setValue(field, value);
        m_table.post();
    }
    QStringList names()
    {
        QStringList list;
        for (m_table.first(); !m_table.eof(); m_table.next())
            list.append(m_table.displayText(QStringLiteral("Nombre")));
        return list;
    }

private:
    engine::Connection m_connection; // declared first: outlives the table
    engine::Table m_table;
};

// The values of one field over the rows of a dataset, in its order; the position is kept.
inline QStringList column(engine::Dataset* dataset, const QString& field)
{
    QStringList values;
    for (int row = 0; row < dataset->recordCount(); ++row)
        values.append(dataset->valueAt(row, field).toString());
    return values;
}

// Runs `action` once `window` is shown modally, that is from inside its exec(), as long
// as the watch lives (at most five seconds).
class ModalWatch
{
public:
    ModalWatch(QWidget* window, std::function<void()> action)
        : m_window(window), m_action(std::move(action)), m_deadline(5000)
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (m_window && m_window->isVisible() && m_window->isModal()) {
                m_timer.stop();
                m_ran = true;
                m_action();
            } else if (m_deadline.hasExpired()) {
                m_timer.stop();
            }
        });
        m_timer.start();
    }
    bool ran() const { return m_ran; }

private:
    QPointer<QWidget> m_window;
    std::function<void()> m_action;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
    bool m_ran = false;
};

// Puts the caret on `line` of a memo with a click, as the user does.
inline void clickLine(QPlainTextEdit* memo, int line, bool doubleClick = false)
{
    const QTextBlock block = memo->document()->findBlockByNumber(line);
    const QRect rect = memo->cursorRect(QTextCursor(block));
    const QPoint point = rect.center() + QPoint(2, 0);
    if (doubleClick)
        QTest::mouseDClick(memo->viewport(), Qt::LeftButton, {}, point);
    else
        QTest::mouseClick(memo->viewport(), Qt::LeftButton, {}, point);
}

} // namespace addresstest
