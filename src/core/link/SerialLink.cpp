#include "SerialLink.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace {

constexpr int kWriteTimeoutMs = 1000;
constexpr int kPresenceCheckIntervalMs = 100;

struct LineSettings {
    qint32 baud = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// "9600,n,8,1" -> its parts; anything else is refused rather than half applied.
LineSettings parseSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        throw SerialError(LinkError::Other);
    LineSettings s;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        throw SerialError(LinkError::Other);
    const QString parity = parts[1].trimmed().toLower();
    if (parity == QLatin1String("n"))
        s.parity = QSerialPort::NoParity;
    else if (parity == QLatin1String("e"))
        s.parity = QSerialPort::EvenParity;
    else if (parity == QLatin1String("o"))
        s.parity = QSerialPort::OddParity;
    else
        throw SerialError(LinkError::Other);
    const int bits = parts[2].trimmed().toInt(&ok);
    if (!ok || bits < 5 || bits > 8)
        throw SerialError(LinkError::Other);
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    const QString stop = parts[3].trimmed();
    if (stop == QLatin1String("1"))
        s.stopBits = QSerialPort::OneStop;
    else if (stop == QLatin1String("2"))
        s.stopBits = QSerialPort::TwoStop;
    else
        throw SerialError(LinkError::Other);
    return s;
}

} // namespace

SerialLink::SerialLink(QDir workingDir, QObject *parent)
    : QObject(parent), m_workingDir(std::move(workingDir))
{
    // Qt reports a vanished device again and again while an event loop runs; the first report
    // is all we need, after which the device is released so the storm stops.
    connect(&m_port, &QSerialPort::errorOccurred, this, [this](QSerialPort::SerialPortError e) {
        const bool wasGone = m_gone;
        markGoneIfFatal(e);
        if (m_gone && !wasGone)
            QMetaObject::invokeMethod(this, &SerialLink::releaseDevice, Qt::QueuedConnection);
    });
}

SerialLink::~SerialLink() = default;

QString SerialLink::deviceForPort(int portNumber, const QDir &workingDir)
{
    const QFileInfo link(linkForPort(portNumber, workingDir));
    // A dangling link still names the operator's device: better "not available" than
    // silently opening some other port.
    if (link.exists() || link.isSymLink())
        return link.absoluteFilePath();
    return QStringLiteral("/dev/ttyS%1").arg(portNumber - 1);
}

QString SerialLink::linkForPort(int portNumber, const QDir &workingDir)
{
    return workingDir.absoluteFilePath(QStringLiteral("com%1").arg(portNumber));
}

void SerialLink::setCommPort(int portNumber)
{
    if (m_open)
        throw SerialError(LinkError::Other);
    if (portNumber < 1 || portNumber > 16)
        throw SerialError(LinkError::InvalidPort);
    if (portNumber != m_portNumber)
        m_linkedPort = 0;
    m_portNumber = portNumber;
}

void SerialLink::setSettings(const QString &settings)
{
    parseSettings(settings); // validate now, apply at open
    m_settings = settings;
}

void SerialLink::setInBufferSize(int size)
{
    if (m_open || size <= 0)
        throw SerialError(LinkError::Other);
    // QSerialPort stops reading the device when its buffer is full, it drops nothing: the
    // device's own buffer waits, and a pseudo-terminal holds its writer back. Unbounded, the
    // buffer takes a whole fast transfer during one pause of the event loop.
    m_port.setReadBufferSize(size);
}

void SerialLink::setPortOpen(bool open)
{
    if (!open) {
        if (m_port.isOpen())
            m_port.close();
        m_open = false;
        m_gone = false;
        return;
    }
    if (m_open)
        throw SerialError(LinkError::Other);
    if (m_portNumber < 1 && m_explicitDevice.isEmpty())
        throw SerialError(LinkError::InvalidPort);

    const LineSettings s = parseSettings(m_settings);
    m_devicePath =
        m_explicitDevice.isEmpty() ? deviceForPort(m_portNumber, m_workingDir) : m_explicitDevice;
    // A port once reached through its link stays that link: gone, it is waited for as a
    // pulled adapter, never swapped for /dev/ttyS<n-1>, another device whose terminal the
    // next clear would wipe.
    const QString link = linkForPort(m_portNumber, m_workingDir);
    if (m_explicitDevice.isEmpty()) {
        if (m_devicePath == link)
            m_linkedPort = m_portNumber;
        else if (m_linkedPort == m_portNumber)
            m_devicePath = link;
    }
    m_openError.clear();
    m_holder.reset();
    if (!QFileInfo::exists(m_devicePath)) {
        m_openError = QStringLiteral("No such file or directory");
        throw SerialError(LinkError::InvalidPort);
    }
    // The device itself, not the name it was reached by: its lock file and exclusive mode
    // then keep out every other name of it (comN links, /dev/serial/by-id), root included,
    // and the lock has the name other serial programs look for.
    const QString device = QFileInfo(m_devicePath).canonicalFilePath();
    m_port.setPortName(device);
    m_port.setBaudRate(s.baud);
    m_port.setParity(s.parity);
    m_port.setDataBits(s.dataBits);
    m_port.setStopBits(s.stopBits);
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    m_gone = false;
    m_presenceChecked.invalidate();
    if (!m_port.open(QIODevice::ReadWrite)) {
        const auto error = m_port.error();
        m_openError = m_port.errorString();
        m_port.clearError();
        if (error != QSerialPort::DeviceNotFoundError)
            m_holder = PortHolder::find(device);
        throw SerialError(error == QSerialPort::DeviceNotFoundError ? LinkError::InvalidPort
                                                                    : LinkError::Other);
    }
    // Whatever the device side held before we opened is not an answer to anything of ours.
    m_port.clear(QSerialPort::Input);
    m_open = true;
}

