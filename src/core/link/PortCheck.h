#pragma once

#include "core/link/SerialError.h"

class Dialogs;
class SerialLink;

namespace portcheck {

// The message for a port failure, titled "Corvane" wherever the check runs.
void reportFailure(Dialogs &dialogs, LinkError code);

// Asks the port for its waiting byte count; on failure tells the operator why and returns
// false. Changes nothing else: recovering (picking the port again) is up to the operator.
bool checkPortUsable(SerialLink &link, Dialogs &dialogs);

} // namespace portcheck
