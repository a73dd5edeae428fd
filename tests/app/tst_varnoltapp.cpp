// SPDX-License-Identifier: GPL-3.0-or-later
#include "DebugLogLines.h"
#include "FakeClock.h"
#include "TestDatabase.h"

#include "app/VarnoltApp.h"
#include "desktop/DesktopServices.h"
#include "desktop/MessageBox.h"
#include "monitor/FrmMain.h"
#include "monitor/SoundModule.h"
#include "options/FrmOptions.h"
#include "shell/MonitorMenu.h"
#include "shell/TrayIcon.h"
#include "shell/TrayMenu.h"
#include "stats/FrmStats.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QGraphicsView>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

// Takes the place of the desktop's handler of local files: keeps what the program opens.
class OpenedFiles : public QObject
{
    Q_OBJECT

public:
    OpenedFiles() { QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "open"); }
    ~OpenedFiles() override { QDesktopServices::unsetUrlHandler(QStringLiteral("file")); }
    Q_DISABLE_COPY_MOVE(OpenedFiles)

    QList<QUrl> urls;

public Q_SLOTS:
    void open(const QUrl &url) { urls << url; }
};

class TestVarnoltApp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("HOME", m_home.path().toUtf8()); } // for the debug log
    void init()
    {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::takeShown();
    }

    void refusedStartShowsTheBox_data();
    void refusedStartShowsTheBox();
    void miniMaxiStepsTheDoubleClickState();
    void windowMenuExitWritesTheLastRowOnceAndUnloadsAllForms();
    void trayTipNamesTheRouterAndAStoreProblemUntilGone();
    void helpOpensSectionsAndPicturesThePageHas();
    void statsAndSoundsFromTheirModules();

private:
    QTemporaryDir m_home;
};

void TestVarnoltApp::refusedStartShowsTheBox_data()
{
    QTest::addColumn<bool>("secondCopy"); // else a database that fails
    QTest::addColumn<QMessageBox::Icon>("icon");
    QTest::addColumn<QString>("text");
    QTest::newRow("a second copy on the database")
        << true << QMessageBox::Information << QStringLiteral("Varnolt is already running on this database.\n");
    QTest::newRow("a database that fails")
        << false << QMessageBox::Critical << QStringLiteral("Database Init Error!\n");
}

void TestVarnoltApp::refusedStartShowsTheBox()
{
    QFETCH(bool, secondCopy);
    TestDatabase db;
    FakeClock clock;
    VarnoltApp first(db.path(), {}, clock);
    if (secondCopy)
        QVERIFY(first.start());
    else
        db.exec(QStringLiteral("drop table settings"));
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(!app.start());

    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QTEST(shown.first().icon, "icon");
    QCOMPARE(shown.first().title, QStringLiteral("Varnolt"));
    QFETCH(QString, text);
    QVERIFY2(shown.first().text.startsWith(text), qPrintable(shown.first().text));
    QVERIFY(secondCopy ? !app.monitor() : shown.first().text.contains(QStringLiteral("settings")));
}

// "Mini/Maxi Monitor." shrinks the window to its title bar and the rate line, and it comes
// back by the same item, a double-click on it or the tray's "Monitor &On.", stepping the
// double-click state with it, unless a double-click opens the chart.
void TestVarnoltApp::miniMaxiStepsTheDoubleClickState()
{
    TestDatabase db;
    db.exec(QStringLiteral("insert into settings values ('whatsleft', '1')"));
    FakeClock clock;
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(app.start());
    FrmMain &window = *app.monitor();
    QCOMPARE(window.heightTwips(), FrmMain::VolumeLeftHeight);
    app.miniMaxi();
    QCOMPARE(window.heightTwips(), FrmMain::MiniHeight);
    QCOMPARE(app.settings().dblClickState(), int(Settings::MiniMonitor));
    QTest::mouseDClick(window.rateLabel(), Qt::LeftButton);
    QCOMPARE(window.heightTwips(), FrmMain::VolumeLeftHeight);
    QCOMPARE(app.settings().dblClickState(), int(Settings::MonitorWindow));

    app.settings().whatsLeftState = 0;
    app.settings().stepDblClickTo(Settings::ChartWindow); // stepped in the dialog, not stored: the chart flag stays off
    app.miniMaxi();
    QCOMPARE(app.settings().dblClickState(), int(Settings::MiniMonitor));
    QVERIFY(!window.isShown());
    app.trayMenu()->showLog->trigger();
    QVERIFY(window.isShown());
    QCOMPARE(window.heightTwips(), FrmMain::NormalHeight);
    QCOMPARE(app.settings().dblClickState(), int(Settings::MonitorWindow));
    app.shutdown();
}

