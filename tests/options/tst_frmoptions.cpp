#include "FakeClock.h"
#include "FakeInterfaceTable.h"
#include "NetworkNamespace.h"
#include "TestDatabase.h"

#include "core/Settings.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/VolumeLeftText.h"
#include "core/traffic/WarningSound.h"
#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "shell/MessageBox.h"
#include "shell/MonitorMenu.h"
#include "shell/TrayMenu.h"
#include "shell/VarnoltApp.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <memory>

namespace {

// The program started on a copy of the shipped database with the given settings rows, metering
// four fake cards.
struct Run
{
    explicit Run(const QStringList &settingsRows = {}, std::unique_ptr<InterfaceTable> table = nullptr)
    {
        for (const QString &row : settingsRows)
            db.exec(QStringLiteral("insert into settings values (%1)").arg(row));
        if (!table) {
            auto fake = std::make_unique<FakeInterfaceTable>();
            fake->rows = FakeInterfaceTable::cards(4);
            table = std::move(fake);
        }
        app = std::make_unique<VarnoltApp>(db.path(), QStringList {}, clock, std::move(table));
        if (!app->start())
            qFatal("the program did not start");
        // The first poll fills the adapter list.
        QTest::qWait(0);
        if (options().controlsBuilt())
            qFatal("the dialog built its controls before it was shown");
        options().buildControls();
    }
    ~Run() { app->shutdown(); }

    FrmOptions &options() { return *app->options(); }
    Settings &settings() { return app->settings(); }
    QStringList stored() const
    {
        return db.rows(QStringLiteral("select settingname, settingvalue from settings where settingname <> "
                                      "'ExportFolder' order by rowid"));
    }
    void waitForPoll()
    {
        QSignalSpy polls(&app->monitor()->pollTimer(), &QTimer::timeout);
        QVERIFY(polls.wait(3000));
    }

    TestDatabase db;
    FakeClock clock;
    std::unique_ptr<VarnoltApp> app;
};

// Types the text into the field and moves the focus on, as a user leaving it does.
void typeAndLeave(FrmOptions &dialog, QLineEdit *field, const QString &text)
{
    if (!QTest::qWaitForWindowActive(&dialog))
        qFatal("the dialog does not become active");
    field->setFocus(Qt::MouseFocusReason);
    field->selectAll();
    QTest::keyClicks(field, text);
    dialog.bttOK->setFocus(Qt::TabFocusReason);
}

class CountingSound final : public WarningSound
{
public:
    void play(const QString &) override { ++played; }
    int played = 0;
};

} // namespace

// The options dialog on the real program, offscreen: its controls on the settings model, the
// pages, the field checks, the preview and OK.
class TestFrmOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        MessageBox::takeShown();
    }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void loadingSetsEveryControl_data();
    void loadingSetsEveryControl();
    void pagesShowTheirControlsInTheirPlaces();
    void dblClickBoxStepsThroughThreeStates();
    void liveControlsActBeforeOk();
    void adapterChoiceCountsFromTheNextPoll();
    void okStoresEveryKeyAndHandsOverTheAllowance_data();
    void okStoresEveryKeyAndHandsOverTheAllowance();
    void refusedOkKeepsEverythingAsItWas();
    void closingByTheWindowManagerSavesLikeOk();
    void fieldChecks_data();
    void fieldChecks();
    void previewNeverAlerts();
    void trayMenuShowsOneDialog();
};

void TestFrmOptions::loadingSetsEveryControl_data()
{
    QTest::addColumn<int>("dblClick");
    QTest::addColumn<Qt::CheckState>("mark");
    QTest::addColumn<QString>("caption");
    QTest::newRow("chart") << 1 << Qt::Checked << QStringLiteral("DblClick on Systray Icon : 'Chart Window'");
    QTest::newRow("mini") << 2 << Qt::PartiallyChecked << QStringLiteral("DblClick on Systray Icon : 'Mini Monitor'");
}

