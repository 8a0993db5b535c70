#pragma once

#include "SerialError.h"

#include <functional>

class ControlLock;
class Dialogs;
class PortGuard;
class SerialLink;

namespace portcheck {

// The message for a port failure, titled "Corvane" wherever the check runs.
void reportFailure(Dialogs &dialogs, LinkError code);

// Asks the port for its waiting byte count; on failure tells the operator why and returns
// false. Changes nothing else: recovering (picking the port again) is up to the operator.
bool checkPortUsable(SerialLink &link, Dialogs &dialogs);

// Runs one exchange of a screen opened over the main window. A port that fails midway ends
// it: the operator is told why, the main window marks the port unavailable, the screen is
// unlocked.
void runGuarded(Dialogs &dialogs, PortGuard &port, ControlLock &lock,
                const std::function<void()> &exchange);

} // namespace portcheck