// The window's menu, in its order; its Exit writes the last row once, whatever shuts down
// after it, and ends the run with the designed lines of the debug log.
void TestVarnoltApp::windowMenuExitWritesTheLastRowOnceAndUnloadsAllForms()
{
    TestDatabase db;
    FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(10, 0)));
    VarnoltApp app(db.path(), {QStringLiteral("/debug")}, clock);
    QFile::remove(app.debugLog().path());
    QVERIFY(app.start());
    QStringList captions;
    for (const QAction *action : app.monitorMenu()->actions())
        captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    QCOMPARE(captions,
        QStringList({QStringLiteral("Move"), QStringLiteral("Hide"), QStringLiteral("Mini/Maxi Monitor."),
            QStringLiteral("-"), QStringLiteral("Exit")}));
    app.openRow().polled(clock.now());
    app.openRow().add(4096, 0);
    clock.advanceSeconds(90);
    QSignalSpy finished(&app, &VarnoltApp::finished);
    Q_EMIT app.monitorMenu()->commandChosen(MonitorMenu::Exit);
    app.shutdown();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(db.rows(QStringLiteral("select * from Log")),
        QStringList {QStringLiteral("2026-12-05 10:00:00|2026-12-05 10:01:30|0|4096|0")});
    const QStringList lines = debugLogLines(app.debugLog().path());
    const QStringList ending {
        QStringLiteral(": Exit chosen from system menu."), QStringLiteral("App Shutdown sequence")};
    QVERIFY(lines.join(QLatin1Char('\n')).contains(ending.join(QLatin1Char('\n'))));
    QCOMPARE(lines.last(6),
        QStringList({QStringLiteral("Steps executed. App Cleaning up."), QStringLiteral("Removed icon."),
            QStringLiteral(": Restored."), QStringLiteral(": Unloading FrmMain"), QStringLiteral(": Unloaded."),
            QStringLiteral(": All forms unloaded.")}));
}

void TestVarnoltApp::trayTipNamesTheRouterAndAStoreProblemUntilGone()
{
    {
        TestDatabase db;
        FakeClock clock;
        VarnoltApp app(db.path(), {}, clock);
        QVERIFY(app.start());
        // A router chosen in the options (nothing listens on its port) is followed from the OK
        // on, and no more once the choice is emptied.
        app.settings().routerUrl = QStringLiteral("http://127.0.0.1:9/rootDesc.xml");
        app.settings().routerName = QStringLiteral("Box");
        Q_EMIT app.options()->optionsStored();
        QTRY_VERIFY_WITH_TIMEOUT(
            app.trayIcon()->icon().toolTip().contains(QStringLiteral("\nRouter: Box not answering since ")), 30000);
        app.settings().routerUrl.clear();
        Q_EMIT app.options()->optionsStored();
        QTRY_VERIFY(!app.trayIcon()->icon().toolTip().contains(QStringLiteral("Router")));
        StoreSession holder(db.path());
        QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
        app.resetCounters();
        QVERIFY2(app.trayIcon()->icon().toolTip().contains(QStringLiteral("\nNot logged: database is locked")),
            qPrintable(app.trayIcon()->icon().toolTip()));
        holder.rollback();
        app.shutdown();
    }

    TrayIcon tray;
    const QString status = QStringLiteral("12.34 MB - Avg: 45.6 kBps. - 1234 MB (61.7 %) Left. and more text");
    tray.setTip(status);
    tray.setStoreProblem({QStringLiteral("database or disk is full\nStatement: INSERT INTO Log ..."), true});
    tray.setSourceLine(QStringLiteral("Router: Box"));
    QCOMPARE(tray.icon().toolTip(),
        status.left(63) + QStringLiteral("\nRouter: Box\nNot logged: database or disk is full"));
    tray.setSourceLine({});
    tray.setTip(QStringLiteral("1.00 MB"));
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("1.00 MB\nNot logged: database or disk is full"));
    tray.setStoreProblem({});
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("1.00 MB"));
}

