#pragma once
// Shared by the reminder tests: reminder rows written straight into the data folder
// (before or while the program runs), read back from disk through a connection of
// their own, and a driver that answers the alert dialog whenever it opens.

#include "support/ProgramFixture.h"
#include "support/Records.h"

#include "reminders/Mensaje_Uni.h"
#include "store/Data_Unit.h"
#include "store/engine/Connection.h"
#include "store/engine/Table.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QObject>
#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

struct ReminderRow
{
    QVariant fecha;
    QVariant hora;
    QVariant texto;
    QVariant playSound = false;
    QVariant leido = false;
    QVariant repetirN = QStringLiteral("0");
    QVariant repetirS = QStringLiteral("Día/s");
    qint64 id = -1; // filled when read back
};

inline ReminderRow row(const QString& fecha, const QString& hora, const QString& texto)
{
    ReminderRow r;
    r.fecha = fecha;
    r.hora = hora;
    r.texto = texto;
    return r;
}

// Writes rows into the data folder's reminder file, creating it when missing. Used before
// the program starts (start-up scans) or while it runs (the program sees them after a
// refresh of its own).
inline QList<qint64> seedReminders(const QString& dataFolder, const QList<ReminderRow>& rows)
{
    QDir().mkpath(dataFolder);
    engine::Connection connection;
    connection.setPath(dataFolder);
    connection.connect();
    if (!QFileInfo::exists(connection.filePath(QStringLiteral("Reminder.DB"))))
        connection.createTable(QStringLiteral("Reminder.DB"), TDataModuleReminder::reminderFields(),
                               QStringLiteral("ID;Fecha;Hora"));
    QList<qint64> ids;
    {
        engine::Table table(QStringLiteral("seed"));
        table.setConnection(&connection);
        table.setTableName(QStringLiteral("Reminder.DB"));
        table.open();
        for (const ReminderRow& r : rows) {
            ids.append(testsupport::add(table, {{"Fecha", r.fecha},
                                                {"Hora", r.hora},
                                                {"Recordatorio", r.texto},
                                                {"PlaySound", r.playSound},
                                                {"Leido", r.leido},
                                                {"RepetirN", r.repetirN},
                                                {"RepetirS", r.repetirS}}));
        }
        table.close();
    }
    connection.disconnect();
    return ids;
}

// Every reminder as the file on disk holds it, by ID.
inline QList<ReminderRow> remindersOnDisk(const QString& dataFolder)
{
    engine::Connection connection;
    connection.setPath(dataFolder);
    connection.connect();
    QList<ReminderRow> rows;
    {
        engine::Table table(QStringLiteral("check"));
        table.setConnection(&connection);
        table.setTableName(QStringLiteral("Reminder.DB"));
        table.open();
        for (table.first(); !table.eof(); table.next()) {
            ReminderRow r;
            r.id = table.asInteger(QStringLiteral("ID"));
            r.fecha = table.value(QStringLiteral("Fecha"));
            r.hora = table.value(QStringLiteral("Hora"));
            r.texto = table.value(QStringLiteral("Recordatorio"));
            r.playSound = table.value(QStringLiteral("PlaySound"));
            r.leido = table.value(QStringLiteral("Leido"));
            r.repetirN = table.value(QStringLiteral("RepetirN"));
            r.repetirS = table.value(QStringLiteral("RepetirS"));
            rows.append(r);
        }
        table.close();
    }
    connection.disconnect();
    return rows;
}

inline ReminderRow reminderOnDisk(const QString& dataFolder, qint64 id)
{
    for (const ReminderRow& r : remindersOnDisk(dataFolder))
        if (r.id == id)
            return r;
    return {};
}

inline bool operator==(const ReminderRow& a, const ReminderRow& b)
{
    return a.id == b.id && a.fecha == b.fecha && a.hora == b.hora && a.texto == b.texto && a.playSound == b.playSound &&
           a.leido == b.leido && a.repetirN == b.repetirN && a.repetirS == b.repetirS;
}

// Answers the alert dialog each time it is open: records what it shows, then runs the
// next queued step (by default "&Leido"). Works for the start-up pass and for ticks.
class AlertDriver : public QObject
{
public:
    struct Seen
    {
        QString texto; // the memo's text
        QString fecha; // DBText1
        QString hora;  // DBText2
        bool listEnabled = false;
        bool listVisible = false;
        bool repeatLineVisible = false;
        int listIndex = -1;
        int soundsBefore = 0; // sounds played before the dialog showed
    };

    using Step = std::function<void(TOKBottomDlg*)>;

    explicit AlertDriver(ProgramFixture* fixture) : m_fixture(fixture)
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    static QAbstractButton* button(const char* name)
    {
        return OKBottomDlg->findChild<QAbstractButton*>(QString::fromLatin1(name));
    }
    static Step click(const char* name)
    {
        return [name](TOKBottomDlg*) { button(name)->click(); };
    }
    static Step postponeBy(int entry)
    {
        return [entry](TOKBottomDlg* dialog) {
            dialog->ComboBox1->setCurrentIndex(entry);
            button("CancelBtn")->click();
        };
    }

    QList<Seen> seen;
    QList<Step> steps;

    QStringList textsSeen() const
    {
        QStringList texts;
        for (const Seen& s : seen)
            texts.append(s.texto);
        return texts;
    }

private:
    void poll()
    {
        if (!OKBottomDlg || !OKBottomDlg->isVisible() || m_acting)
            return;
        m_acting = true;
        Seen s;
        s.texto = OKBottomDlg->findChild<QPlainTextEdit*>(QStringLiteral("DBMemo1"))->toPlainText();
        s.fecha = OKBottomDlg->findChild<QLabel*>(QStringLiteral("DBText1"))->text();
        s.hora = OKBottomDlg->findChild<QLabel*>(QStringLiteral("DBText2"))->text();
        s.listEnabled = OKBottomDlg->ComboBox1->isEnabled();
        s.listVisible = OKBottomDlg->ComboBox1->isVisible();
        s.repeatLineVisible = OKBottomDlg->findChild<QLabel*>(QStringLiteral("Label1"))->isVisible();
        s.listIndex = OKBottomDlg->ComboBox1->currentIndex();
        s.soundsBefore = int(m_fixture->sounds.size());
        seen.append(s);
        // A runaway scan must not keep a test waiting for its time limit: past a bound
        // every alert is deleted, and the test's own checks then fail.
        Step step;
        if (seen.size() > 40)
            step = click("OKBtn");
        else if (steps.isEmpty())
            step = click("BitBtn1");
        else
            step = steps.takeFirst();
        step(OKBottomDlg);
        m_acting = false;
    }

    ProgramFixture* m_fixture;
    QTimer m_timer;
    bool m_acting = false;
};