void TestFrmOptions::loadingSetsEveryControl()
{
    QFETCH(int, dblClick);
    QFETCH(Qt::CheckState, mark);
    QFETCH(QString, caption);
    Run run({QStringLiteral("'DblClick','%1'").arg(dblClick), QStringLiteral("'kilobit','1'"),
        QStringLiteral("'whatsleft','1'"), QStringLiteral("'Playwav','0'"), QStringLiteral("'maxmbsize','5000'"),
        QStringLiteral("'logperiod','3'"), QStringLiteral("'logperiodtype','2'"), QStringLiteral("'logstartday','15'"),
        QStringLiteral("'MonitorTrans','2'"), QStringLiteral("'ExportFolder','/srv/traffic.csv'"),
        QStringLiteral("'Adapter0','eth0'"), QStringLiteral("'Adapter3','eth3'")});
    FrmOptions &d = run.options();

    QVERIFY(!d.isVisible());
    QCOMPARE(d.windowTitle(), QStringLiteral("Options."));
    QCOMPARE(d.chkDblClick->checkState(), mark);
    QCOMPARE(d.chkDblClick->text(), caption);
    QCOMPARE(d.chkkbits->checkState(), Qt::Checked);
    QCOMPARE(d.chkWhatsleft->checkState(), Qt::Checked);
    QCOMPARE(d.chkPlayMusic->checkState(), Qt::Unchecked);
    QCOMPARE(d.txtMaxMB->text(), QStringLiteral("5000"));
    QCOMPARE(d.txtperiod->text(), QStringLiteral("3"));
    QCOMPARE(d.txtStartnthDay->text(), QStringLiteral("15"));
    QCOMPARE(d.cboPeriodType->currentText(), QStringLiteral("Month(s)-d/mm"));
    QCOMPARE(d.cboTransparent->currentText(), QStringLiteral("50"));
    QCOMPARE(d.cboChartType->currentText(), QStringLiteral("Per Day (MB)"));
    QCOMPARE(d.txtCsvFile->text(), QStringLiteral("/srv/traffic.csv"));
    QCOMPARE(d.lstAdapters->count(), 4);
    QStringList selected;
    for (int i = 0; i < d.lstAdapters->count(); ++i) {
        if (d.lstAdapters->item(i)->isSelected())
            selected << d.lstAdapters->item(i)->text();
    }
    QCOMPARE(selected, (QStringList {QStringLiteral("eth0"), QStringLiteral("eth3")}));
    // The general page first; the start-day field stays hidden until the Volume Left page.
    QCOMPARE(d.tbPages->currentIndex(), int(FrmOptions::GeneralPage));
    QVERIFY(!d.txtStartnthDay->isVisibleTo(&d));
}

