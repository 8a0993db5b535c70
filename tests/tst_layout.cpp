#include "DataTable.h"
#include "ScriptedDialogs.h"
#include "TestFiles.h"
#include "core/state/ProgramState.h"
#include "widgets/ClockScreen.h"
#include "widgets/InfoBox.h"
#include "widgets/Language.h"
#include "widgets/MainWindow.h"
#include "widgets/PollScreen.h"
#include "widgets/ProgrammingScreen.h"
#include "widgets/ViewerScreen.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>
#include <QTranslator>

#include <memory>

namespace {

bool carriesText(const QWidget *w)
{
    return qobject_cast<const QAbstractButton *>(w) || qobject_cast<const QLabel *>(w) ||
           qobject_cast<const QLineEdit *>(w) || qobject_cast<const QComboBox *>(w) ||
           qobject_cast<const QGroupBox *>(w);
}

QString describe(const QWidget *w)
{
    return QStringLiteral("%1 (%2) %3x%4")
        .arg(w->objectName(), QLatin1String(w->metaObject()->className()))
        .arg(w->width())
        .arg(w->height());
}

QStringList layoutFaults(const QWidget &window)
{
    QStringList faults;
    for (QWidget *w : window.findChildren<QWidget *>()) {
        if (!carriesText(w) || !w->isVisibleTo(&window))
            continue;
        const QSize needed = w->minimumSizeHint();
        if (w->width() < needed.width() || w->height() < needed.height())
            faults << describe(w) +
                          QStringLiteral(" needs %1x%2").arg(needed.width()).arg(needed.height());
        const QWidget *parent = w->parentWidget();
        if (!parent->rect().contains(w->geometry()))
            faults << describe(w) + QStringLiteral(" sticks out of ") + describe(parent);
        for (const QObject *o : parent->children()) {
            const auto *sibling = qobject_cast<const QWidget *>(o);
            if (sibling && sibling != w && carriesText(sibling) && sibling->isVisibleTo(&window) &&
                sibling->geometry().intersects(w->geometry()) && w < sibling)
                faults << describe(w) + QStringLiteral(" overlaps ") + describe(sibling);
        }
    }
    return faults;
}

// Every text a window shows, by the control and the property that show it.
QMap<QString, QString> textsOf(const QWidget &window)
{
    QMap<QString, QString> texts{{QStringLiteral("title"), window.windowTitle()}};
    for (const QWidget *w : window.findChildren<QWidget *>())
        for (const char *p : {"text", "title", "currentText", "accessibleName"})
            texts.insert(w->objectName() + QLatin1Char('.') + QLatin1String(p),
                         w->property(p).toString());
    return texts;
}

// The English catalogue, noting every text it gave.
class NotingCatalogue : public QTranslator {
public:
    mutable QSet<QString> given;

    QString translate(const char *context, const char *source, const char *disambiguation,
                      int n) const override
    {
        const QString text = QTranslator::translate(context, source, disambiguation, n);
        given << text;
        return text;
    }
};

} // namespace

// Every screen with the default font and with much larger ones (an operator's system font, or
// a scale factor when the suite runs under QT_SCALE_FACTOR): each control that shows text gets
// at least the room its text needs, stays inside its parent and covers none of its siblings;
// in Italian, the language of the code, and in English, whose texts are longer. In English no
// text is left as it is in Italian unless the catalogue says so ("Polling", "Records").
class TestLayout : public QObject {
    Q_OBJECT

    WorkDir m_dir;
    ScriptedDialogs m_dialogs;
    std::unique_ptr<ProgramState> m_state;

