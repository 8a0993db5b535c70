#pragma once

#include <QString>

#include <functional>

// Writing what must survive a power cut, not only a killed process: a file's content reaches
// the disk with fsync, but its name (created, renamed, removed) only once its folder is synced.
namespace durable {

// Whether a folder's sync went through; the errno of the call that failed when it did not.
struct Synced {
    int error = 0;
    explicit operator bool() const { return error == 0; }
};

// Forces a folder's entries (names created, renamed, removed) to disk.
Synced syncFolder(const QString &dirPath);

// How far a replacement got; true only when all the way.
struct Replaced {
    // Every reader finds the new content: it was forced to disk and renamed over the old.
    bool inPlace = false;
    // The folder was synced after the rename: a power cut can no longer bring the old back.
    bool synced = false;
    explicit operator bool() const { return inPlace && synced; }
};

// Replaces the file at path at once for every reader: fill writes the new content to a file
// beside it, which is forced to disk and renamed over the old, and the folder is synced so
// that the rename is durable too. Nothing in place, and the old file left, when fill or the
// write fails.
Replaced replaceFile(const QString &path, const std::function<bool(int fd)> &fill);

} // namespace durable