void TestFrmOptions::pagesShowTheirControlsInTheirPlaces()
{
    Run run({QStringLiteral("'logperiodtype','2'")});
    FrmOptions &d = run.options();
    QCOMPARE(d.logicalDpiY(), 96); // 15 twips a pixel
    // The layout's 5280 x 3930 twips, taller by the row of tabs, which nothing covers.
    const int tabRow = d.tbPages->tabBar()->sizeHint().height();
    QVERIFY(tabRow > 10);
    QCOMPARE(d.size(), QSize(352, 262 + tabRow));
    QCOMPARE(d.bttOK->geometry(), QRect(280, 216 + tabRow, 65, 33));
    QCOMPARE(d.brGeneral->y(), d.tbPages->y() + 8 + tabRow);

    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    QCOMPARE(d.brGeneral->title(), QStringLiteral("Volume Left"));
    // Each control placed from the places of the ones before it.
    QCOMPARE(d.twipGeometry(d.cboPeriodType), QRect(2600, 600, 1590, 315));
    QCOMPARE(d.twipGeometry(d.txtperiod), QRect(2190, 600, 405, 315));
    QCOMPARE(d.twipGeometry(d.txtMaxMB), QRect(3190, 225, 1000, 315));
    QCOMPARE(d.twipGeometry(d.txtStartnthDay), QRect(2190, 1005, 405, 285));
    QCOMPARE(d.twipGeometry(d.lblStartDay), QRect(120, 1005, 2655, 375));
    QCOMPARE(d.twipGeometry(d.chkWhatsleft), QRect(120, 2245, 3855, 375));
    QCOMPARE(d.twipGeometry(d.chkPlayMusic), QRect(120, 2045, 3855, 255));
    QCOMPARE(d.txtMaxMB->geometry(), QRect(213, 15, 67, 21));
    QVERIFY(d.txtStartnthDay->isVisibleTo(&d));
    QVERIFY(!d.chkDblClick->isVisibleTo(&d));
    d.cboPeriodType->setCurrentIndex(0);
    QVERIFY(!d.txtStartnthDay->isVisibleTo(&d) && !d.lblStartDay->isVisibleTo(&d));
    d.cboPeriodType->setCurrentIndex(2);
    QVERIFY(d.txtStartnthDay->isVisibleTo(&d) && d.lblStartDay->isVisibleTo(&d));

    d.tbPages->setCurrentIndex(FrmOptions::GeneralPage);
    QCOMPARE(d.brGeneral->title(), QStringLiteral("General Options - Export Logs."));
    for (QWidget *w : QList<QWidget *> {d.txtMaxMB, d.txtperiod, d.cboPeriodType, d.txtStartnthDay, d.lblpreview})
        QVERIFY2(!w->isVisibleTo(&d), w->metaObject()->className());
    QVERIFY(d.chkDblClick->isVisibleTo(&d) && d.txtCsvFile->isVisibleTo(&d) && d.bttExport->isVisibleTo(&d));
    // The offscreen platform cannot make a window translucent, so the choice is not offered.
    QVERIFY(!d.cboTransparent->isVisibleTo(&d));
    // Code that moves the list on another page never uncovers the start day.
    d.cboPeriodType->setCurrentIndex(0);
    d.cboPeriodType->setCurrentIndex(2);
    QVERIFY(!d.txtStartnthDay->isVisibleTo(&d));

    d.tbPages->setCurrentIndex(FrmOptions::ResetPage);
    QCOMPARE(d.brGeneral->title(), QStringLiteral("!!! CAUTION !!!"));
    QCOMPARE(d.lblAttention->text().split(QStringLiteral("\r\n")),
        (QStringList {QString(), QStringLiteral("Caution !"), QString(), QStringLiteral("When you reset the database,"),
            QStringLiteral("all data is cleared."), QStringLiteral("The data can not be recovered.")}));
    QVERIFY(d.bttClear->isVisibleTo(&d) && !d.chkDblClick->isVisibleTo(&d) && !d.txtCsvFile->isVisibleTo(&d));

    d.tbPages->setCurrentIndex(FrmOptions::AdaptersPage);
    QVERIFY(!d.brGeneral->isVisibleTo(&d));
    QVERIFY(d.lstAdapters->isVisibleTo(&d) && d.txtAdapters->isVisibleTo(&d));
}

void TestFrmOptions::dblClickBoxStepsThroughThreeStates()
{
    Run run;
    FrmOptions &d = run.options();
    d.showOptions();
    const QList<QPair<Qt::CheckState, QString>> expected {
        {Qt::Checked, QStringLiteral("'Chart Window'")},
        {Qt::PartiallyChecked, QStringLiteral("'Mini Monitor'")},
        {Qt::Unchecked, QStringLiteral("'Monitor Window'")},
    };
    for (const auto &[mark, name] : expected) {
        QTest::mouseClick(d.chkDblClick, Qt::LeftButton);
        QCOMPARE(d.chkDblClick->checkState(), mark);
        QVERIFY(d.chkDblClick->text().endsWith(name));
    }
    QCOMPARE(run.settings().dblClickState(), int(Settings::MonitorWindow));

    // The monitor's Mini/Maxi steps the box with it, both ways.
    run.app->miniMaxi();
    QCOMPARE(d.chkDblClick->checkState(), Qt::PartiallyChecked);
    QVERIFY(d.chkDblClick->text().endsWith(QStringLiteral("'Mini Monitor'")));
    run.app->miniMaxi();
    QCOMPARE(d.chkDblClick->checkState(), Qt::Unchecked);
    QVERIFY(d.chkDblClick->text().endsWith(QStringLiteral("'Monitor Window'")));
    // Stepping is not storing: the tray's double-click still opens the monitor.
    QVERIFY(!run.settings().dblClickChart());
}

