#pragma once

#include "core/link/PortHolder.h"
#include "core/link/SerialError.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QObject>
#include <QSerialPort>
#include <QString>

// The one serial port of the program. Its operations follow the classic comm-control
// vocabulary the rest of the code is written against (CommPort, Settings, PortOpen,
// InBufferCount, InputLen, Input, Output); every failure throws SerialError.
//
// QSerialPort only moves bytes when it is given the chance, so the reads here poll the
// device themselves and Output pushes its bytes to the device before returning: callers can
// rely on "InBufferCount sees everything that has arrived" and "Output is on the line"
// without an event loop running.
class SerialLink : public QObject {
    Q_OBJECT
public:
    explicit SerialLink(QDir workingDir = QDir::current(), QObject *parent = nullptr);
    ~SerialLink() override;

    // Port number to device name: "COMn" on Windows; elsewhere the file comN in the working
    // directory when it exists (a link the operator makes to the real device), else
    // /dev/ttyS<n-1>.
    static QString deviceForPort(int portNumber, const QDir &workingDir);
    // The file comN in the working directory, whether it exists or not.
    static QString linkForPort(int portNumber, const QDir &workingDir);

    void setCommPort(int portNumber);
    // A device to open instead of the port number's (the headless poller's --device).
    void setDevicePath(const QString &path) { m_explicitDevice = path; }
    QString devicePath() const { return m_devicePath; }
    // Why the last open failed, in the system's words.
    QString openErrorText() const { return m_openError; }
    // Who held the device when the last open was refused, when that can be known.
    const std::optional<PortHolder> &holder() const { return m_holder; }
    // Only "baud,parity,data,stop" with parity n/e/o; anything else throws LinkError::Other.
    void setSettings(const QString &settings);
    void setInBufferSize(int size);

    // Opening reports a missing device as InvalidPort, anything else as Other.
    void setPortOpen(bool open);
    // True from a successful open until it is closed, also after the device went away (the
    // port is still "open" from the program's point of view until it is closed or reopened).
    bool portOpen() const { return m_open; }

    int inBufferCount();
    void setInputLen(int len) { m_inputLen = len; }
    QByteArray input();
    void output(const QByteArray &bytes);

    // Blocks until at least one byte is waiting or timeoutMs has passed; true when a byte is
    // waiting. Sleeps in the kernel meanwhile.
    bool waitForInput(int timeoutMs);

private:
    void ensureUsable();
    void pollDevice(int timeoutMs);
    void markGoneIfFatal(QSerialPort::SerialPortError error);
    void releaseDevice();

    QDir m_workingDir;
    QSerialPort m_port;
    QString m_devicePath;
    QString m_explicitDevice;
    QString m_openError;
    std::optional<PortHolder> m_holder;
    QString m_settings = QStringLiteral("9600,n,8,1");
    int m_portNumber = 0;
    int m_linkedPort = 0; // the port number last reached through its comN link
    int m_inputLen = 0;
    bool m_open = false;
    bool m_gone = false;
    QElapsedTimer m_presenceChecked;
};
