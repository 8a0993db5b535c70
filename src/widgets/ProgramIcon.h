#pragma once

#include <QIcon>

// The program's icon at every size it is drawn in, for its window frames and task bar.
QIcon programIcon();