void TestFrmOptions::liveControlsActBeforeOk()
{
    Run run;
    FrmOptions &d = run.options();
    d.showOptions();
    run.waitForPoll();
    QVERIFY2(run.app->monitor()->rateLabel()->text().contains(QStringLiteral(" kBps.")),
        qPrintable(run.app->monitor()->rateLabel()->text()));

    QTest::mouseClick(d.chkkbits, Qt::LeftButton);
    run.waitForPoll();
    QVERIFY2(run.app->monitor()->rateLabel()->text().contains(QStringLiteral(" Kbps.")),
        qPrintable(run.app->monitor()->rateLabel()->text()));
    QTest::mouseClick(d.chkWhatsleft, Qt::LeftButton);
    QTest::mouseClick(d.chkPlayMusic, Qt::LeftButton);
    d.cboTransparent->setCurrentIndex(3);
    QVERIFY(run.settings().kilobit() && run.settings().whatsLeft() && run.settings().playWav());
    QCOMPARE(run.settings().monitorTransIndex, 3);
    // Nothing reaches the table before OK.
    QCOMPARE(run.stored(), QStringList());
}

void TestFrmOptions::adapterChoiceCountsFromTheNextPoll()
{
    const QString reason = NetworkNamespace::unavailableReason();
    if (!reason.isEmpty())
        QSKIP(qPrintable(QStringLiteral("real counters skipped: ") + reason));
    NetworkNamespace a(QStringLiteral("opt-a"));
    NetworkNamespace b(QStringLiteral("opt-b"));
    QVERIFY(a.isValid() && b.isValid());
    for (NetworkNamespace *ns : {&a, &b}) {
        QVERIFY2(ns->exec({QStringLiteral("sysctl"), QStringLiteral("-qw"),
                     QStringLiteral("net.ipv6.conf.all.disable_ipv6=1"),
                     QStringLiteral("net.ipv6.conf.default.disable_ipv6=1")}),
            qPrintable(ns->error()));
    }
    // Two veth links from a (where the program meters) to b (where the test sends from).
    const QByteArray setup = QStringLiteral("link add va type veth peer name vb netns %1\n"
                                            "link add wa type veth peer name wb netns %1\n"
                                            "addr add 10.198.0.1/24 dev va\naddr add 10.198.1.1/24 dev wa\n"
                                            "link set va up\nlink set wa up\n")
                                 .arg(b.name())
                                 .toUtf8();
    QVERIFY2(a.ipBatch(setup), qPrintable(a.error()));
    QVERIFY2(b.ipBatch("addr add 10.198.0.2/24 dev vb\naddr add 10.198.1.2/24 dev wb\nlink set vb up\nlink set wb "
                       "up\n"),
        qPrintable(b.error()));
    // Every byte that crosses a link, both ways, as the kernel counts it.
    const auto kernelBytes = [&a](const char *name) {
        QByteArray json;
        if (!a.ip({QStringLiteral("-s"), QStringLiteral("-j"), QStringLiteral("link"), QStringLiteral("show"),
                QLatin1String(name)},
                &json))
            qFatal("%s", qPrintable(a.error()));
        const QJsonObject stats = QJsonDocument::fromJson(json).array().at(0)[QStringLiteral("stats64")].toObject();
        return quint64(stats[QStringLiteral("rx")][QStringLiteral("bytes")].toDouble()
            + stats[QStringLiteral("tx")][QStringLiteral("bytes")].toDouble());
    };
    const int sender = b.inside([] { return ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0); });
    QVERIFY(sender >= 0);
    const auto send = [sender](const char *address, int datagrams) {
        sockaddr_in to {};
        to.sin_family = AF_INET;
        to.sin_port = htons(9);
        ::inet_pton(AF_INET, address, &to.sin_addr);
        const QByteArray payload(1000, 'v');
        for (int i = 0; i < datagrams; ++i)
            ::sendto(sender, payload.constData(), std::size_t(payload.size()), 0, reinterpret_cast<sockaddr *>(&to),
                sizeof to);
        QTest::qWait(100); // the datagrams and the port-unreachable answers cross the links
    };

    Run run({}, a.inside([] { return std::make_unique<LinuxInterfaceTable>(); }));
    FrmOptions &d = run.options();
    const RunCounters &c = run.app->counters();
    const auto metered = [&c] { return c.curIn + c.curOut; };
    QCOMPARE(d.lstAdapters->count(), 3); // lo, va, wa; both links chosen by default
    QVERIFY(d.lstAdapters->item(1)->isSelected() && d.lstAdapters->item(2)->isSelected());

    // wa deselected: from the next poll only va counts.
    QTest::mouseClick(d.lstAdapters->viewport(), Qt::LeftButton, {},
        d.lstAdapters->visualItemRect(d.lstAdapters->item(2)).center());
    QVERIFY(!run.settings().adapters.isSelected(2));
    run.waitForPoll();
    quint64 sum = metered();
    quint64 va = kernelBytes("va");
    const quint64 waBefore = kernelBytes("wa");
    send("10.198.0.1", 20);
    send("10.198.1.1", 30);
    run.waitForPoll();
    QCOMPARE(metered() - sum, kernelBytes("va") - va);
    QVERIFY(kernelBytes("wa") - waBefore >= 30 * 1000);

    // Chosen again, wa adds none of what it carried meanwhile, and all it carries from then on.
    QTest::mouseClick(d.lstAdapters->viewport(), Qt::LeftButton, {},
        d.lstAdapters->visualItemRect(d.lstAdapters->item(2)).center());
    run.waitForPoll();
    sum = metered();
    va = kernelBytes("va");
    const quint64 wa = kernelBytes("wa");
    send("10.198.1.1", 10);
    run.waitForPoll();
    QCOMPARE(metered() - sum, kernelBytes("wa") - wa + kernelBytes("va") - va);
    QVERIFY(metered() - sum >= 10 * 1000);
    ::close(sender);
    QCOMPARE(run.stored(), QStringList());
}

