#include "app/Globals.h"

#include <QGuiApplication>

#include "addressbook/Direccion_Unit.h"
#include "addressbook/Direcciones_Unit.h"
#include "app/Ostiva_Unit.h"
#include "app/ProgramWindows.h"
#include "common/Acerca_Unit.h"
#include "mail/Correo_Unit.h"
#include "platform/Guard.h"
#include "platform/Leftovers.h"
#include "platform/ProgramFolder.h"
#include "platform/SettingsStore.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Buscar_Unit.h"
#include "reminders/Mensaje_Uni.h"
#include "reminders/Reminder_Unit.h"
#include "store/Data_Unit.h"

namespace {

// Creates one object; its creation handler's error is shown and creation goes on.
template <typename T> void create(T*& global)
{
    guarded([&] { global = new T(); });
}

template <typename T> void destroy(T*& global)
{
    T* object = global;
    global = nullptr;
    delete object;
}

// A run killed while saving the settings or creating a table leaves its temporary file
// (the settings one holds the scrambled password). Only names of the forms the program
// itself makes, only where it makes them, and only files older than this run.
void removeLeftovers(const QDateTime& runStart)
{
    Leftovers::remove(ProgramFolder::path(), &SettingsStore::isTemporaryName, runStart);
    Leftovers::remove(TDataModuleReminder::dataFolderPath(), &TDataModuleReminder::isTableLeftover, runStart);
}

} // namespace

void CreateProgramObjects()
{
    removeLeftovers(QDateTime::currentDateTime());

    // The main window's and the store's constructors show their own errors and go on
    // (their creation handlers are guarded inside), so each global is set even then.
    create(Ostiva_Form);
    create(OKBottomDlg);
    create(Reminder_Form);
    // The store reaches the windows only through this, for the whole run.
    static ProgramWindows windows;
    guarded([&] { DataModuleReminder = new TDataModuleReminder(&windows); });
    create(AddReminder_Form);
    create(Correo_Form);
    create(Acerca_Form);
    create(Buscar_Form);
    create(Direcciones_Form);
    create(Direccion_Form);
}

void DestroyProgramObjects()
{
    destroy(Direccion_Form);
    destroy(Direcciones_Form);
    destroy(Buscar_Form);
    destroy(Acerca_Form);
    destroy(Correo_Form);
    destroy(AddReminder_Form);
    destroy(DataModuleReminder);
    destroy(Reminder_Form);
    destroy(OKBottomDlg);
    destroy(Ostiva_Form);
}

void SetApplicationIdentity()
{
    QCoreApplication::setApplicationName(QStringLiteral("Pennaro"));
    QGuiApplication::setApplicationDisplayName(QString());
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.pennaro.Pennaro"));
}
