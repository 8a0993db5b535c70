#pragma once

#include <QDir>

#include <optional>

// The remembered port: the file "portacom" in the working directory, one line holding the
// port number in decimal followed by CR LF.
namespace portchoice {

inline constexpr const char *kFileName = "portacom";

// The file's first value, or nothing when the file is missing, empty or holds no number that
// fits a 16-bit integer. Values out of the 1..16 range are returned as they are.
std::optional<int> read(const QDir &dir);

// Replaces the file with "<portNumber>" CR LF. False when it could not be written.
bool write(const QDir &dir, int portNumber);

// Start-up: the stored port; when none can be read, the file is made anew holding
// currentPortNumber and 1 is returned.
int load(const QDir &dir, int currentPortNumber);

} // namespace portchoice