    std::unique_ptr<QWidget> makeScreen(const QString &name)
    {
        if (name == "main")
            return std::make_unique<MainWindow>(*m_state);
        if (name == "polling")
            return std::make_unique<PollScreen>(*m_state);
        if (name == "programming")
            return std::make_unique<ProgrammingScreen>(*m_state);
        if (name == "clock")
            return std::make_unique<ClockScreen>(*m_state, ClockTexts{});
        if (name == "viewer")
            return std::make_unique<ViewerScreen>(m_dir.dir, m_dialogs);
        return std::make_unique<InfoBox>();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.write("06-12-26.pol", "8001234567890;00012\r\n"));
        m_state = std::make_unique<ProgramState>(m_dir.dir, m_dialogs);
        // A full status line, so the programming screen shows every indicator and its clock.
        m_state->ConfigString = "1100005111\x12\x06\x13"
                                "\x37"
                                "000";
    }

    void shouldGiveEveryControlRoomForItsText_data()
    {
        // Point size 0: the platform's default.
        const auto row = table<QString, int, bool>({"screen", "pointSize", "english"});
        for (const char *screen : {"main", "polling", "programming", "clock", "viewer", "info"})
            for (const int size : {0, 16, 24})
                for (const bool english : {false, true})
                    row(QStringLiteral("%1 at %2pt%3")
                            .arg(screen)
                            .arg(size)
                            .arg(english ? " in English" : ""),
                        screen, size, english);
    }

    void shouldGiveEveryControlRoomForItsText()
    {
        QFETCH(QString, screen);
        QFETCH(int, pointSize);
        QFETCH(bool, english);
        const QFont platformFont = QApplication::font();
        QFont font = platformFont;
        if (pointSize > 0)
            font.setPointSize(pointSize);
        QApplication::setFont(font);
        auto restoreFont = qScopeGuard([&] { QApplication::setFont(platformFont); });

        const QMap<QString, QString> italian = textsOf(*makeScreen(screen));
        NotingCatalogue catalogue;
        if (english) {
            QVERIFY(catalogue.load(QStringLiteral(":/i18n/corvane_en")));
            QCoreApplication::installTranslator(&catalogue);
        }
        auto removeCatalogue = qScopeGuard([&] { QCoreApplication::removeTranslator(&catalogue); });

        std::unique_ptr<QWidget> window = makeScreen(screen);
        const QMap<QString, QString> shown = textsOf(*window);
        for (auto it = shown.cbegin(); english && it != shown.cend(); ++it) {
            // The program's name is the same in every language, and so are figures.
            const bool words =
                it.value() != QLatin1String("Corvane") &&
                it.value().contains(QRegularExpression(QStringLiteral("[a-zA-Z]{2}")));
            QVERIFY2(!words || it.value() != italian.value(it.key()) ||
                         catalogue.given.contains(it.value()),
                     qPrintable(it.key() + QStringLiteral(" left in Italian: ") + it.value()));
        }
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));

        // The title bar, in the default font, holds the title beside the icon and three buttons.
        const QFontMetrics metrics = window->fontMetrics();
        QVERIFY2(pointSize > 0 ||
                     window->width() >=
                         metrics.horizontalAdvance(window->windowTitle()) + 6 * metrics.height(),
                 qPrintable(window->windowTitle()));
        // Polishing the style sheets asks for a relayout a few event-loop turns later.
        QStringList faults;
        QTRY_VERIFY2_WITH_TIMEOUT((faults = layoutFaults(*window)).isEmpty(),
                                  qPrintable(faults.join(QStringLiteral("; "))), 3000);
    }

    // ctest runs this under several environments, each naming the language the window must
    // then speak (tests/CMakeLists.txt): the operator's from LANGUAGE, LC_ALL, LC_MESSAGES and
    // LANG, Italian for C and for languages Corvane has no translation for.
    void shouldSpeakTheOperatorsLanguage()
    {
        const QString expected = qEnvironmentVariable("CORVANE_EXPECTED_LANGUAGE");
        if (expected.isEmpty())
            QSKIP("runs under the environments ctest gives it");
        language::speak(language::ofOperator(QLocale::system().uiLanguages()));
        const bool english = expected == QLatin1String("en");
        MainWindow window(*m_state);
        QCOMPARE(window.findChild<QPushButton *>(QStringLiteral("Command7"))->text(),
                 english ? "Records in Memory" : "Record in Memoria");
        // Qt's own texts, as its standard buttons show them.
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "&Yes"), english ? "&Yes" : "&Sì");
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"
