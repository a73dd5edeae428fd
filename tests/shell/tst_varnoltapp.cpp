#include "FakeClock.h"
#include "TestDatabase.h"

#include "shell/MessageBox.h"
#include "shell/TrayIcon.h"
#include "shell/VarnoltApp.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>

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

    app.counters().rowStart = clock.now();
    app.counters().curIn = 4096;
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

QTEST_MAIN(TestVarnoltApp)
#include "tst_varnoltapp.moc"
