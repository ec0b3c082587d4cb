// Builds a program in a temporary program folder and saves a picture of each window.

#include "addressbook/Direccion_Unit.h"
#include "addressbook/Direcciones_Unit.h"
#include "app/Globals.h"
#include "app/Ostiva_Unit.h"
#include "common/Acerca_Unit.h"
#include "mail/Correo_Unit.h"
#include "platform/Seams.h"
#include "platform/TrayIcon.h"
#include "reminders/AddReminder_Unit.h"
#include "reminders/Buscar_Unit.h"
#include "reminders/Mensaje_Uni.h"
#include "reminders/Reminder_Unit.h"
#include "ui_Ostiva_Unit.h"

#include <QApplication>
#include <QDir>
#include <QTabWidget>
#include <QTemporaryDir>

#include <cstdio>

namespace {
void save(QWidget* w, const QString& folder, const QString& name)
{
    w->show();
    QApplication::processEvents();
    w->grab().save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    w->hide();
}
} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(".");
    QDir().mkpath(out);
    QTemporaryDir home;
    qputenv("PENNARO_HOME", QFile::encodeName(home.path()));
    TrayIcon::setAvailableOverride(1);
    seams::setMessageHandler([](const seams::MessageRequest& r) {
        fprintf(stderr, "%s: %s\n", qPrintable(r.caption), qPrintable(r.text));
        return QMessageBox::Ok;
    });
    CreateProgramObjects();
    Ostiva_Form->show();
    for (int i = 0; i < Ostiva_Form->ui->PageControl1->count(); ++i) {
        Ostiva_Form->ui->PageControl1->setCurrentIndex(i);
        save(Ostiva_Form, out, QStringLiteral("main-%1").arg(i + 1));
    }
    save(OKBottomDlg, out, QStringLiteral("alerta"));
    save(Reminder_Form, out, QStringLiteral("dia"));
    save(AddReminder_Form, out, QStringLiteral("recordatorio"));
    save(Correo_Form, out, QStringLiteral("correo"));
    save(Acerca_Form, out, QStringLiteral("acerca"));
    save(Buscar_Form, out, QStringLiteral("buscar"));
    save(Direcciones_Form, out, QStringLiteral("direcciones"));
    if (auto* pages = Direccion_Form->findChild<QTabWidget*>()) {
        for (int i = 0; i < pages->count(); ++i) {
            pages->setCurrentIndex(i);
            save(Direccion_Form, out, QStringLiteral("tarjeta-%1").arg(i + 1));
        }
    } else {
        save(Direccion_Form, out, QStringLiteral("tarjeta"));
    }
    DestroyProgramObjects();
    return 0;
}
