#pragma once

#include "ship/FileCursor.h"

#include <QByteArray>

namespace ship {

// The columns every row of a file carries besides its own offset and bytes.
struct RowSource {
    qint32 fileId = 0;
    QByteArray station;  // UTF-8
    QByteArray fileName; // UTF-8
    QDate day;
};

// The batch's lines as PostgreSQL's binary COPY data for
//     (file_id, station, file_name, generation, file_offset, poll_day, record)
// The record goes in as bytea: the terminal's bytes exactly, whatever their encoding.
QByteArray copyRows(const RowSource &source, const Batch &batch);

} // namespace ship
