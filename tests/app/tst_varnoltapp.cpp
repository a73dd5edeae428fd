// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "TestDatabase.h"

#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "desktop/MessageBox.h"
#include "shell/TrayIcon.h"
#include "shell/TrayMenu.h"
#include "app/VarnoltApp.h"

#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QRegularExpression>
#include <QSet>
#include <QSignalSpy>
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
    void init()
    {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::takeShown();
    }

    void databaseFailureShowsTheBoxAndWritesNothing();
    void shutdownWritesTheLastRowOnce();
    void trayTipNamesAStoreProblemUntilItIsGone();
    void helpOpensSectionsAndPicturesThePageHas();
};

void TestVarnoltApp::databaseFailureShowsTheBoxAndWritesNothing()
{
    TestDatabase db;
    db.exec(QStringLiteral("drop table settings"));
    FakeClock clock;
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(!app.start());

    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QCOMPARE(shown.first().title, QStringLiteral("Varnolt"));
    QVERIFY(shown.first().text.startsWith(QStringLiteral("Database Init Error!\n")));
    QVERIFY(shown.first().text.contains(QStringLiteral("settings")));
    QVERIFY(db.rows(QStringLiteral("select * from Log")).isEmpty());

    // A failed start has no row to close.
    app.shutdown();
    QVERIFY(db.rows(QStringLiteral("select * from Log")).isEmpty());
}

void TestVarnoltApp::shutdownWritesTheLastRowOnce()
{
    TestDatabase db;
    FakeClock clock(QDateTime(QDate(2026, 12, 5), QTime(10, 0)));
    VarnoltApp app(db.path(), {}, clock);
    QSignalSpy finished(&app, &VarnoltApp::finished);
    QVERIFY(app.start());
    QVERIFY(MessageBox::takeShown().isEmpty());

    app.openRow().polled(clock.now());
    app.openRow().add(4096, 0);
    clock.advanceSeconds(90);
    app.shutdown();
    app.shutdown();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(db.rows(QStringLiteral("select * from Log")),
        QStringList {QStringLiteral("2026-12-05 10:00:00|2026-12-05 10:01:30|0|4096|0")});
}

void TestVarnoltApp::trayTipNamesAStoreProblemUntilItIsGone()
{
    // The whole way, from a row the database refuses to the tray's tip.
    {
        TestDatabase db;
        FakeClock clock;
        VarnoltApp app(db.path(), {}, clock);
        QVERIFY(app.start());
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
    QCOMPARE(tray.icon().toolTip(), status.left(63) + QStringLiteral("\nNot logged: database or disk is full"));
    tray.setTip(QStringLiteral("1.00 MB"));
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("1.00 MB\nNot logged: database or disk is full"));
    tray.setStoreProblem({});
    QCOMPARE(tray.icon().toolTip(), QStringLiteral("1.00 MB"));
}

void TestVarnoltApp::helpOpensSectionsAndPicturesThePageHas()
{
    // Every way the program opens its help page (the tray menu's three items, F1 on the
    // monitor, the options dialog's link) leads to the page beside the program and to a section
    // the page has; every picture and section the page itself links to is there too.
    TestDatabase db;
    FakeClock clock;
    VarnoltApp app(db.path(), {}, clock);
    QVERIFY(app.start());
    OpenedFiles opened;
    for (QAction *item : {app.trayMenu()->showHelp, app.trayMenu()->support, app.trayMenu()->faq})
        item->trigger();
    app.monitor()->buildControls();
    QTest::keyRelease(app.monitor(), Qt::Key_F1);
    app.options()->buildControls();
    QTest::mouseRelease(app.options()->linkToWeb, Qt::LeftButton);
    QCOMPARE(opened.urls.size(), 5);

    QStringList faults;
    for (const QUrl &url : std::as_const(opened.urls)) {
        QVERIFY2(url.isLocalFile(), qPrintable(url.toString()));
        const QString page = url.toLocalFile();
        QFile file(page);
        if (!file.open(QIODevice::ReadOnly)) {
            faults << QStringLiteral("%1 opens %2, which cannot be read").arg(url.toString(), page);
            continue;
        }
        const QString html = QString::fromUtf8(file.readAll());
        QSet<QString> ids;
        for (const QRegularExpressionMatch &m :
            QRegularExpression(QStringLiteral("\\bid=\"([^\"]+)\"")).globalMatch(html))
            ids << m.captured(1);
        if (url.hasFragment() && !ids.contains(url.fragment()))
            faults
                << QStringLiteral("%1 opens the section #%2, which the page lacks").arg(url.toString(), url.fragment());
        for (const QRegularExpressionMatch &m :
            QRegularExpression(QStringLiteral("\\b(src|href)=\"([^\"]+)\"")).globalMatch(html)) {
            const QString link = m.captured(2);
            if (link.startsWith(QLatin1Char('#'))) {
                if (!ids.contains(link.mid(1)))
                    faults << QStringLiteral("the page links to #%1, which it lacks").arg(link.mid(1));
            } else if (!link.contains(QLatin1Char(':'))) {
                const QString target = QFileInfo(page).dir().filePath(link.section(QLatin1Char('#'), 0, 0));
                if (!QFileInfo(target).isFile())
                    faults << QStringLiteral("the page links to %1, and %2 is missing").arg(link, target);
            }
        }
    }
    faults.removeDuplicates(); // the pages opened are one file
    QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    app.shutdown();
}

QTEST_MAIN(TestVarnoltApp)
#include "tst_varnoltapp.moc"
