#pragma once

#include <QString>
#include <QTest>

#include <array>

// Declares a data function's columns and returns what adds a row to them:
//     const auto row = table<QByteArray, int>({"reply", "delayMs"});
//     row("plain", "ABC\r", 0);
template <typename... T> auto table(const std::array<const char *, sizeof...(T)> &columns)
{
    std::size_t i = 0;
    (QTest::addColumn<T>(columns[i++]), ...);
    return [](const QString &name, const T &...values) {
        (QTest::newRow(qPrintable(name)) << ... << values);
    };
}