void TestFrmOptions::okStoresEveryKeyAndHandsOverTheAllowance_data()
{
    QTest::addColumn<QList<int>>("chosen");
    QTest::addColumn<QStringList>("adapterRows");
    QTest::newRow("entries 0 and 3 of four") << QList<int> {0, 3}
                                             << QStringList {QStringLiteral("Adapter0|eth0"),
                                                    QStringLiteral("Adapter3|eth3")};
    QTest::newRow("none") << QList<int> {} << QStringList {};
}

void TestFrmOptions::okStoresEveryKeyAndHandsOverTheAllowance()
{
    QFETCH(QList<int>, chosen);
    QFETCH(QStringList, adapterRows);
    Run run({QStringLiteral("'Adapter1','eth1'")});
    FrmOptions &d = run.options();
    d.showOptions();
    d.lstAdapters->clearSelection();
    for (int entry : chosen)
        d.lstAdapters->item(entry)->setSelected(true);
    d.chkWhatsleft->setChecked(true);
    QTest::mouseClick(d.chkDblClick, Qt::LeftButton);
    QTest::mouseClick(d.chkDblClick, Qt::LeftButton); // 'Mini Monitor'
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    d.cboPeriodType->setCurrentIndex(2);
    typeAndLeave(d, d.txtMaxMB, QStringLiteral("5000"));
    typeAndLeave(d, d.txtperiod, QStringLiteral("2"));
    typeAndLeave(d, d.txtStartnthDay, QStringLiteral("15.5"));
    run.settings().cachedVolume = 123;
    // Nothing of the allowance reaches the run before OK.
    QCOMPARE(run.settings().maxMB, 0.0);

    QTest::mouseClick(d.bttOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    const QStringList keys {QStringLiteral("DblClick|2"), QStringLiteral("kilobit|0"), QStringLiteral("whatsleft|1"),
        QStringLiteral("logperiod|2"), QStringLiteral("logperiodtype|2"), QStringLiteral("maxmbsize|5,000"),
        QStringLiteral("MonitorTrans|0"), QStringLiteral("logstartday|15.5"), QStringLiteral("Playwav|0")};
    QCOMPARE(run.stored(), adapterRows + keys);
    const Settings &s = run.settings();
    QCOMPARE(s.maxMB, 5000.0);
    QCOMPARE(s.periodLength, 2);
    QCOMPARE(s.periodType, 2);
    QCOMPARE(s.startDay, qint16(16));
    QCOMPARE(s.cachedVolume, 0.0);
    QVERIFY(!s.dblClickChart());
    // The mini state shrinks the monitor to its title bar whatever the volume-left box says.
    QCOMPARE(run.app->monitor()->heightTwips(), FrmMain::MiniHeight);
}

void TestFrmOptions::refusedOkKeepsEverythingAsItWas()
{
    Run run({QStringLiteral("'maxmbsize','100'")});
    FrmOptions &d = run.options();
    d.showOptions();
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    typeAndLeave(d, d.txtMaxMB, QStringLiteral("900"));
    d.lstAdapters->item(2)->setSelected(false);
    const QStringList before = run.stored();

    StoreSession holder(run.db.path());
    QVERIFY(holder.open() && holder.executeNative(QStringLiteral("begin exclusive")));
    QTest::mouseClick(d.bttOK, Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QVERIFY2(shown.first().text.contains(QStringLiteral("locked")), qPrintable(shown.first().text));
    QVERIFY(d.isVisible());
    QCOMPARE(run.settings().maxMB, 100.0);
    holder.rollback();
    QCOMPARE(run.stored(), before);

    // Once the database takes it, the same OK stores it.
    QTest::mouseClick(d.bttOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(run.settings().maxMB, 900.0);
    QVERIFY(run.stored().contains(QStringLiteral("maxmbsize|900")));
}

void TestFrmOptions::closingByTheWindowManagerSavesLikeOk()
{
    Run run;
    FrmOptions &d = run.options();
    d.showOptions();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    // Escape while the field still has the focus: the field is checked, then stored.
    d.txtperiod->setFocus(Qt::MouseFocusReason);
    d.txtperiod->selectAll();
    QTest::keyClicks(d.txtperiod, QStringLiteral("1.4"));
    QTest::keyClick(d.txtperiod, Qt::Key_Escape);
    QVERIFY(!d.isVisible());
    QCOMPARE(run.settings().periodLength, 1);
    QVERIFY(run.stored().contains(QStringLiteral("logperiod|1")));

    d.showOptions();
    QVERIFY(d.close() == true);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.tbPages->currentIndex(), int(FrmOptions::VolumeLeftPage)); // shown again where it was
}

void TestFrmOptions::fieldChecks_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("previewRefreshed");
    const struct
    {
        const char *field;
        const char *typed;
        const char *shownEnglish;
        const char *shownGerman;
        bool refreshed;
    } cases[] = {
        {"maxMB", "abc", "0", "0", false},
        {"maxMB", "0", "0", "0", false},
        {"maxMB", "5119999", "5,119,999", "5.119.999", true},
        {"maxMB", "5120000", "0", "0", false},
        {"maxMB", "0#4", "0", "0", false},
        {"maxMB", "0#6", "1", "1", true},
        {"maxMB", "2#5", "2", "2", true},
        {"maxMB", "12345678901234567890", "0", "0", false},
        {"period", "365", "365", "365", true},
        {"period", "366", "0", "0", true},
        {"period", "-3", "0", "0", true},
        {"period", "1#4", "1", "1", true},
        {"startDay", "31", "31", "31", true},
        {"startDay", "32", "1", "1", true},
        {"startDay", "0", "1", "1", true},
        {"startDay", "15#5", "15.5", "15,5", true},
    };
    for (const char *locale : {"en_US", "de_DE"}) {
        const bool german = QLatin1String(locale) == QLatin1String("de_DE");
        const QString point = german ? QStringLiteral(",") : QStringLiteral(".");
        for (const auto &c : cases) {
            QTest::addRow("%s %s %s", locale, c.field, c.typed)
                << QString::fromLatin1(locale) << QString::fromLatin1(c.field)
                << QString::fromLatin1(c.typed).replace(QLatin1Char('#'), point)
                << QString::fromUtf8(german ? c.shownGerman : c.shownEnglish) << c.refreshed;
        }
    }
}

void TestFrmOptions::fieldChecks()
{
    QFETCH(QString, locale);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(bool, previewRefreshed);
    QLocale::setDefault(QLocale(locale));
    Run run;
    FrmOptions &d = run.options();
    d.showOptions();
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    QLineEdit *edit = field == QLatin1String("maxMB") ? d.txtMaxMB
        : field == QLatin1String("period")            ? d.txtperiod
                                                      : d.txtStartnthDay;
    d.cboPeriodType->setCurrentIndex(2); // the start day is asked for monthly periods only
    d.lblpreview->setText(QStringLiteral("unchanged"));
    typeAndLeave(d, edit, typed);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(d.bttOK->hasFocus(), true); // never keeps the focus
    QCOMPARE(d.lblpreview->text() != QLatin1String("unchanged"), previewRefreshed);
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestFrmOptions::previewNeverAlerts()
{
    // 900 of 1000 MB used this month: 10 % left, red on the monitor, two warnings due.
    TestDatabase db;
    db.exec(QStringLiteral("insert into log values ('2026-12-04 10:00:00', '2026-12-04 11:00:00', %1, %1, 0)")
                .arg(450LL * 1024 * 1024));
    FakeClock clock;
    RunCounters counters;
    Settings settings;
    settings.playWavState = 1;
    CountingSound sound;
    VolumeLeftText volumeLeft(db.path(), clock, counters, settings, &sound, QString());
    double monitorCache = 0;
    (void)volumeLeft.text(10000, 1, QStringLiteral("2"), monitorCache, true, 1);
    QCOMPARE(volumeLeft.alert(), VolumeAlert::Green);
    FrmMain monitor;
    FrmOptions d({settings, clock, volumeLeft, monitor, db.path(), QString()});
    d.showOptions();
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    typeAndLeave(d, d.txtperiod, QStringLiteral("1"));
    d.cboPeriodType->setCurrentIndex(2);
    typeAndLeave(d, d.txtMaxMB, QStringLiteral("1000"));
    QCOMPARE(d.lblpreview->text(), QStringLiteral("100 MB (10.0 %) Left."));
    QCOMPARE(d.lblStartdate->text(), QStringLiteral("Starting from 01 Nov 2026"));
    QCOMPARE(volumeLeft.alert(), VolumeAlert::Green);
    QCOMPARE(sound.played, 0);
    QCOMPARE(monitorCache, 900.0); // the monitor's cache is its own
}

void TestFrmOptions::trayMenuShowsOneDialog()
{
    Run run;
    QVERIFY(run.app->trayMenu()->options->isEnabled());
    run.app->trayMenu()->options->trigger();
    FrmOptions *first = run.app->options();
    QVERIFY(first->isVisible());
    first->tbPages->setCurrentIndex(FrmOptions::ResetPage);
    QTest::mouseClick(first->bttOK, Qt::LeftButton);
    run.app->trayMenu()->options->trigger();
    run.app->trayMenu()->options->trigger();
    QCOMPARE(run.app->options(), first);
    QVERIFY(first->isVisible());
    QCOMPARE(first->tbPages->currentIndex(), int(FrmOptions::ResetPage));
    int dialogs = 0;
    for (QWidget *w : QApplication::topLevelWidgets())
        dialogs += qobject_cast<FrmOptions *>(w) && w->isVisible() ? 1 : 0;
    QCOMPARE(dialogs, 1);
}

QTEST_MAIN(TestFrmOptions)
#include "tst_frmoptions.moc"
