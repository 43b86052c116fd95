// The stored connection settings as a hand, another tool or a damaged disk
// may leave them: the settings file is arbitrary text, or lines for the keys
// the library reads with any spelling and any value. Whatever it holds, the
// values read back are ones the widgets and the port can take, and a value
// the program writes is the value it then reads.

#include "connectionsettings.h"
#include "fuzzcheck.h"
#include "settingsstore.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>

namespace {

QTemporaryDir* home = nullptr;

const char* const kKeys[] = { "LastDeviceID", "TCPClient/IP", "TCPClient/Port", "serial/baudrate",
                              "serial/databit", "serial/parity", "serial/stopbit" };

std::string valueFrom(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange<int>(0, 4)) {
    case 0:
        return std::to_string(in.ConsumeIntegral<int64_t>());
    case 1:
        return std::to_string(in.ConsumeIntegralInRange<int>(-20, 70000));
    case 2:
        return "@Variant(" + in.ConsumeRandomLengthString(24) + ")";
    case 3:
        return "\"" + in.ConsumeRandomLengthString(24) + "\"";
    default:
        return in.ConsumeRandomLengthString(24);
    }
}

// Lines for the known keys, with their case changed at random, in or out of
// their sections.
QByteArray settingsText(FuzzedDataProvider& in)
{
    std::string text;
    while (in.remaining_bytes() > 0) {
        std::string key = in.PickValueInArray(kKeys);
        for (char& c : key) {
            if (in.ConsumeBool())
                c = char(std::toupper(c));
            else if (in.ConsumeBool())
                c = char(std::tolower(c));
        }
        const size_t slash = key.find('/');
        if (slash != std::string::npos && in.ConsumeBool()) {
            text += "[" + key.substr(0, slash) + "]\n";
            key = key.substr(slash + 1);
        } else if (in.ConsumeBool()) {
            text += "[General]\n";
        }
        text += key + "=" + valueFrom(in) + "\n";
    }
    return QByteArray(text.data(), int(text.size()));
}

bool isParity(QSerialPort::Parity p)
{
    return p == QSerialPort::NoParity || p == QSerialPort::EvenParity || p == QSerialPort::OddParity;
}

void checkRead(const SettingsStore& store)
{
    using namespace ConnectionSettings;
    const int id = storedDeviceId(store);
    FUZZ_CHECK(id >= 0 && id <= maxDeviceId);
    const QString portText = storedTcpPortText(store);
    const int port = tcpPortFromEdit(portText);
    FUZZ_CHECK(port >= 0 && port <= maxTcpPort && QString::number(port) == portText);
    storedTcpIp(store);

    const SerialLine line = storedSerialLine(store);
    FUZZ_CHECK(isParity(portParity(line.parity)));
    const int dataBits = portDataBits(line.dataBits);
    FUZZ_CHECK(dataBits == line.dataBits || dataBits == QSerialPort::UnknownDataBits);
    const int stopBits = portStopBits(line.stopBits);
    FUZZ_CHECK(stopBits == line.stopBits || stopBits == QSerialPort::UnknownStopBits);
    FUZZ_CHECK(parameterSummary(QStringLiteral("COM3"), line, id).endsWith(QString::number(id)));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    home = new QTemporaryDir;
    // Settings go to the temporary folder, never to the user's own.
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(home->path()).constData(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int run = 0;
    FuzzedDataProvider in(data, size);
    // A new name each time: the settings layer caches files by name.
    const QString application = QStringLiteral("fuzz%1").arg(++run);
    const QString folder = home->filePath(QString::fromLatin1(SettingsStore::organisation));
    QDir().mkpath(folder);
    const QString path = folder + QLatin1Char('/') + application + QStringLiteral(".conf");

    const int typedId = in.ConsumeIntegralInRange<int>(-5, 70000);
    const std::string typed = in.ConsumeRandomLengthString(12);
    QByteArray text;
    if (in.ConsumeBool()) {
        const std::string raw = in.ConsumeRemainingBytesAsString();
        text = QByteArray(raw.data(), int(raw.size()));
    } else {
        text = settingsText(in);
    }
    {
        QFile file(path);
        FUZZ_CHECK(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }

    {
        SettingsStore store(application);
        checkRead(store);
        const int stored = ConnectionSettings::storedDeviceId(store);
        const int fromEdit = ConnectionSettings::deviceIdFromEdit(QString::fromStdString(typed), stored);
        FUZZ_CHECK(fromEdit == stored || (fromEdit >= 0 && fromEdit <= ConnectionSettings::maxDeviceId));

        // What the program writes over whatever was there, it reads back.
        store.setValue(QLatin1String(ConnectionSettings::keyLastDeviceId), typedId);
        const bool inRange = typedId >= 0 && typedId <= ConnectionSettings::maxDeviceId;
        FUZZ_CHECK(ConnectionSettings::storedDeviceId(store) == (inRange ? typedId : 0));
        store.setValue(QLatin1String(ConnectionSettings::keyParity), 2);
        FUZZ_CHECK(ConnectionSettings::storedSerialLine(store).parity == 2);
        store.sync();
        checkRead(store);
    }
    QFile::remove(path);
    return 0;
}
