#include "dialogserialparam.h"
#include "modalanswerer.h"
#include "settingsstore.h"
#include "testsettings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtTest>

namespace {

const QString program = QStringLiteral("KELDORA_NODE");
const char* const keys[] = {"serial/baudrate", "serial/databit", "serial/parity", "serial/stopbit"};

QComboBox* combo(DialogSerialParam& d, const char* name)
{
    return d.findChild<QComboBox*>(QLatin1String(name));
}

QStringList items(QComboBox* c)
{
    QStringList out;
    for (int i = 0; i < c->count(); ++i)
        out << c->itemText(i);
    return out;
}

// What the four lists show: baud text, data-bits text, parity text, stop-bits text.
QStringList shown(DialogSerialParam& d)
{
    return {combo(d, "comboBox_BaudRate")->currentText(), combo(d, "comboBox_DataBits")->currentText(),
            combo(d, "comboBox_Parity")->currentText(), combo(d, "comboBox_StopBits")->currentText()};
}

// The four stored values as ints, "-" where nothing is stored.
QStringList stored()
{
    SettingsStore store(program);
    QStringList out;
    for (const char* key : keys)
        out << (store.contains(key) ? QString::number(store.value(key).toInt()) : QStringLiteral("-"));
    return out;
}

void store(const QVariantList& values)
{
    SettingsStore s(program);
    for (int i = 0; i < 4; ++i)
        if (values.at(i).isValid())
            s.setValue(keys[i], values.at(i));
}

void pressOk(DialogSerialParam& d)
{
    QTest::mouseClick(d.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok), Qt::LeftButton);
}

void pressCancel(DialogSerialParam& d)
{
    QTest::mouseClick(d.findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Cancel), Qt::LeftButton);
}

} // namespace

class TestDialogSerialParam : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { TestSettings::isolate(); }
    void init() { TestSettings::clear(); }

    void formCarriesItsNamesAndLists();
    void loadsStoredValues_data();
    void loadsStoredValues();
    void okStoresTheChoice_data();
    void okStoresTheChoice();
    void cancelAfterChangingEveryListStoresNothing();
    void escapeStoresNothing();
    void valuesAreStoredBeforeExecReturns();
    void constructorLoadsUnderTheEmptyName();
};

