# The faults scripts/mutate plants, one at a time. Each is
#   (id, file, old, new, test executables expected to catch it, what the fault is)
# `old` must occur in `file` (relative to the repository root) and is replaced once by `new`.
# List every executable that could notice the fault: a missing one hides a kill. tst_crash
# and tst_layout are slow: only for faults about crash safety or layout.

CAT = 'src/programming/ParameterCatalogue.cpp'
CYCLE = 'src/polling/PollCycle.cpp'
EXCH = 'src/link/Exchange.cpp'
VIEW = 'src/viewer/ViewerScreen.cpp'
READER = 'src/viewer/FreeFormatReader.cpp'
CLOCK = 'src/clock/ClockScreen.cpp'
PROG_SCREEN = 'src/programming/ProgrammingScreen.cpp'
POLL_SCREEN = 'src/polling/PollScreen.cpp'
POLLER = 'src/app/poll_main.cpp'
MAIN = 'src/mainwindow/MainWindow.cpp'
LINK = 'src/link/SerialLink.cpp'
MEMORY = 'src/mainwindow/TerminalMemory.cpp'
HOLDER = 'src/link/PortHolder.cpp'
NOTIFIER = 'src/polling/ServiceNotifier.cpp'
SERVICE = ['tst_pollservice']
STORE = 'src/polling/PollStore.cpp'
CURSOR = 'src/ship/FileCursor.cpp'
ROWS = 'src/ship/CopyRows.cpp'
SESSION = 'src/ship/PgSession.cpp'
SHIPPER = 'src/ship/Shipper.cpp'
SHIP = ['tst_ship']

PROG = ['tst_programming', 'tst_faults']
POLL = ['tst_polling', 'tst_faults', 'tst_pollservice']
WINDOW = ['tst_mainwindow', 'tst_faults', 'tst_programming', 'tst_viewer', 'tst_polling']
TALKS = ['tst_link', 'tst_mainwindow', 'tst_programming', 'tst_polling', 'tst_faults', 'tst_pollservice']
VIEWER = ['tst_viewer', 'tst_mainwindow']
CLOCKS = ['tst_programming', 'tst_faults']
PORTS = ['tst_link', 'tst_mainwindow', 'tst_faults', 'tst_programming', 'tst_polling', 'tst_pollservice']


def setting(button, code, wrong):
    """The catalogue entry of a button, sending the wrong code."""
    return (f'.button = "{button}",\n     .code = \'{code}\'',
            f'.button = "{button}",\n     .code = \'{wrong}\'')


