#pragma once

#include <QByteArray>
#include <QString>

// Which folder of poll files this is, whatever path or host reaches it: the folder keeps it,
// as ".corvane-folder", one line of 32 hex digits (128 random bits). The store makes it; the
// shipper files the folder's rows under the station that holds it. Made once and never
// replaced, or the folder would become a stranger to its own station.
struct FolderId {
    static QString pathIn(const QString &dir);

    // The folder's id, made first if it has none, and on disk (the folder synced) either way.
    // Empty, with why in error, when it has none and cannot be given one (a read-only folder),
    // or when the one it has cannot be read: that one is never written over.
    static QByteArray ensure(const QString &dir, QString *error = nullptr);
};
