#include "dialogserialparam.h"
#include "ui_dialogserialparam.h"

#include "connectionsettings.h"
#include "settingsstore.h"

#include <QStringList>

namespace {

void selectText(QComboBox* combo, int value)
{
    // No item with that text keeps the current selection.
    const int index = combo->findText(QString::number(value));
    if (index >= 0)
        combo->setCurrentIndex(index);
}

} // namespace

DialogSerialParam::DialogSerialParam(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::DialogSerialParam)
{
    ui->setupUi(this);

    ui->comboBox_BaudRate->addItems({QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                                     QStringLiteral("9600"), QStringLiteral("14400"), QStringLiteral("19200"),
                                     QStringLiteral("38400"), QStringLiteral("57600"), QStringLiteral("115200")});
    ui->comboBox_DataBits->addItems({QStringLiteral("8"), QStringLiteral("9")});
    ui->comboBox_Parity->addItems({QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd")});
    ui->comboBox_StopBits->addItems({QStringLiteral("1"), QStringLiteral("2")});

    loadStored();
}

DialogSerialParam::~DialogSerialParam()
{
    delete ui;
}

void DialogSerialParam::setProgramName(const QString& name)
{
    programName = name;
    loadStored();
}

void DialogSerialParam::loadStored()
{
    const SettingsStore store(programName);
    selectText(ui->comboBox_BaudRate,
               store.value(QLatin1String(ConnectionSettings::keyBaudRate), ConnectionSettings::defaultBaudRate).toInt());
    // Data and stop bits default to 0, which matches no item: the first items
    // ("8", "1") stay selected.
    selectText(ui->comboBox_DataBits, store.value(QLatin1String(ConnectionSettings::keyDataBits), 0).toInt());

    // An index outside the list would blank the combo and Ok would then store
    // -1; such a value keeps the current choice instead.
    const int parity = store.value(QLatin1String(ConnectionSettings::keyParity), 0).toInt();
    if (parity >= 0 && parity < ui->comboBox_Parity->count())
        ui->comboBox_Parity->setCurrentIndex(parity);

    selectText(ui->comboBox_StopBits, store.value(QLatin1String(ConnectionSettings::keyStopBits), 0).toInt());
}

void DialogSerialParam::on_buttonBox_accepted()
{
    {
        SettingsStore store(programName);
        store.setValue(QLatin1String(ConnectionSettings::keyBaudRate), ui->comboBox_BaudRate->currentText().toInt());
        store.setValue(QLatin1String(ConnectionSettings::keyDataBits), ui->comboBox_DataBits->currentText().toInt());
        store.setValue(QLatin1String(ConnectionSettings::keyParity), ui->comboBox_Parity->currentIndex());
        store.setValue(QLatin1String(ConnectionSettings::keyStopBits), ui->comboBox_StopBits->currentText().toInt());
    }
    accept();
}
