#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>

// A file's bytes, or "<missing>" when it cannot be read.
inline QByteArray fileBytes(const QDir &dir, const QString &name)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

inline bool writeBytes(const QDir &dir, const QString &name, const QByteArray &bytes)
{
    QFile f(dir.filePath(name));
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// A program the test runs (a poller, a shipper, a socat), ended with the test process however
// that ends, a crash or a timeout's SIGKILL included: none may live on to hold a device or a
// folder a later test takes.
struct ChildProcess : QProcess {
    static void endWithParent() { prctl(PR_SET_PDEATHSIG, SIGKILL); }
    ChildProcess() { setChildProcessModifier(endWithParent); }
};

// A fresh working folder, removed with everything in it afterwards.
struct WorkDir {
    QTemporaryDir temp;
    QDir dir{temp.path()};

    bool write(const QString &name, const QByteArray &bytes) const
    {
        return writeBytes(dir, name, bytes);
    }
    QByteArray read(const QString &name) const { return fileBytes(dir, name); }
    // Every poll file's bytes, oldest first (a run across midnight writes two), without
    // assuming which day it is.
    QByteArray pollFiles() const
    {
        return readAll(dir.entryList({"*.pol"}, QDir::Files, QDir::Time | QDir::Reversed));
    }
    // What broken transfers left aside (".<terminal>.unfinished"), empty when nothing.
    QByteArray setAside() const
    {
        return readAll(dir.entryList({".*.unfinished"}, QDir::Files | QDir::Hidden));
    }
    QByteArray readAll(const QStringList &names) const
    {
        QByteArray all;
        for (const QString &name : names)
            all += read(name);
        return all;
    }
};

// From now on no file of this process may grow past `bytes`: writes beyond fail as on a full
// disk. Plain system calls, so a child process may call it between fork and exec.
inline bool limitFileSize(rlim_t bytes)
{
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    return setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

// limitFileSize until the returned guard goes.
inline auto fileSizeLimit(rlim_t bytes)
{
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    limitFileSize(bytes);
    return qScopeGuard([old] { setrlimit(RLIMIT_FSIZE, &old); });
}
