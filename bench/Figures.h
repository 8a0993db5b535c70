#pragma once

#include <QString>

// The benchmark's one table (figure, measured, target, met), printed at the end.
void below(const QString &name, double measured, const QString &unit, double limit);
void reportOnly(const QString &name, double measured, const QString &unit);
// A figure that could not be measured: a failure, with the reason.
void missing(const QString &name, const QString &why);
