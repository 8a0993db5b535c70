#include "PortCheck.h"

#include "core/link/Exchange.h"
#include "core/link/PortGuard.h"
#include "core/link/SerialLink.h"
#include "core/state/Dialogs.h"

namespace portcheck {

void reportFailure(Dialogs &dialogs, LinkError code)
{
    const QString &title = kMainTitle;
    switch (code) {
    case LinkError::InvalidPort:
        dialogs.critical(title,
                         QCoreApplication::translate("PortCheck", "Porta COM non disponibile"));
        break;
    case LinkError::DeviceGone:
        dialogs.plain(title, QCoreApplication::translate(
                                 "PortCheck", "Errore sulla porta COM\r\n"
                                              "Terminale scollegato o Driver mancante\r\n"
                                              "Collegare il terminale riaprire la COM dalla "
                                              "finestra principale\r\n"
                                              "Se il problema persiste riavviare completamente "
                                              "il programma\r\n"));
        break;
    default:
        dialogs.critical(title, terminal::portErrorText());
        break;
    }
}

bool checkPortUsable(SerialLink &link, Dialogs &dialogs)
{
    try {
        link.inBufferCount();
        return true;
    } catch (const SerialError &e) {
        reportFailure(dialogs, e.code());
        return false;
    }
}

} // namespace portcheck

bool PortGuard::checkPortUsable()
{
    return portcheck::checkPortUsable(m_link, m_dialogs);
}

bool PortGuard::ensurePortUsable()
{
    if (checkPortUsable())
        return true;
    reportPortUnavailable();
    return false;
}

bool PortGuard::runGuarded(ControlLock &lock, Midway midway, const std::function<void()> &exchange)
{
    try {
        exchange();
        return true;
    } catch (const SerialError &e) {
        switch (midway) {
        case Midway::PortError:
            m_dialogs.critical(kMainTitle, terminal::portErrorText());
            break;
        case Midway::FailureMessage:
            portcheck::reportFailure(m_dialogs, e.code());
            reportPortUnavailable();
            break;
        case Midway::NextCheckTells:
            break;
        }
        lock.unlockControls();
        return false;
    }
}
