#include "PollerStateReporter.h"

#include "core/polling/PollCycle.h"
#include "core/polling/PollStore.h"

#include <QFile>

namespace {

// Records a broken transfer left aside, in an earlier run too: they stay there until a
// transfer is stored.
qint64 recordsIn(const QString &path)
{
    QFile file(path);
    qint64 records = 0;
    if (file.open(QIODevice::ReadOnly)) {
        while (!file.atEnd())
            records += file.read(1 << 20).count('\n');
    }
    return records;
}

} // namespace

PollerStateReporter::PollerStateReporter(PollCycle &cycle, const PollStore &store,
                                         const QString &program,
                                         std::function<void(const QString &)> onWriteFailed)
    : m_store(store), m_file(store.dir().path(), store.terminalName(), program),
      m_onWriteFailed(std::move(onWriteFailed))
{
    m_file.setSetAside(recordsIn(store.setAsidePath()));
    QObject::connect(&cycle, &PollCycle::onLineChanged, &m_context, [this](bool onLine) {
        wrote(m_file.setState(onLine ? PollerState::kPolling : PollerState::kTerminalSilent));
    });
    QObject::connect(&cycle, &PollCycle::communicationError, &m_context,
                     [this] { wrote(m_file.setState(PollerState::kCommunicationError)); });
    QObject::connect(&cycle, &PollCycle::transferEnded, &m_context,
                     [this](bool stored, qsizetype records) {
                         if (stored)
                             wrote(m_file.setTransferStored(m_store.newRecords(records)));
                     });
    // Records that could not be kept aside leave the copy there was, if any. Those the
    // terminal sent again, stored by an earlier transfer, are not in the copy.
    QObject::connect(&cycle, &PollCycle::transferSetAside, &m_context,
                     [this](bool kept, qsizetype records) {
                         if (kept)
                             wrote(m_file.setSetAside(m_store.newRecords(records)));
                     });
}

void PollerStateReporter::portLost()
{
    wrote(m_file.setState(PollerState::kPortLost));
}

void PollerStateReporter::stopped()
{
    wrote(m_file.stop());
}

void PollerStateReporter::wrote(bool ok)
{
    if (ok || m_failureTold)
        return;
    m_failureTold = true;
    if (m_onWriteFailed)
        m_onWriteFailed(m_file.errorString());
}
