#include "reminders/Mensaje_Uni.h"

#include "ui_Mensaje_Uni.h"

#include "core/Clock.h"
#include "core/DateText.h"
#include "platform/BringToFront.h"
#include "platform/DesktopNotifier.h"
#include "platform/Guard.h"
#include "store/Data_Unit.h"
#include "store/ReminderRepeat.h"

#include <QApplication>
#include <QScopeGuard>

TOKBottomDlg* OKBottomDlg = nullptr;

// --- date arithmetic ------------------------------------------------------------

namespace AlertDates {

namespace {
constexpr int kMinutesPerDay = 24 * 60;
// Minutes added by the list's first six entries.
constexpr int kMinuteSteps[] = {5, 10, 15, 30, 60, 120};

// "now is later than date at 00:00", on the calendar alone (no time zone arithmetic).
bool laterThanMidnightOf(const QDateTime& now, const QDate& date)
{
    return now.date() > date || (now.date() == date && now.time() > QTime(0, 0));
}
} // namespace

QStringList postponeChoices()
{
    return {QStringLiteral("5   minutos"), QStringLiteral("10 minutos"), QStringLiteral("15 minutos"),
            QStringLiteral("30 minutos"),  QStringLiteral("1   hora"),   QStringLiteral("2   horas"),
            QStringLiteral("1   día"),     QStringLiteral("1   semana"), QStringLiteral("1   mes")};
}

Postponement postpone(int entry, const QDateTime& now)
{
    const QDate today = now.date();
    if (entry >= 0 && entry < 6) {
        // Now cut to the minute, plus the interval; the date follows past midnight.
        const int minutes = now.time().hour() * 60 + now.time().minute() + kMinuteSteps[entry];
        const int inDay = minutes % kMinutesPerDay;
        return {today.addDays(minutes / kMinutesPerDay), QTime(inDay / 60, inDay % 60)};
    }
    switch (entry) {
    case 6:
        return {today.addDays(1), QTime()};
    case 7:
        return {today.addDays(7), QTime()};
    case 8:
        return {today.addMonths(1), QTime()}; // QDate lowers the day to a shorter month's end
    default:
        return {};
    }
}

QDate nextOccurrence(const QDate& stored, int count, const QString& unit, const QDateTime& now)
{
    if (count < 1 || !stored.isValid())
        return stored;
    int days = 0;
    int months = 0;
    if (unit == QStringLiteral("Día/s"))
        days = count;
    else if (unit == QStringLiteral("Mes/es"))
        months = count;
    else if (unit == QStringLiteral("Año/s"))
        months = 12 * count;
    else
        return stored;

    QDate date = stored;
    // Each step starts from the previous result, so a day lowered once stays lowered.
    while (laterThanMidnightOf(now, date)) {
        const QDate next = days ? date.addDays(days) : date.addMonths(months);
        if (!next.isValid())
            break;
        date = next;
    }
    return date;
}

} // namespace AlertDates

// --- the dialog -------------------------------------------------------------------

namespace {
// Colours of the classic desktop and of an active caption.
const QColor kDesktopColour(0x3a, 0x6e, 0xa5);
const QColor kActiveCaptionColour(0x0a, 0x24, 0x6a);
// The alert's desktop notification, by its name for the notifier.
const QString kAlertNotice = QStringLiteral("alert");
} // namespace

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : ButtonClosedDialog(parent), ui(std::make_unique<Ui::TOKBottomDlg>())
{
    ui->setupUi(this);
    ComboBox1 = ui->ComboBox1;

    // No buttons in the title bar: the dialog is left only through its three actions.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setCancelButton(ui->CancelBtn, CloseBox::Ignored);

    // Desktop-coloured background with white bold texts.
    QPalette window = palette();
    window.setColor(QPalette::Window, kDesktopColour);
    window.setColor(QPalette::WindowText, Qt::white);
    setPalette(window);
    for (QLabel* label : {static_cast<QLabel*>(ui->DBText1), ui->Label2, static_cast<QLabel*>(ui->DBText2), ui->Label1,
                          static_cast<QLabel*>(ui->DBText3), static_cast<QLabel*>(ui->DBText4)}) {
        QFont font = label->font();
        font.setBold(true);
        label->setFont(font);
        label->setPalette(window);
    }
    // The reminder's text: white background, larger bold letters in the active-caption colour.
    QPalette memo = ui->DBMemo1->palette();
    memo.setColor(QPalette::Base, Qt::white);
    memo.setColor(QPalette::Text, kActiveCaptionColour);
    ui->DBMemo1->setPalette(memo);
    QFont memoFont = ui->DBMemo1->font();
    memoFont.setBold(true);
    memoFont.setPointSizeF(memoFont.pointSizeF() * 1.4);
    ui->DBMemo1->setFont(memoFont);
    ui->DBMemo1->setMaxLength(255);

    connectGuarded(ui->OKBtn, &QPushButton::clicked, this, &TOKBottomDlg::OKBtnClick);
    connectGuarded(ui->CancelBtn, &QPushButton::clicked, this, &TOKBottomDlg::CancelBtnClick);
    connectGuarded(ui->BitBtn1, &QPushButton::clicked, this, &TOKBottomDlg::BitBtn1Click);

    // A click on the alert's desktop notification brings the dialog to the front.
    connect(DesktopNotifier::instance(), &DesktopNotifier::activated, this, [this](const QString& name) {
        if (name == kAlertNotice && isVisible())
            bringToFront(this);
    });
}

