// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeClock.h"
#include "NetworkNamespace.h"
#include "RunningProgram.h"

#include "core/Settings.h"
#include "core/traffic/LinuxInterfaceTable.h"
#include "core/traffic/RunCounters.h"
#include "core/traffic/VolumeLeftText.h"
#include "core/traffic/WarningSound.h"
#include "monitor/FrmMain.h"
#include "options/FrmOptions.h"
#include "desktop/MessageBox.h"
#include "app/VarnoltApp.h"

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
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The program started on a copy of the shipped database with the given settings rows ("('name',
// 'value'), ..."), metering four fake cards.
struct Run : RunningProgram
{
    explicit Run(const QString &settingsRows = {}, std::unique_ptr<InterfaceTable> table = nullptr)
    {
        start(settingsRows.isEmpty() ? QStringList() : QStringList {u"insert into settings values "_s + settingsRows},
            std::move(table), 4);
        if (options().controlsBuilt())
            qFatal("the dialog built its controls before it was shown");
        options().buildControls();
    }

    FrmOptions &options() { return *app->options(); }
    Settings &settings() { return app->settings(); }
    QStringList stored() const
    {
        return db.rows(
            u"select settingname, settingvalue from settings where settingname <> 'ExportFolder' order by rowid"_s);
    }
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
    void pagesShowTheirControls();
    void dblClickBoxStepsThroughThreeStates();
    void liveControlsActBeforeOk();
    void adapterChoiceCountsFromTheNextPoll();
    void okStoresEveryKeyAndHandsOverTheAllowance_data();
    void okStoresEveryKeyAndHandsOverTheAllowance();
    void refusedOkKeepsEverythingAsItWas();
    void fieldChecks_data();
    void fieldChecks();
    void previewNeverAlerts();
};

void TestFrmOptions::loadingSetsEveryControl_data()
{
    QTest::addColumn<int>("dblClick");
    QTest::addColumn<Qt::CheckState>("mark");
    QTest::addColumn<QString>("caption");
    QTest::newRow("chart") << 1 << Qt::Checked << u"DblClick on Systray Icon : 'Chart Window'"_s;
    QTest::newRow("mini") << 2 << Qt::PartiallyChecked << u"DblClick on Systray Icon : 'Mini Monitor'"_s;
}

void TestFrmOptions::loadingSetsEveryControl()
{
    QFETCH(int, dblClick);
    QFETCH(Qt::CheckState, mark);
    QFETCH(QString, caption);
    Run run(u"('DblClick','%1'), ('kilobit','1'), ('whatsleft','1'), ('Playwav','0'), ('maxmbsize','5000'), "
            u"('logperiod','3'), ('logperiodtype','2'), ('logstartday','15'), ('MonitorTrans','2'), "
            u"('ExportFolder','/srv/traffic.csv'), ('Adapter0','eth0'), ('Adapter3','eth3')"_s.arg(dblClick));
    FrmOptions &d = run.options();

    QVERIFY(!d.isVisible());
    QCOMPARE(d.chkDblClick->text(), caption);
    QCOMPARE((QList<Qt::CheckState> {d.chkDblClick->checkState(), d.chkkbits->checkState(),
                 d.chkWhatsleft->checkState(), d.chkPlayMusic->checkState()}),
        (QList<Qt::CheckState> {mark, Qt::Checked, Qt::Checked, Qt::Unchecked}));
    QCOMPARE(
        (QStringList {d.txtMaxMB->text(), d.txtperiod->text(), d.txtStartnthDay->text(), d.cboPeriodType->currentText(),
            d.cboTransparent->currentText(), d.cboChartType->currentText(), d.txtCsvFile->text()}),
        (QStringList {
            u"5000"_s, u"3"_s, u"15"_s, u"Month(s)-d/mm"_s, u"50"_s, u"Per Day (MB)"_s, u"/srv/traffic.csv"_s}));
    QCOMPARE(d.lstAdapters->count(), 4);
    QStringList selected;
    for (int i = 0; i < d.lstAdapters->count(); ++i)
        selected << (d.lstAdapters->item(i)->isSelected() ? d.lstAdapters->item(i)->text() : u"-"_s);
    QCOMPARE(selected, (QStringList {u"eth0"_s, u"-"_s, u"-"_s, u"eth3"_s}));
    // The general page first; loading a monthly period does not uncover the start day there.
    QCOMPARE(d.tbPages->currentIndex(), int(FrmOptions::GeneralPage));
    QVERIFY(!d.txtStartnthDay->isVisibleTo(&d));
}

void TestFrmOptions::pagesShowTheirControls()
{
    Run run(u"('logperiodtype','2')"_s);
    FrmOptions &d = run.options();
    // Nothing covers the row of tabs; OK lies inside the dialog.
    QVERIFY(d.brGeneral->y() > d.tbPages->tabBar()->geometry().translated(d.tbPages->pos()).bottom());
    QVERIFY(d.rect().contains(d.bttOK->geometry()));
    const auto inDialog = [&d](const QWidget *w) { return QRect(w->mapTo(&d, QPoint()), w->size()); };
    QSet<QString> titles;

    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    titles << d.brGeneral->title();
    // The fields, each placed from the places of the ones before it, lie in the frame and apart.
    const QList<QWidget *> fields {d.txtMaxMB, d.txtperiod, d.cboPeriodType, d.txtStartnthDay};
    for (const QWidget *one : fields) {
        QVERIFY(inDialog(d.brGeneral).contains(inDialog(one)));
        for (const QWidget *other : fields)
            QVERIFY(one == other || !inDialog(one).intersects(inDialog(other)));
    }
    QVERIFY(d.txtStartnthDay->isVisibleTo(&d));
    QVERIFY(!d.chkDblClick->isVisibleTo(&d));
    d.cboPeriodType->setCurrentIndex(0);
    QVERIFY(!d.txtStartnthDay->isVisibleTo(&d) && !d.lblStartDay->isVisibleTo(&d));
    d.cboPeriodType->setCurrentIndex(2);
    QVERIFY(d.txtStartnthDay->isVisibleTo(&d) && d.lblStartDay->isVisibleTo(&d));

    d.tbPages->setCurrentIndex(FrmOptions::GeneralPage);
    titles << d.brGeneral->title();
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
    titles << d.brGeneral->title();
    QCOMPARE(titles.size(), 3); // each page names itself
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
    // The box's mark and the window its caption names.
    using Box = std::pair<Qt::CheckState, QString>;
    const auto box = [&d] { return Box(d.chkDblClick->checkState(), d.chkDblClick->text().section(u" : "_s, 1)); };
    const Box chart(Qt::Checked, u"'Chart Window'"_s);
    const Box mini(Qt::PartiallyChecked, u"'Mini Monitor'"_s);
    const Box monitor(Qt::Unchecked, u"'Monitor Window'"_s);
    for (const Box &next : {chart, mini, monitor}) {
        QTest::mouseClick(d.chkDblClick, Qt::LeftButton);
        QCOMPARE(box(), next);
    }
    QCOMPARE(run.settings().dblClickState(), int(Settings::MonitorWindow));

    // The monitor's Mini/Maxi steps the box with it, both ways.
    run.app->miniMaxi();
    QCOMPARE(box(), mini);
    run.app->miniMaxi();
    QCOMPARE(box(), monitor);
    // Stepping is not storing: the tray's double-click still opens the monitor.
    QVERIFY(!run.settings().dblClickChart());
}

void TestFrmOptions::liveControlsActBeforeOk()
{
    Run run;
    FrmOptions &d = run.options();
    d.showOptions();
    run.waitForPoll();
    QVERIFY2(run.app->monitor()->rateLabel()->text().contains(u" kBps."_s),
        qPrintable(run.app->monitor()->rateLabel()->text()));

    QTest::mouseClick(d.chkkbits, Qt::LeftButton);
    run.waitForPoll();
    QVERIFY2(run.app->monitor()->rateLabel()->text().contains(u" Kbps."_s),
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
        QSKIP(qPrintable(u"real counters skipped: "_s + reason));
    NetworkNamespace a(u"opt-a"_s);
    NetworkNamespace b(u"opt-b"_s);
    QVERIFY(a.isValid() && b.isValid());
    for (NetworkNamespace *ns : {&a, &b}) {
        QVERIFY2(ns->exec({u"sysctl"_s, u"-qw"_s, u"net.ipv6.conf.all.disable_ipv6=1"_s,
                     u"net.ipv6.conf.default.disable_ipv6=1"_s}),
            qPrintable(ns->error()));
    }
    // Two veth links from a (where the program meters) to b (where the test sends from).
    QVERIFY2(
        a.ipBatch(u"link add va type veth peer name vb netns %1\nlink add wa type veth peer name wb netns %1\n"
                  u"addr add 10.198.0.1/24 dev va\naddr add 10.198.1.1/24 dev wa\nlink set va up\nlink set wa up\n"_s
                      .arg(b.name())
                      .toUtf8()),
        qPrintable(a.error()));
    QVERIFY2(
        b.ipBatch("addr add 10.198.0.2/24 dev vb\naddr add 10.198.1.2/24 dev wb\nlink set vb up\nlink set wb up\n"),
        qPrintable(b.error()));
    // Every byte that crosses a link, both ways, as the kernel counts it.
    const auto kernelBytes = [&a](const char *name) {
        QByteArray json;
        if (!a.ip({u"-s"_s, u"-j"_s, u"link"_s, u"show"_s, QLatin1String(name)}, &json))
            qFatal("%s", qPrintable(a.error()));
        const QJsonObject stats = QJsonDocument::fromJson(json).array().at(0)[u"stats64"_s].toObject();
        return quint64(stats[u"rx"_s][u"bytes"_s].toDouble() + stats[u"tx"_s][u"bytes"_s].toDouble());
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
    QCOMPARE(d.lstAdapters->count(), 3); // lo, va, wa; both links chosen by default
    QVERIFY(d.lstAdapters->item(1)->isSelected() && d.lstAdapters->item(2)->isSelected());
    const auto clickWa = [&d] {
        QTest::mouseClick(d.lstAdapters->viewport(), Qt::LeftButton, {},
            d.lstAdapters->visualItemRect(d.lstAdapters->item(2)).center());
    };
    // What the program metered, and what va and wa carried, from a poll over the steps to the
    // poll after them.
    struct Carried
    {
        quint64 metered, va, wa;
    };
    const RunCounters &c = run.app->counters();
    const auto over = [&](const std::function<void()> &steps) {
        run.waitForPoll();
        const Carried before {quint64(c.curIn + c.curOut), kernelBytes("va"), kernelBytes("wa")};
        steps();
        run.waitForPoll();
        return Carried {
            quint64(c.curIn + c.curOut) - before.metered, kernelBytes("va") - before.va, kernelBytes("wa") - before.wa};
    };

    // wa deselected: from the next poll only va counts.
    clickWa();
    QVERIFY(!run.settings().adapters.isSelected(2));
    const Carried off = over([&] {
        send("10.198.0.1", 20);
        send("10.198.1.1", 30);
    });
    QCOMPARE(off.metered, off.va);
    QVERIFY(off.wa >= 30 * 1000);

    // Chosen again, wa adds none of what it carried meanwhile, and all it carries from the next
    // poll on.
    const Carried on = over([&] {
        clickWa();
        run.waitForPoll();
        send("10.198.1.1", 10);
    });
    QCOMPARE(on.metered, on.va + on.wa);
    QVERIFY(on.wa >= 10 * 1000);
    ::close(sender);
    QCOMPARE(run.stored(), QStringList());
}

void TestFrmOptions::okStoresEveryKeyAndHandsOverTheAllowance_data()
{
    QTest::addColumn<QList<int>>("chosen");
    QTest::addColumn<QStringList>("adapterRows");
    QTest::newRow("entries 0 and 3 of four")
        << QList<int> {0, 3} << QStringList {u"Adapter0|eth0"_s, u"Adapter3|eth3"_s};
    QTest::newRow("none") << QList<int> {} << QStringList {};
}

void TestFrmOptions::okStoresEveryKeyAndHandsOverTheAllowance()
{
    QFETCH(QList<int>, chosen);
    QFETCH(QStringList, adapterRows);
    Run run(u"('Adapter1','eth1')"_s);
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
    typeAndLeave(d, d.txtMaxMB, u"5000"_s);
    typeAndLeave(d, d.txtperiod, u"2"_s);
    typeAndLeave(d, d.txtStartnthDay, u"15.5"_s);
    run.settings().cachedVolume = 123;
    // Nothing of the allowance reaches the run before OK.
    QCOMPARE(run.settings().maxMB, 0.0);

    QTest::mouseClick(d.bttOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    const QStringList keys {u"DblClick|2"_s, u"kilobit|0"_s, u"whatsleft|1"_s, u"logperiod|2"_s, u"logperiodtype|2"_s,
        u"maxmbsize|5,000"_s, u"MonitorTrans|0"_s, u"logstartday|15.5"_s, u"Playwav|0"_s};
    QCOMPARE(run.stored(), adapterRows + keys);
    // The allowance handed over: 5000 MB every 2 months from the 16th, the cached volume dropped.
    const Settings &s = run.settings();
    QCOMPARE(
        (QList<double> {s.maxMB, double(s.periodLength), double(s.periodType), double(s.startDay), s.cachedVolume}),
        (QList<double> {5000, 2, 2, 16, 0}));
    QVERIFY(!s.dblClickChart());
    // The mini state shrinks the monitor to its title bar whatever the volume-left box says.
    QCOMPARE(run.app->monitor()->heightTwips(), FrmMain::MiniHeight);
}

void TestFrmOptions::refusedOkKeepsEverythingAsItWas()
{
    Run run(u"('maxmbsize','100')"_s);
    FrmOptions &d = run.options();
    d.showOptions();
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    typeAndLeave(d, d.txtMaxMB, u"900"_s);
    d.lstAdapters->item(2)->setSelected(false);
    const QStringList before = run.stored();

    StoreSession holder(run.db.path());
    QVERIFY(holder.open() && holder.executeNative(u"begin exclusive"_s));
    QTest::mouseClick(d.bttOK, Qt::LeftButton);
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().icon, QMessageBox::Critical);
    QVERIFY2(shown.first().text.contains(u"locked"_s), qPrintable(shown.first().text));
    QVERIFY(d.isVisible());
    QCOMPARE(run.settings().maxMB, 100.0);
    holder.rollback();
    QCOMPARE(run.stored(), before);

    // Once the database takes it, the same OK stores it.
    QTest::mouseClick(d.bttOK, Qt::LeftButton);
    QVERIFY(!d.isVisible());
    QCOMPARE(run.settings().maxMB, 900.0);
    QVERIFY(run.stored().contains(u"maxmbsize|900"_s));
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
        const bool german = QLatin1String(locale) == u"de_DE"_s;
        const QString point = german ? u","_s : u"."_s;
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
    QLineEdit *edit = field == u"maxMB"_s ? d.txtMaxMB : field == u"period"_s ? d.txtperiod : d.txtStartnthDay;
    d.cboPeriodType->setCurrentIndex(2); // the start day is asked for monthly periods only
    d.lblpreview->setText(u"unchanged"_s);
    typeAndLeave(d, edit, typed);
    QCOMPARE(edit->text(), shown);
    QCOMPARE(d.bttOK->hasFocus(), true); // never keeps the focus
    QCOMPARE(d.lblpreview->text() != u"unchanged"_s, previewRefreshed);
    QVERIFY(MessageBox::takeShown().isEmpty());
}

void TestFrmOptions::previewNeverAlerts()
{
    // 900 of 1000 MB used this month: 10 % left, red on the monitor, two warnings due.
    TestDatabase db;
    db.exec(
        u"insert into log values ('2026-12-04 10:00:00', '2026-12-04 11:00:00', %1, %1, 0)"_s.arg(450LL * 1024 * 1024));
    FakeClock clock;
    RunCounters counters;
    Settings settings;
    settings.playWavState = 1;
    CountingSound sound;
    VolumeLeftText volumeLeft(db.path(), clock, counters, settings, &sound, QString());
    double monitorCache = 0;
    (void)volumeLeft.text(10000, 1, u"2"_s, monitorCache, true, 1);
    QCOMPARE(volumeLeft.alert(), VolumeAlert::Green);
    FrmMain monitor;
    FrmOptions d({settings, clock, volumeLeft, monitor, db.path(), QString()});
    d.showOptions();
    d.tbPages->setCurrentIndex(FrmOptions::VolumeLeftPage);
    typeAndLeave(d, d.txtperiod, u"1"_s);
    d.cboPeriodType->setCurrentIndex(2);
    typeAndLeave(d, d.txtMaxMB, u"1000"_s);
    QCOMPARE(d.lblpreview->text(), u"100 MB (10.0 %) Left."_s);
    QCOMPARE(d.lblStartdate->text(), u"Starting from 01 Nov 2026"_s);
    QCOMPARE(volumeLeft.alert(), VolumeAlert::Green);
    QCOMPARE(sound.played, 0);
    QCOMPARE(monitorCache, 900.0); // the monitor's cache is its own
}

QTEST_MAIN(TestFrmOptions)
#include "tst_frmoptions.moc"
