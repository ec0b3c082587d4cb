#pragma once
// The main window: three pages (reminders with the month calendar, addresses, mail
// settings), the status bar, the notification-area icon with its menu, and the minute
// timer that raises due reminders and drives the mailbox checks.
//
// Its handlers live in several files by subject: app/Ostiva_Unit.cpp (window, icon,
// commands), app/Ostiva_Timer.cpp (minute tick and due-reminder scan),
// app/Ostiva_Calendar.cpp (calendar month marks) and app/Ostiva_Mail.cpp (mail
// settings, mailbox check).

#include "mail/MailCheck.h"

#include <QDate>
#include <QMainWindow>
#include <QVector>

#include <functional>
#include <memory>

class CornerPlacement;

class QAction;
class QCalendarWidget;
class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolButton;
class Pop3Client;
class TrayIcon;
class TRutines;
class TDataModuleReminder;
class DBGrid;
class MailPassword;
class MonthCalendarAdapter;

namespace Ui {
class TOstiva_Form;
}

// Month and year of the month query; null while no month has been queried.
struct MesAno
{
    int month = 0;
    int year = 0;
    bool isNull() const { return month == 0; }
    bool operator==(const MesAno& o) const { return month == o.month && year == o.year; }
    bool operator!=(const MesAno& o) const { return !(*this == o); }
};

extern MesAno MesConsultado; // month whose reminders QueryReminderMes selects
extern TrayIcon* IconData;   // the notification-area icon, filled once by FormCreate

class TOstiva_Form : public QMainWindow
{
    Q_OBJECT
public:
    explicit TOstiva_Form(QWidget* parent = nullptr);
    ~TOstiva_Form() override;

    // Binds the address grid to the data store (called when the store is created).
    void attachDataSources(TDataModuleReminder* data);

    // --- controls and parts other windows and tests reach ------------------
    std::unique_ptr<Ui::TOstiva_Form> ui;
    QTimer* Timer1 = nullptr;
    Pop3Client* POP = nullptr;
    TRutines* Rutines1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Acerca1 = nullptr;
    QAction* Anadirdirecciones1 = nullptr;
    QAction* Direcciones1 = nullptr;
    QAction* Aadirrecordatorio1 = nullptr;
    QAction* Verrecordarorio1 = nullptr;
    QAction* Comprobaremail1 = nullptr;
    QAction* mnuShow = nullptr;
    QAction* mnuExit = nullptr;
    MonthCalendarAdapter* CalendarMarks = nullptr;

    QCalendarWidget* MonthCalendar1() const;
    QToolButton* ToolButton1() const; // "&Ver": its enabled state says the store is switched on
    QLineEdit* EditMail1User() const;
    QLineEdit* EditMail1Pass() const;
    QLineEdit* EditPOP3() const;
    QLineEdit* EditPrograma() const;
    QLineEdit* EditTiempo() const;
    QCheckBox* CheckBoxPrograma() const;
    QCheckBox* CheckBoxError() const;

    // --- start-up ---------------------------------------------------------
    void FormCreate();

    // --- icon and show/hide cycle ----------------------------------------
    void TrayMessage(int mouseMessage);
    void TrayAppeared(); // the first notification area of a run that started without one
    void mnuShowClick();
    void mnuExitClick();

    // --- commands -----------------------------------------------------------
    void ToolButton1Click();
    void ToolButton2Click();
    void ToolButton3Click();
    void ToolButton5Click();
    void ToolButton4Click();
    void ToolButton6Click();
    void ToolButton8Click();
    void ToolButton7Click();
    void DBGrid1DblClick();
    void SpeedButton1Click();
    void Acerca1Click();
    void Anadirdirecciones1Click();
    void Direcciones1Click();
    void Aadirrecordatorio1Click();
    void Verrecordarorio1Click();

    // --- minute timer (Ostiva_Timer.cpp) ------------------------------------
    void Timer1Timer();
    // The reminder part of a tick; also run at a wake-up.
    void RemindersPass();

    // --- calendar marks (Ostiva_Calendar.cpp) -------------------------------
    void MonthCalendar1Click();
    void ConsultarBold(QVector<quint32>& days);
    void CalcularBold(QVector<quint32> days);

    // --- mail (app/Ostiva_Mail.cpp) ------------------------------------------
    void CargarCorreo(); // loads the mail settings into the e-mail page (part of FormCreate)
    void BitBtn5Click(); // "Guardar"
    void BitBtn4Click(); // "&Comprobar"
    void Comprobaremail1Click();
    void Cartero(const QString& user, const QString& password, const QString& server);
    QString Encrypt(const QString& text) const;
    QString DeEncrypt(const QString& text) const;
    bool CorreoEnCurso() const; // a mailbox check is under way: no second one starts meanwhile
    // Where the password is kept (keyring or settings file), a child of the window.
    MailPassword* ClaveCorreo() const;
    void OlvidarClaveArchivo(const QString& password); // the keyring holds it: empties the file's copy
    std::unique_ptr<MailCheck> MailChecker;

    // Ends the program (the "&Terminar" path); tests replace it to stay alive.
    static void setQuitHandler(std::function<void()> handler);
    // True once "&Terminar" asked the program to end: the next tick switches the timer off.
    bool Terminating = false;
    // Whether the desktop has had a notification area since the program started (at
    // start, or a panel that came later). Only then does closing the window hide it; a tray
    // that is gone for a moment (a panel restart) does not turn the close box into an end
    // of the program.
    bool TraySeen = false;
    // Keeps the frame at the bottom-right corner while the window manager frames it.
    CornerPlacement* Placement = nullptr;

    // Whole-number value of a text, as the interval edit is read; raises ConversionError.
    static qint32 StrToInt(const QString& text);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showFromTray();
    void connectHandlers();
    void setStoreCommandsEnabled(bool enabled);
};

extern TOstiva_Form* Ostiva_Form;