TOKBottomDlg::~TOKBottomDlg() = default;

void TOKBottomDlg::attachDataSources(TDataModuleReminder* data)
{
    engine::DataSource* source = data ? data->DataSourceTableReminder : nullptr;
    ui->DBText1->setDataSource(source);
    ui->DBText1->setDataField(QStringLiteral("Fecha"));
    ui->DBText2->setDataSource(source);
    ui->DBText2->setDataField(QStringLiteral("Hora"));
    ui->DBMemo1->setDataSource(source);
    ui->DBMemo1->setDataField(QStringLiteral("Recordatorio"));
    ui->DBText3->setDataSource(source);
    ui->DBText3->setDataField(QStringLiteral("RepetirN"));
    ui->DBText4->setDataSource(source);
    ui->DBText4->setDataField(QStringLiteral("RepetirS"));
}

bool TOKBottomDlg::alert(bool repeats)
{
    if (repeats)
        ComboBox1->setEnabled(false);
    DesktopNotifier::instance()->show(kAlertNotice, desktopNotice());
    const auto withdraw = qScopeGuard([] { DesktopNotifier::instance()->withdraw(kAlertNotice); });
    return exec() == QDialog::Accepted;
}

// The reminder's hour and text, with its date when it is not today's (a past day's alert),
// shown by the desktop until the dialog is answered.
DesktopNotifier::Notice TOKBottomDlg::desktopNotice() const
{
    engine::Table* table = DataModuleReminder->TableReminder;
    const QString fecha = table->value(QStringLiteral("Fecha")).toString();
    QString when = table->value(QStringLiteral("Hora")).toString();
    if (fecha != DateText::fecha(Clock::today()))
        when = fecha + QLatin1Char(' ') + when;
    DesktopNotifier::Notice notice;
    notice.summary = QStringLiteral("Recordatorio");
    notice.body = when + QStringLiteral("\n") + table->value(QStringLiteral("Recordatorio")).toString();
    notice.actions = QStringList{QStringLiteral("default"), QStringLiteral("Mostrar")};
    notice.timeoutMs = 0;
    return notice;
}

void TOKBottomDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // A task bar marks the dialog where the window manager keeps it from the front.
    QApplication::alert(this);
    guarded([this] { FormShow(); });
}

void TOKBottomDlg::FormShow()
{
    // A count of zero offers the postponement list; any other count, and a blank one (the
    // records from before repetition existed), shows the repetition line instead.
    const bool line =
        ReminderRepeat::showsRepeatLine(DataModuleReminder->TableReminder->value(QStringLiteral("RepetirN")));
    ui->Label1->setVisible(line);
    ui->DBText3->setVisible(line);
    ui->DBText4->setVisible(line);
    ui->ComboBox1->setVisible(!line);
}

void TOKBottomDlg::OKBtnClick()
{
    // The dialog closes when this handler returns, whatever happens below.
    auto close = qScopeGuard([this] {
        ComboBox1->setEnabled(true);
        finish();
    });
    engine::Table* table = DataModuleReminder->TableReminder;
    table->remove();
    table->flushToDisk();
    DataModuleReminder->remindersChanged();
}

void TOKBottomDlg::BitBtn1Click()
{
    engine::Table* table = DataModuleReminder->TableReminder;
    table->edit();
    table->setValue(QStringLiteral("Leido"), true);
    table->post();
    table->flushToDisk();
    ComboBox1->setEnabled(true);
    finish();
}

void TOKBottomDlg::CancelBtnClick()
{
    engine::Table* table = DataModuleReminder->TableReminder;
    const QDateTime now = Clock::now();
    const int count = ReminderRepeat::count(table->value(QStringLiteral("RepetirN")));

    if (count >= 1) {
        const QDate stored = DateText::parseFecha(table->asString(QStringLiteral("Fecha")));
        const QString unit = table->value(QStringLiteral("RepetirS")).toString();
        const QDate next = AlertDates::nextOccurrence(stored, count, unit, now);
        table->edit();
        table->setValue(QStringLiteral("Fecha"), DateText::fecha(next));
        table->post();
    } else {
        const AlertDates::Postponement moved = AlertDates::postpone(ComboBox1->currentIndex(), now);
        if (!moved.fecha.isValid())
            throw PennaroError(QStringLiteral("Elija un aplazamiento de la lista"));
        table->edit();
        table->setValue(QStringLiteral("Fecha"), DateText::fecha(moved.fecha));
        if (moved.hora.isValid())
            table->setValue(QStringLiteral("Hora"), DateText::hora(moved.hora));
        table->post();
    }
    table->flushToDisk();
    DataModuleReminder->remindersChanged();
    ComboBox1->setEnabled(true);
    finish();
}