void TestVarnoltApp::helpOpensSectionsAndPicturesThePageHas()
{
    // Every way to the help page (three tray items, F1, the options' link) and every link within
    // it leads to a section the page has; its pictures are the install test's.
    TestDatabase db;
    FakeClock clock;
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(app.start());
    const auto everyWay = [&app] {
        for (QAction *item : {app.trayMenu()->showHelp, app.trayMenu()->support, app.trayMenu()->faq})
            item->trigger();
        app.monitor()->buildControls();
        QTest::keyRelease(app.monitor(), Qt::Key_F1);
        app.options()->buildControls();
        QTest::mouseRelease(app.options()->linkToWeb, Qt::LeftButton);
    };
    // Where no program opens the page, or the page is not there, a box names the file and why.
    everyWay();
    const QString page = QCoreApplication::applicationDirPath() + QStringLiteral("/Varnolt.html");
    const QList<MessageBox::Shown> boxes = MessageBox::takeShown();
    QCOMPARE(boxes.size(), 5);
    for (const MessageBox::Shown &box : boxes)
        QVERIFY2(box.icon == QMessageBox::Warning && box.text.contains(page + u' '), qPrintable(box.text));
    OpenedFiles opened;
    QVERIFY(!DesktopServices::openHelpPage(m_home.filePath(QStringLiteral("Varnolt.html#faq"))));
    const QString missing = MessageBox::takeShown().value(0).text;
    QVERIFY2(missing.contains(m_home.filePath(QStringLiteral("Varnolt.html "))) && missing.contains(u"not exist"),
        qPrintable(missing));
    everyWay();
    QCOMPARE(MessageBox::takeShown().size(), 0);
    QCOMPARE(opened.urls.size(), 5);

    for (const QUrl &url : std::as_const(opened.urls)) {
        QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
        QFile file(url.toLocalFile());
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(url.toString() + QStringLiteral(" cannot be read")));
        const QString html = QString::fromUtf8(file.readAll());
        QSet<QString> ids;
        for (const QRegularExpressionMatch &m :
            QRegularExpression(QStringLiteral("\\bid=\"([^\"]+)\"")).globalMatch(html))
            ids << m.captured(1);
        QVERIFY2(!url.hasFragment() || ids.contains(url.fragment()), qPrintable(url.toString()));
        for (const QRegularExpressionMatch &m :
            QRegularExpression(QStringLiteral("\\bhref=\"#([^\"]+)\"")).globalMatch(html))
            QVERIFY2(ids.contains(m.captured(1)), qPrintable(QStringLiteral("a link to a missing #") + m.captured(1)));
    }
    app.shutdown();
}

// The program loads the statistics window and the warning sounds from the modules next to it,
// when first needed; without its module a part says so once and the rest goes on.
void TestVarnoltApp::statsAndSoundsFromTheirModules()
{
    TestDatabase db;
    FakeClock clock;
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(app.start());
    app.trayMenu()->showAll->trigger();
    QWidget *stats = app.stats();
    QVERIFY(stats && stats->isVisible());
    QCOMPARE(stats->windowTitle(), FrmStats::caption());
    QTRY_VERIFY(stats->findChild<QGraphicsView *>()); // the chart, drawn by the module's Qt Charts
    stats->close();
    QTRY_VERIFY(!app.stats());
    app.shutdown();

    SoundModule sound(QCoreApplication::applicationDirPath());
    QVERIFY(!sound.loaded());
    sound.play(db.path()); // no sound in it: silent
    QVERIFY(sound.loaded());
    SoundModule missing(m_home.path());
    const QRegularExpression off(QStringLiteral("warning sounds are off"));
    QTest::ignoreMessage(QtWarningMsg, off);
    missing.play(db.path());
    QTest::failOnWarning(off); // said once, not at every warning
    missing.play(db.path());
    QVERIFY(!missing.loaded());
}

QTEST_MAIN(TestVarnoltApp)
#include "tst_varnoltapp.moc"
