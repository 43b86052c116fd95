#pragma once

#include "tessarin_export.h"

#include <QDialog>
#include <QString>

namespace Ui {
class DialogSerialParam;
}

// The line parameters of the RS-485 COM port, as stored; Ok stores the
// choice, which the next connect in "RS485 COM" picks up.
class TESSARIN_EXPORT DialogSerialParam : public QDialog
{
    Q_OBJECT
public:
    explicit DialogSerialParam(QWidget* parent = nullptr);
    ~DialogSerialParam() override;

    void setProgramName(const QString& name);

private slots:
    void on_buttonBox_accepted();

private:
    void loadStored();

    QString programName;
    Ui::DialogSerialParam* ui;
};