void TestDialogSerialParam::formCarriesItsNamesAndLists()
{
    DialogSerialParam d(nullptr);
    QCOMPARE(d.objectName(), QStringLiteral("DialogSerialParam"));
    QCOMPARE(d.windowTitle(), QStringLiteral("Serial Parameters"));
    QCOMPARE(d.size(), QSize(191, 313));

    auto* vertical = d.findChild<QVBoxLayout*>("verticalLayout");
    QVERIFY(vertical);
    QCOMPARE(d.layout(), static_cast<QLayout*>(vertical));
    const struct {
        const char* layout;
        const char* label;
        const char* text;
        const char* combo;
    } rows[] = {
        {"horizontalLayout", "label", "BaudRate:", "comboBox_BaudRate"},
        {"horizontalLayout_2", "label_2", "Data Bits:", "comboBox_DataBits"},
        {"horizontalLayout_3", "label_3", "Parity:", "comboBox_Parity"},
        {"horizontalLayout_4", "label_4", "Stop Bits:", "comboBox_StopBits"},
    };
    for (int i = 0; i < 4; ++i) {
        auto* h = d.findChild<QHBoxLayout*>(rows[i].layout);
        QVERIFY2(h, rows[i].layout);
        QCOMPARE(vertical->itemAt(i)->layout(), static_cast<QLayout*>(h));
        auto* label = qobject_cast<QLabel*>(h->itemAt(0)->widget());
        QVERIFY(label);
        QCOMPARE(label->objectName(), QString::fromLatin1(rows[i].label));
        QCOMPARE(label->text(), QString::fromLatin1(rows[i].text));
        auto* c = qobject_cast<QComboBox*>(h->itemAt(1)->widget());
        QVERIFY(c);
        QCOMPARE(c->objectName(), QString::fromLatin1(rows[i].combo));
        QVERIFY(!c->isEditable());
    }
    auto* box = d.findChild<QDialogButtonBox*>("buttonBox");
    QVERIFY(box);
    QCOMPARE(vertical->itemAt(4)->widget(), static_cast<QWidget*>(box));
    QCOMPARE(box->orientation(), Qt::Horizontal);
    QCOMPARE(box->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    QCOMPARE(items(combo(d, "comboBox_BaudRate")),
             QStringList({"1200", "2400", "4800", "9600", "14400", "19200", "38400", "57600", "115200"}));
    QCOMPARE(items(combo(d, "comboBox_DataBits")), QStringList({"8", "9"}));
    QCOMPARE(items(combo(d, "comboBox_Parity")), QStringList({"None", "Even", "Odd"}));
    QCOMPARE(items(combo(d, "comboBox_StopBits")), QStringList({"1", "2"}));
}

void TestDialogSerialParam::loadsStoredValues_data()
{
    QTest::addColumn<QVariantList>("values"); // baud, data bits, parity, stop bits; invalid = not stored
    QTest::addColumn<QStringList>("expected");

    const QVariant none;
    QTest::newRow("nothing stored") << QVariantList{none, none, none, none} << QStringList{"9600", "8", "None", "1"};
    QTest::newRow("19200 baud") << QVariantList{19200, none, none, none} << QStringList{"19200", "8", "None", "1"};
    QTest::newRow("all stored") << QVariantList{115200, 9, 1, 2} << QStringList{"115200", "9", "Even", "2"};
    QTest::newRow("odd parity") << QVariantList{none, none, 2, none} << QStringList{"9600", "8", "Odd", "1"};
    QTest::newRow("baud not in list") << QVariantList{12345, none, none, none} << QStringList{"9600", "8", "None", "1"};
    QTest::newRow("values as text") << QVariantList{"4800", "9", "1", "2"} << QStringList{"4800", "9", "Even", "2"};
    // The host's reset stores parity as the word "None", which reads as 0.
    QTest::newRow("parity as word") << QVariantList{57600, none, "None", none} << QStringList{"57600", "8", "None", "1"};
    QTest::newRow("parity out of list") << QVariantList{none, none, 7, none} << QStringList{"9600", "8", "None", "1"};
    QTest::newRow("negative parity") << QVariantList{none, none, -1, none} << QStringList{"9600", "8", "None", "1"};
    QTest::newRow("stop bits 3") << QVariantList{none, none, none, 3} << QStringList{"9600", "8", "None", "1"};
    QTest::newRow("data bits 7") << QVariantList{none, 7, none, none} << QStringList{"9600", "8", "None", "1"};
}

void TestDialogSerialParam::loadsStoredValues()
{
    QFETCH(QVariantList, values);
    QFETCH(QStringList, expected);

    store(values);
    DialogSerialParam d(nullptr);
    d.setProgramName(program);
    QCOMPARE(shown(d), expected);
}

void TestDialogSerialParam::okStoresTheChoice_data()
{
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<QStringList>("choose"); // texts to pick, empty = leave
    QTest::addColumn<QStringList>("expected");

    const QVariant none;
    QTest::newRow("nothing stored, Ok") << QVariantList{none, none, none, none} << QStringList{"", "", "", ""}
                                        << QStringList{"9600", "8", "0", "1"};
    QTest::newRow("odd") << QVariantList{none, none, none, none} << QStringList{"", "", "Odd", ""}
                         << QStringList{"9600", "8", "2", "1"};
    QTest::newRow("even") << QVariantList{none, none, none, none} << QStringList{"", "", "Even", ""}
                          << QStringList{"9600", "8", "1", "1"};
    QTest::newRow("nine data bits") << QVariantList{none, none, none, none} << QStringList{"", "9", "", ""}
                                    << QStringList{"9600", "9", "0", "1"};
    QTest::newRow("every list") << QVariantList{none, none, none, none} << QStringList{"1200", "9", "Odd", "2"}
                                << QStringList{"1200", "9", "2", "2"};
    QTest::newRow("stored kept") << QVariantList{38400, 9, 1, 2} << QStringList{"", "", "", ""}
                                 << QStringList{"38400", "9", "1", "2"};
    QTest::newRow("stored parity 7 becomes none") << QVariantList{none, none, 7, none} << QStringList{"", "", "", ""}
                                                  << QStringList{"9600", "8", "0", "1"};
    QTest::newRow("baud not in list stores shown") << QVariantList{12345, none, none, none}
                                                   << QStringList{"", "", "", ""}
                                                   << QStringList{"9600", "8", "0", "1"};
}

void TestDialogSerialParam::okStoresTheChoice()
{
    QFETCH(QVariantList, values);
    QFETCH(QStringList, choose);
    QFETCH(QStringList, expected);

    store(values);
    DialogSerialParam d(nullptr);
    d.setProgramName(program);
    const char* names[] = {"comboBox_BaudRate", "comboBox_DataBits", "comboBox_Parity", "comboBox_StopBits"};
    for (int i = 0; i < 4; ++i) {
        if (!choose.at(i).isEmpty()) {
            const int index = combo(d, names[i])->findText(choose.at(i));
            QVERIFY(index >= 0);
            combo(d, names[i])->setCurrentIndex(index);
        }
    }
    d.show();
    pressOk(d);
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QVERIFY(!d.isVisible());
    QCOMPARE(stored(), expected);
}

void TestDialogSerialParam::cancelAfterChangingEveryListStoresNothing()
{
    for (bool storedBefore : {false, true}) {
        TestSettings::clear();
        if (storedBefore)
            store({19200, 8, 1, 1});
        const QStringList before = stored();

        DialogSerialParam d(nullptr);
        d.setProgramName(program);
        combo(d, "comboBox_BaudRate")->setCurrentIndex(0);
        combo(d, "comboBox_DataBits")->setCurrentIndex(1);
        combo(d, "comboBox_Parity")->setCurrentIndex(2);
        combo(d, "comboBox_StopBits")->setCurrentIndex(1);
        QCOMPARE(shown(d), QStringList({"1200", "9", "Odd", "2"}));
        d.show();
        pressCancel(d);
        QCOMPARE(d.result(), int(QDialog::Rejected));
        QCOMPARE(stored(), before);
    }
}

void TestDialogSerialParam::escapeStoresNothing()
{
    DialogSerialParam d(nullptr);
    d.setProgramName(program);
    combo(d, "comboBox_Parity")->setCurrentIndex(1);
    d.show();
    QVERIFY(QTest::qWaitForWindowExposed(&d));
    QTest::keyClick(&d, Qt::Key_Escape);
    QCOMPARE(d.result(), int(QDialog::Rejected));
    QCOMPARE(stored(), QStringList({"-", "-", "-", "-"}));
}

void TestDialogSerialParam::valuesAreStoredBeforeExecReturns()
{
    DialogSerialParam d(nullptr);
    d.setProgramName(program);
    combo(d, "comboBox_BaudRate")->setCurrentIndex(combo(d, "comboBox_BaudRate")->findText("57600"));

    ModalAnswerer answerer;
    answerer.setCustomHandler([](QWidget* modal) {
        auto* dialog = qobject_cast<DialogSerialParam*>(modal);
        if (!dialog)
            return false;
        dialog->findChild<QDialogButtonBox*>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        return true;
    });
    const int result = d.exec();
    const QStringList afterExec = stored();
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(afterExec, QStringList({"57600", "8", "0", "1"}));
}

void TestDialogSerialParam::constructorLoadsUnderTheEmptyName()
{
    // Before the program name is given the dialog reads the settings of the
    // empty application name; the program's own values then load over them.
    {
        SettingsStore unnamed{QString()};
        unnamed.setValue("serial/baudrate", 4800);
        unnamed.setValue("serial/parity", 1);
    }
    store({12345, QVariant(), 2, QVariant()});
    DialogSerialParam d(nullptr);
    QCOMPARE(shown(d), QStringList({"4800", "8", "Even", "1"}));
    d.setProgramName(program);
    QCOMPARE(shown(d), QStringList({"4800", "8", "Odd", "1"}));
}

QTEST_MAIN(TestDialogSerialParam)
#include "tst_dialogserialparam.moc"
