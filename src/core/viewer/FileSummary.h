#pragma once

#include <QString>

// The viewer's one-line caption for a file of the given name and length. A name ending in
// "pol" (exactly, lower case) is a poll file named after its day; any other name is read as
// a time-stamped download, MMDDhhmm.Sss. Names too short for their form give shorter texts.
QString fileSummary(const QString &name, qint64 length);