MUTANTS = [
    ('M01', CAT, *setting('Command3d4', 'J', 'K'), PROG, '2400 button sends the 4800 byte'),
    ('M02', CAT, *setting('Command5', '9', ':'), PROG, 'separator ";" sends the TAB byte'),
    ('M03', CAT, *setting('Command3d14', 'U', 'V'), PROG, 'date/time on sends the off byte'),
    ('M04', CAT, *setting('Command20', '8', '6'), PROG, 'restore defaults sends the clear byte'),
    ('M05', CAT, *setting('Command9', '?', '>'), PROG, 'on-line sends the off-line byte'),
    ('M06', CAT, *setting('Command3d9', 'Q', 'R'), PROG, 'quantity 3 sends the quantity 4 byte'),
    ('M07', CAT, *setting('Command2', '2', '1'), PROG, 'terminator CR+LF sends the CR byte'),
    ('M08', CAT, 'ATTENZIONE!!!', 'ATTENZIONE!!', PROG, 'speed warning text'),
    ('M09', CYCLE, 'm_exchange.wake(100)', 'm_exchange.wake(50)', POLL,
     "polling's first wake-up listens 50 ms after the \"0\", not 100"),
    ('M10', CYCLE, 'pause(500);\n    if (!m_exchange.wakeTerminal())',
     'pause(250);\n    if (!m_exchange.wakeTerminal())', POLL,
     'pause before the transfer 500 -> 250 ms'),
    ('M11', CYCLE, 'pause(1000);', 'pause(500);', POLL,
     'pause before the clear 1000 -> 500 ms'),
    ('M12', EXCH, 'm_link.output(" ");\n    pauseMs(100);', 'm_link.output(" ");\n    pauseMs(50);',
     TALKS, 'wake-up pause between " " and "0" 100 -> 50 ms'),
    ('M13', EXCH, "sendCommand('?', 200);", "sendCommand('?', 100);", TALKS,
     'status query pause 200 -> 100 ms'),
    ('M14', CYCLE, 'if (!m_store.commit())\n        m_transferStored = false;',
     'if (false)\n        m_transferStored = false;', POLL, 'a failed sync does not stop the clear'),
    ('M15', CYCLE, 'if (!line.isEmpty() && end != Exchange::Wait::Abandoned)', 'if (false)', POLL,
     'the unterminated tail record is not stored'),
    ('M16', 'src/polling/RecordSplitter.cpp', 'if (*p++ == terminal::kCr)',
     'if (*p++ == terminal::kLf)', POLL, 'records split at LF instead of CR'),
    ('M17', 'src/polling/PollStore.cpp', 'm_pending.append(record).append("\\r\\n", 2);',
     'm_pending.append(record).append("\\n", 1);', POLL, 'records stored with LF only'),
    ('M18', 'src/polling/PollStore.cpp', '"dd-MM-yy"', '"MM-dd-yy"',
     ['tst_polling', 'tst_pollservice', 'tst_viewer'],
     'poll file named month first'),
    ('M19', VIEW, 'if (!m_dialogs.question(QStringLiteral(" Corvane"),',
     'if (!m_dialogs.question(QStringLiteral("Corvane"),', VIEWER, 'viewer delete question title'),
    ('M20', MAIN, 'const QString kTitle = QStringLiteral("Corvane");',
     'const QString kTitle = QStringLiteral(" Corvane");', WINDOW, 'main window title'),
    ('M21', MAIN, '"Memoria Cancellata"', '"Memoria cancellata"', WINDOW, 'cleared message text'),
    ('M22', 'src/link/TerminalStatus.h', 'return field(17, 21);', 'return field(18, 22);',
     ['tst_link', 'tst_mainwindow', 'tst_polling', 'tst_pollservice'],
     'free memory field offset'),
    ('M23', 'src/link/TerminalStatus.h', 'return field(22, 23);', 'return field(21, 22);',
     ['tst_link', 'tst_mainwindow', 'tst_faults'], 'firmware field offset'),
    ('M24', 'src/link/TerminalStatus.cpp', 'memoryCode() == "6" ? 64000 : 32000',
     'memoryCode() == "6" ? 64000 : 64000', ['tst_link', 'tst_mainwindow', 'tst_polling'],
     'memory size code ignored'),
    ('M25', 'src/link/TerminalStatus.cpp', "(c == 'e' || c == 'E' || c == 'd' || c == 'D')",
     "(c == 'e' || c == 'E')", ['tst_link', 'tst_polling'], 'D exponent not read'),
    ('M26', 'src/link/TerminalStatus.cpp', "if ((c == '+' || c == '-') && atStart)",
     "if (c == '+' && atStart)", ['tst_link', 'tst_polling'], 'minus sign not read'),
    ('M27', 'src/link/TerminalStatus.cpp', "} else if (c == '.' && !point && !exponent) {",
     "} else if (c == '.' && !point && !exponent && false) {",
     ['tst_link', 'tst_polling'], 'decimal point not read'),
    ('M28', LINK, '"/dev/ttyS%1").arg(portNumber - 1)', '"/dev/ttyS%1").arg(portNumber)',
     ['tst_link', 'tst_mainwindow', 'tst_pollservice'], 'COM port to ttyS off by one'),
    ('M29', LINK, 'if (portNumber < 1 || portNumber > 16)', 'if (portNumber < 1 || portNumber > 17)',
     ['tst_link', 'tst_mainwindow'], 'port 17 accepted'),
    ('M30', 'src/clock/TerminalClock.cpp', 'writes << QByteArray(1, char(b));',
     'writes.insert(2, QByteArray(1, char(b)));', CLOCKS, 'clock frame fields in reverse order'),
    ('M31', 'src/clock/TerminalClock.cpp',
     '(digitValue(text.front()) & 0x0F) << 4 | (digitValue(text.back()) & 0x0F)',
     '(digitValue(text.back()) & 0x0F) << 4 | (digitValue(text.front()) & 0x0F)', CLOCKS,
     'clock BCD digits swapped'),
    ('M32', EXCH, '    m_dialogs.critical(m_style.title, terminal::kNoAnswerText);\n'
     '    m_lock.unlockControls();\n}', '    m_dialogs.critical(m_style.title, terminal::kNoAnswerText);\n}',
     TALKS, 'a reply that stops short leaves the screen locked'),
    ('M33', READER, 'while (q < end && *q != kComma && *q != kCr && *q != kLf)',
     'while (q < end && *q != kCr && *q != kLf)', VIEWER, 'viewer items not split at comma'),
    ('M34', 'src/link/PortChoice.cpp', 'write(dir, currentPortNumber);\n    return 1;',
     'write(dir, currentPortNumber);\n    return 0;', ['tst_workingfolder', 'tst_mainwindow'],
     'unreadable portacom gives port 0'),
    ('M35', MAIN, 'e.code() == LinkError::InvalidPort', 'e.code() == LinkError::NotOpen',
     ['tst_mainwindow', 'tst_faults'], 'missing port reported as a port error'),
    ('M36', 'src/state/WorkingFolder.cpp', 'if (home.isEmpty())\n        return {};', '',
     ['tst_workingfolder'], 'no home: folder made in the current one'),
    ('M37', POLL_SCREEN, 'spacedNumber(m_records.size()) + QStringLiteral(" Records")',
     'QString::number(m_records.size()) + QStringLiteral(" Records")', POLL,
     'poll counter caption without the thousands spacing'),
    ('M38', CYCLE, "m_exchange.sendCommand('6', 0);\n    emit clearSent();", 'emit clearSent();', POLL,
     'clear never sent'),
    ('M39', EXCH, 'if (secondWakeUp && !wakeTerminal())', 'if (!wakeTerminal())', PROG,
     'short form wakes the terminal twice'),
    ('M40', 'src/polling/PollStore.cpp',
     'm_pending.append(lineEndMissing(path, size));', '', POLL,
     'torn remains of a killed write not ended'),
    ('M41', CYCLE, 'm_exchange.wake(100)', 'm_exchange.wake(200)', POLL,
     "polling's first wake-up listens 200 ms after the \"0\", not 100"),
    ('M42', MEMORY, "m_exchange.sendCommand('6', 0);", "m_exchange.sendCommand('7', 0);",
     ['tst_mainwindow', 'tst_faults'], 'clear memory sends the transfer command'),
    ('M43', MEMORY, 'if (m_exchange.readCharacter() == terminal::kLf)',
     'if (m_exchange.readCharacter() == terminal::kCr)', ['tst_mainwindow', 'tst_faults'],
     'record count counts CRs'),
    ('M44', MEMORY, '    m_exchange.readCharacter(); // a leading', '    // a leading',
     ['tst_mainwindow', 'tst_faults'], 'leading character counted as data'),
    ('M45', 'src/link/PortCheck.cpp', '            reportPortUnavailable();\n', '',
     ['tst_programming', 'tst_faults', 'tst_mainwindow'],
     'a failure midway does not mark the port unavailable'),
    ('M46', 'src/link/PortCheck.cpp', '        lock.unlockControls();\n        return false;',
     '        return false;', ['tst_programming', 'tst_faults', 'tst_mainwindow', 'tst_polling'],
     'a failure midway leaves the screen locked'),
    ('M48', EXCH, '        m_dialogs.beep();\n        m_dialogs.critical(m_style.title, terminal::kNoAnswerText);',
     '        m_dialogs.critical(m_style.title, terminal::kNoAnswerText);', TALKS,
     'no beep when the terminal does not answer the wake-up'),
    ('M49', MEMORY, '    m_exchange.pauseMs(200);\n    if (!m_exchange.wakeTerminal())\n        return false;',
     '    if (!m_exchange.wakeTerminal())\n        return false;', ['tst_mainwindow', 'tst_faults'],
     'no 200 ms pause before the clear'),
    ('M50', CYCLE, '    case Exchange::Wake::WrongReply:\n        emit communicationError();',
     '    case Exchange::Wake::WrongReply:', POLL, 'a wrong wake-up answer is not reported'),

    # The viewer.
    ('M51', 'src/viewer/FileSummary.cpp',
     "name.mid(2, 2) + QLatin1Char('/') + name.mid(0, 2)",
     "name.mid(0, 2) + QLatin1Char('/') + name.mid(2, 2)", VIEWER,
     'download file summary shows the date the other way round'),
    ('M52', READER, '            } else if (c == kCr || c == kLf) {\n                endItem(sink);\n'
     '                if (c == kCr)\n                    m_state = State::AfterCr;\n            } else {\n'
     '                m_item.append(c);',
     '            } else if (c == kCr || c == kLf || c == kComma) {\n                endItem(sink);\n'
     '                if (c == kCr)\n                    m_state = State::AfterCr;\n            } else {\n'
     '                m_item.append(c);', VIEWER, 'a comma inside quotes splits the item'),
    ('M53', VIEW, '    cancelLoad();\n    m_items.clear();\n    m_count->setText(spacedNumber(0)',
     '    cancelLoad();\n    m_count->setText(spacedNumber(0)', VIEWER,
     'a file over the memory limit shows its first part'),
    ('M54', VIEW, '    if (!m_dialogs.question(QStringLiteral(" Corvane"),',
     '    if (m_dialogs.question(QStringLiteral(" Corvane"),', VIEWER, 'file deleted on No, kept on Yes'),
    ('M55', VIEW, 'QStringLiteral("Record N° ") + spacedNumber(index.row() + 1)',
     'QStringLiteral("Record N° ") + spacedNumber(index.row())', VIEWER,
     'record label counts from 0'),

    # The clock screen.
    ('M56', CLOCK, 'case 2:\n        return day <= 29', 'case 2:\n        return day <= 30', CLOCKS,
     '30 February accepted'),
    ('M57', CLOCK, 'for (Box b : {Day, Month}) {', 'for (Box b : {Day}) {', CLOCKS, 'month 0 accepted'),
    ('M58', CLOCK, 'constexpr int kLimit[] = {31, 12, 23, 59};', 'constexpr int kLimit[] = {31, 12, 24, 59};',
     CLOCKS, 'hour 24 accepted'),
    ('M59', CLOCK, 'setTabOrder(m_boxes[Month], m_boxes[Minutes]);\n    setTabOrder(m_boxes[Minutes], m_boxes[Hours]);',
     'setTabOrder(m_boxes[Month], m_boxes[Hours]);\n    setTabOrder(m_boxes[Hours], m_boxes[Minutes]);',
     CLOCKS, 'tab goes from the month to the hours'),
    ('M60', 'src/clock/TerminalClock.cpp', 'writes << QByteArray("^") << QByteArray(1, terminal::kCr);',
     'writes << QByteArray(1, terminal::kCr);', CLOCKS, 'clock frame sent without its "^"'),

    # The programming screen.
    ('M61', PROG_SCREEN, 'if (m_state.dialogs.question(m_exchange.style().title, questionText(value)) &&\n'
     '            m_exchange.sendSetting(sendCode, fullForm))',
     'if (m_exchange.sendSetting(sendCode, fullForm) &&\n'
     '            m_state.dialogs.question(m_exchange.style().title, questionText(value)))', PROG,
     'value sent before the question'),
    ('M62', PROG_SCREEN, 'if (m_state.dialogs.question(m_exchange.style().title, questionText(value)) &&',
     'if ((m_state.dialogs.question(m_exchange.style().title, questionText(value)) || true) &&', PROG,
     'value sent on No too'),
    ('M63', PROG_SCREEN, 'm_lockable << restore << exit << clockButton;', 'm_lockable << restore << exit;',
     PROG, 'clock button usable during an exchange'),
    ('M64', PROG_SCREEN, '            applyIndicators(indicatorUpdate(value));\n        unlockControls();',
     '            applyIndicators(indicatorUpdate(value));', PROG, 'screen stays locked after a value'),

    # The polling screen and cycle.
    ('M65', POLL_SCREEN, '{static_cast<QWidget *>(m_ui->List1), static_cast<QWidget *>(m_ui->Command2),',
     '{static_cast<QWidget *>(m_ui->Command2),', POLL, 'record list usable during a transfer'),
    ('M66', CYCLE, 'm_transferComplete = end == Exchange::Wait::TimedOut;',
     'm_transferComplete = end != Exchange::Wait::Abandoned;', POLL,
     'a transfer cut off at the limit clears the terminal'),
    ('M67', CYCLE, 'if (outcome == Transferred && m_transferStored && m_transferComplete)',
     'if (outcome == Transferred && m_transferComplete)', POLL,
     'terminal cleared though the file write failed'),
    ('M68', CYCLE, '    if (!m_exchange.wakeTerminal()) {\n        unlockControls();\n        return;\n    }\n'
     '    if (!flushInput()', '    m_exchange.wakeTerminal();\n    if (!flushInput()', POLL,
     'clear sent though the wake-up before it failed'),
    ('M69', CYCLE, '        emit indicatorCleared();\n        m_exchange.processEventsOnce();\n'
     '        pause(500);', '        emit indicatorCleared();\n'
     '        m_exchange.processEventsOnce();\n        pause(200);', POLL,
     'pause without indicator between turns 500 -> 200 ms'),

    # corvane-poll.
    ('M70', POLLER, 'QStringLiteral("%1 records stored in %2").arg(n).arg(m_file)',
     'QStringLiteral("%1 records stored in %2").arg(m_file).arg(n)', ['tst_pollservice'],
     'stored-records log line has count and file swapped'),
    ('M71', POLLER, 'if (!m_portLost || (!m_lastOpenError.isEmpty() && why != m_lastOpenError))',
     'if (!m_portLost || !m_lastOpenError.isEmpty())', ['tst_pollservice'],
     'a missing port logged at every retry'),
    ('M72', 'src/app/Headless.h', '    sigaction(SIGTERM, &action, nullptr);\n', '', ['tst_pollservice', 'tst_ship'],
     'SIGTERM kills the poller without an orderly stop'),

    # Start-up settings and the port choice.
    ('M73', 'src/state/StartupSettings.cpp',
     '    if (s.speed > StartupSettings::kMaxSpeed)\n        s.speed = StartupSettings::kMaxSpeed;\n', '',
     ['tst_workingfolder', 'tst_mainwindow'], 'speed above 9600 not clamped'),
    ('M74', 'src/state/StartupSettings.cpp', 'if (s.speed < StartupSettings::kMinSpeed)',
     'if (s.speed < 0)', ['tst_workingfolder', 'tst_mainwindow'], 'speed below 2400 not clamped'),
    ('M75', 'src/link/PortChoice.cpp', "head[end] != ',' && head[end] != '\\r'", "head[end] != '\\r'",
     ['tst_workingfolder', 'tst_mainwindow'], 'portacom "3,..." not read'),

    # The serial link.
    ('M76', LINK, '        if (!QFileInfo::exists(m_devicePath))\n            m_gone = true;\n', '', PORTS,
     'a vanished device node not noticed'),
    ('M77', LINK, '? LinkError::InvalidPort\n                                                                    : LinkError::Other);',
     '? LinkError::InvalidPort\n                                                                    : LinkError::InvalidPort);',
     PORTS, 'a port held by another program reported as missing'),

    # The exchange.
    ('M78', 'src/link/Protocol.h', 'constexpr int kCharTimeoutMs = 1000;', 'constexpr int kCharTimeoutMs = 2000;',
     TALKS, 'reply timeout 2 s, not 1'),
    ('M79', EXCH, '        if (line.size() >= maxLength)\n            return Wait::TimedOut;\n', '', TALKS,
     'no limit on the length of a reply line'),
    ('M80', EXCH, '    flushInput();\n    sendCommand(\'?\', 200);', '    sendCommand(\'?\', 200);', TALKS,
     'leftovers not flushed before the status query'),

    # The main window.
    ('M81', MAIN, '        m_ui->Label3->hide();\n        m_state.dialogs.information',
     '        m_state.dialogs.information', ['tst_mainwindow', 'tst_faults'],
     '"Conteggio Records Attendere !" stays after the count'),
    ('M82', MAIN, '    if (!m_state.dialogs.question(kTitle,\n                                  QStringLiteral("Cancellare',
     '    if (m_state.dialogs.question(kTitle,\n                                  QStringLiteral("Cancellare',
     ['tst_mainwindow', 'tst_faults'], 'memory cleared on No'),
    ('M83', MAIN, 'portchoice::write(m_state.workingDir, index + 1);',
     'portchoice::write(m_state.workingDir, index);', ['tst_mainwindow', 'tst_workingfolder', 'tst_faults'],
     'Combo1 writes the port before the one picked to portacom'),
    ('M84', MAIN, '    if (!m_state.dialogs.question(kTitle, QStringLiteral("Uscire da Corvane ?")))\n        return;',
     '    m_state.dialogs.question(kTitle, QStringLiteral("Uscire da Corvane ?"));', ['tst_mainwindow'],
     'program exits on No'),
    ('M85', CYCLE, '    m_exchange.readCharacter(); // a leading character that carries no data\n    lockControls();',
     '    lockControls();', POLL, "the transfer's leading STX kept in the first record"),
    # Behaviours a single test guards: each shows what removing that test would give up.
    ('M86', POLL_SCREEN, '    if (event->key() == Qt::Key_Escape) {\n        event->accept();\n        return;\n    }\n',
     '', ['tst_polling'], 'Esc closes the polling screen'),
    ('M87', 'src/info/InfoBox.cpp', 'if (event->key() == Qt::Key_Escape)\n        Command1_Click();',
     'if (event->key() == Qt::Key_Return)\n        Command1_Click();', ['tst_mainwindow'],
     'Esc does not close the information box'),
    ('M89', 'src/programming/ParameterCatalogue.cpp', 'for (bool ownPosition : {true, false})',
     'for (bool ownPosition : {false, true})', ['tst_programming', 'tst_faults'],
     'TAB in its own position no longer takes precedence'),
    ('M90', POLL_SCREEN, '    if (m_cycle.isRunning())\n        m_state.pollStopRequested = true;',
     '    if (true)\n        m_state.pollStopRequested = true;', ['tst_polling', 'tst_faults'],
     '"Uscita" does not close a polling screen whose cycle has stopped'),
    ('M91', MAIN, '    m_state.ConfigString = statusLine;\n', '',
     ['tst_mainwindow', 'tst_programming', 'tst_faults'],
     'programming screen opened on an old status line'),
    ('M92', MAIN, '    screen.exec();\n    m_state.pollStopRequested = false;', '    screen.exec();',
     ['tst_mainwindow', 'tst_polling', 'tst_faults'], 'polling cannot be opened a second time'),
    ('M93', CLOCK, 'box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 12);',
     'box->setFixedWidth(20);', ['tst_layout'], 'clock boxes too narrow for a large font'),
    ('M94', MAIN, 'QStringLiteral("Com-%1").arg(i)', 'QStringLiteral("Com-%1").arg(i - 1)', ['tst_mainwindow'],
     'port list numbered from 0'),
    ('M95', MAIN, '"Conteggio Records Attendere !"', '"Conteggio Records Attendere!"', ['tst_mainwindow', 'tst_faults'],
     'counting status text'),
    ('M96', 'src/polling/PollStore.cpp', 'if (m_file.isOpen() && today != m_fileDate && !syncAndClose())',
     'if (false && m_file.isOpen() && today != m_fileDate && !syncAndClose())', POLL,
     "a transfer across midnight stays in the first day's file"),
    ('M97', PROG_SCREEN, 'void ProgrammingScreen::Command3d16_Click()\n{\n    if (!m_state.port.ensurePortUsable())\n        return;',
     'void ProgrammingScreen::Command3d16_Click()\n{', ['tst_programming', 'tst_faults'],
     'clock screen opened on a lost device'),
    ('M98', CLOCK, 'void ClockScreen::Command3d1_Click()\n{\n    if (m_busy || ',
     'void ClockScreen::Command3d1_Click()\n{\n    if (', ['tst_programming', 'tst_faults'],
     'a queued "Invia" sends the clock a second time'),
    ('M99', 'src/clock/TerminalClock.cpp', 'return QStringLiteral("00");', 'return QStringLiteral("0");',
     ['tst_programming', 'tst_faults'], 'a clock field below zero shown as one digit'),
    ('M100', PROG_SCREEN, 'QStringLiteral("Data terminale")', 'QStringLiteral("Data")', ['tst_programming'],
     "the date panel's spoken name"),
    ('M101', READER, '            if (c == kBlank) {\n                m_started = true;\n                ++p;\n                continue;\n            }\n            if (c == kQuote)',
     '            if (c == kQuote)', VIEWER, "an item's leading blanks kept"),
    ('M102', 'src/viewer/FileSummary.cpp', 'QStringLiteral(" effettuato alle ")', 'QStringLiteral(" effettuato ")',
     VIEWER, 'time-stamped file summary text'),
    # The poller in production: one holder per device, the holder named, systemd told.
    ('M103', LINK, 'm_port.setPortName(device);', 'm_port.setPortName(m_devicePath);',
     ['tst_pollservice', 'tst_faults'], 'the port locked under the name that reached it, not the device'),
    ('M104', MAIN, 'text += QStringLiteral("\\r\\n") + holder->operatorLine();', 'text += QString();',
     ['tst_faults', 'tst_mainwindow'], "the window's message does not name the holder"),
    ('M105', POLLER, 'why += QStringLiteral("; ") + holder->logText();', 'why += QString();', SERVICE,
     "the poller's log does not name the holder"),
    ('M106', HOLDER, 'pid > 0 && pid != ::getpid() &&', 'pid > 0 &&', ['tst_faults', 'tst_mainwindow'],
     'a window names itself as the holder of its own port'),
    ('M107', NOTIFIER, 'send("READY=1\\nSTATUS=" + status.toUtf8());', 'send("STATUS=" + status.toUtf8());',
     SERVICE, 'readiness never told'),
    ('M108', POLLER, '            m_retry.exec();\n            m_notifier.alive();\n', '            m_retry.exec();\n',
     SERVICE, 'the watchdog starves while the port is awaited'),
    ('M109', CYCLE, '        m_exchange.pauseMs(int(qMin<qint64>(left, kPauseSliceMs)));\n        emit alive();',
     '        m_exchange.pauseMs(int(qMin<qint64>(left, kPauseSliceMs)));', SERVICE,
     "the watchdog not fed through the turn's pauses"),
    ('M110', NOTIFIER, '    send("STOPPING=1");\n', '', SERVICE, 'stopping never told'),
    ('M111', POLLER, '                m_recordsToday += n;\n', '', SERVICE, "the status line's day count ignores transfers"),
    ('M112', POLLER, '        return kBadArguments;', '        return 0;', SERVICE, 'a bad argument exits 0'),
    ('M113', POLLER, 'o.port < 1 || o.port > 16', 'o.port < 1 || o.port > 17', SERVICE, 'port 17 accepted'),
    ('M114', POLLER, 'logLine(Priority::Warning, QStringLiteral("port %1 lost;',
     'logLine(Priority::Info, QStringLiteral("port %1 lost;', SERVICE, 'a lost port logged as information'),
    ('M115', POLLER, '            m_state.pollStopRequested = false;\n            m_cycle.run();',
     '            m_cycle.run();', SERVICE, 'polling stays stopped after the port comes back'),
    ('M116', CYCLE, '        m_store.commit();\n        throw;', '        throw;', ['tst_netcradle', 'tst_pollservice'],
     'records before a port failure mid-transfer wait for a later transfer to reach the file'),
    ('M117', STORE, 'if (size > mark->length && !m_file.resize(mark->length))', 'if (false)',
     ['tst_polling', 'tst_ship'], 'what a killed store left past its committed length stays'),
    ('M118', STORE, 'ok = m_mark.writeFor(m_file.fileName());', 'ok = true;',
     ['tst_polling', 'tst_ship'], 'a commit does not publish its length'),
    ('M119', STORE, 'if (::flock(m_file.handle(), LOCK_EX | LOCK_NB) != 0 || ', 'if (',
     ['tst_polling'], 'two stores append to one file at once'),
    ('M120', CURSOR, 'm_limit = mark ? std::min<qint64>(mark->length, st.st_size) : st.st_size;',
     'm_limit = st.st_size;', SHIP, 'the shipper reads past what the store committed'),
    ('M121', CURSOR, 'markId != at.markId && mark->since == 0', 'false', SHIP,
     'a file written anew is taken for the one shipped'),
    ('M122', CURSOR, 'markId != at.markId && mark->since == 0', 'markId != at.markId', SHIP,
     'a file a store took over is shipped again whole'),
    ('M123', CURSOR, 'st.st_size < at.offset || prefixHash(at.offset) != at.hash',
     'st.st_size < at.offset', SHIP, 'a file edited under what was shipped goes on as before'),
    ('M124', CURSOR, 'b.bytes.truncate(end + kLineEnd.size());', '', SHIP,
     'a torn last line is shipped'),
    ('M125', CURSOR, 'QRegularExpression::CaseInsensitiveOption', 'QRegularExpression::NoPatternOption',
     SHIP, 'DD-MM-YY.POL is not a poll file'),
    ('M126', CURSOR, 'return day.isValid() ? std::optional(day) : std::nullopt;',
     'return std::optional(day);', SHIP, '32-12-26.pol counts as a poll file'),
    ('M127', ROWS, 'field<qint64>(out, batch.starts[i]);',
     'field<qint64>(out, batch.starts[i] - batch.from.offset);', SHIP,
     "a row's offset counts from its batch, not its file"),
    ('M128', ROWS, '            2; // the CR LF', '            0;',
     SHIP, 'a record is shipped with its CR LF'),
    ('M129', SESSION, 'state.startsWith("08") ||', 'state.startsWith("08") || state == "3D000" ||',
     SHIP, 'no such database is waited for'),
    ('M130', SESSION, 'PQconnectionNeedsPassword(m_conn) || ', '', SHIP,
     'a missing password is waited for'),
    ('M131', SHIPPER, '    if (!m_away)\n        emit', '    if (true)\n        emit', SHIP,
     'the database away is logged at every try'),
    ('M132', SHIPPER, '    if (m_away)\n        emit logLine(Info, QStringLiteral("database back"));',
     '', SHIP, 'the database back is not logged'),
    ('M133', 'src/app/ship_main.cpp',
     "QSysInfo::machineHostName() + QLatin1Char(':') + o.dir", 'QSysInfo::machineHostName()',
     SHIP, "two folders of one host ship under one station"),
    ('M134', 'src/app/ship_main.cpp', '[] { QCoreApplication::exit(0); }',
     '[] { QCoreApplication::exit(1); }', SHIP, 'SIGTERM ends the shipper with status 1'),
]
