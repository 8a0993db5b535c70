#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// Cuts the bytes of a transfer into record lines as they arrive: CR ends a record, LF is
// dropped, every other byte is kept as it is. What follows the last CR waits in fragment().
class RecordSplitter {
public:
    using Sink = std::function<void(const QByteArray &record)>;

    void feed(QByteArrayView bytes, const Sink &record);
    const QByteArray &fragment() const { return m_line; }

private:
    QByteArray m_line;
};
