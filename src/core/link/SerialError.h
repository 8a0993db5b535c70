#pragma once

#include <exception>

// The failures of the serial link that callers tell apart, numbered as the operator's
// messages expect them.
enum class LinkError : int {
    None = 0,
    InvalidPort = 8002, // the port does not exist
    NotOpen = 8012,     // the device is not open
    DeviceGone = 8021,  // the device went away under an open port
    Other = -1,
};

// Thrown by SerialLink operations, so that an exchange that loses its port midway ends at
// once instead of carrying on with half-read data.
class SerialError : public std::exception {
public:
    explicit SerialError(LinkError code) : m_code(code) {}
    LinkError code() const { return m_code; }
    const char *what() const noexcept override { return "serial link failure"; }

private:
    LinkError m_code;
};