void SerialLink::releaseDevice()
{
    if (m_gone && m_port.isOpen())
        m_port.close();
}

void SerialLink::markGoneIfFatal(QSerialPort::SerialPortError error)
{
    if (error == QSerialPort::ReadError || error == QSerialPort::ResourceError ||
        error == QSerialPort::WriteError)
        m_gone = true;
}

void SerialLink::ensureUsable()
{
    if (!m_open)
        throw SerialError(LinkError::NotOpen);
    // A pulled USB adapter takes its device node with it. Looking once in a while is enough:
    // this runs for every character of a transfer.
    if (!m_gone &&
        (!m_presenceChecked.isValid() || m_presenceChecked.elapsed() >= kPresenceCheckIntervalMs)) {
        m_presenceChecked.start();
        if (!QFileInfo::exists(m_devicePath))
            m_gone = true;
    }
    if (m_gone) {
        releaseDevice();
        throw SerialError(LinkError::DeviceGone);
    }
}

void SerialLink::pollDevice(int timeoutMs)
{
    m_port.waitForReadyRead(timeoutMs);
    const auto error = m_port.error();
    if (error == QSerialPort::NoError)
        return;
    m_port.clearError();
    markGoneIfFatal(error);
    if (m_gone) {
        releaseDevice();
        throw SerialError(LinkError::DeviceGone);
    }
    // A wait that simply timed out is not a failure.
    if (error != QSerialPort::TimeoutError)
        throw SerialError(LinkError::Other);
}

int SerialLink::inBufferCount()
{
    ensureUsable();
    pollDevice(0);
    return static_cast<int>(m_port.bytesAvailable());
}

QByteArray SerialLink::input()
{
    ensureUsable();
    if (m_inputLen <= 0 || m_port.bytesAvailable() < m_inputLen)
        pollDevice(0);
    const qint64 available = m_port.bytesAvailable();
    const qint64 wanted = m_inputLen <= 0 ? available : qMin<qint64>(m_inputLen, available);
    return m_port.read(wanted);
}

bool SerialLink::waitForInput(int timeoutMs)
{
    ensureUsable();
    if (m_port.bytesAvailable() > 0)
        return true;
    QElapsedTimer clock;
    clock.start();
    pollDevice(0);
    while (m_port.bytesAvailable() == 0) {
        const qint64 remaining = timeoutMs - clock.elapsed();
        if (remaining <= 0)
            return false;
        pollDevice(static_cast<int>(remaining));
    }
    return true;
}

void SerialLink::output(const QByteArray &bytes)
{
    ensureUsable();
    if (bytes.isEmpty())
        return;
    if (m_port.write(bytes) != bytes.size()) {
        const auto error = m_port.error();
        m_port.clearError();
        markGoneIfFatal(error);
        throw SerialError(m_gone ? LinkError::DeviceGone : LinkError::Other);
    }
    // Put the bytes on the line now: the pacing between writes is part of the protocol.
    QElapsedTimer clock;
    clock.start();
    while (m_port.bytesToWrite() > 0) {
        const qint64 remaining = kWriteTimeoutMs - clock.elapsed();
        if (remaining <= 0 || !m_port.waitForBytesWritten(static_cast<int>(remaining))) {
            const auto error = m_port.error();
            m_port.clearError();
            markGoneIfFatal(error);
            if (m_gone) {
                releaseDevice();
                throw SerialError(LinkError::DeviceGone);
            }
            if (m_port.bytesToWrite() > 0)
                throw SerialError(LinkError::Other);
        }
    }
}
