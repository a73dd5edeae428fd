// SPDX-License-Identifier: GPL-3.0-or-later
#include "OnscreenRun.h"

#include "core/Clock.h"
#include "options/FrmOptions.h"
#include "shell/TrayMenu.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

// The window manager's stacking order, bottom to top.
qsizetype stackedAt(const QWidget &window)
{
    return DesktopScreen::property(DesktopScreen::root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW)
        .indexOf(quint32(window.winId()));
}

// The message box on the screen, if any: the program's boxes are windows of their own.
QMessageBox *shownBox()
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (auto *box = qobject_cast<QMessageBox *>(window); box && box->isVisible())
            return box;
    }
    return nullptr;
}

// A message box the program is expected to show, and how the user answers it.
struct BoxAnswer
{
    QMessageBox::StandardButton press;
    bool byKey = false; // Return, to the box with the focus; else a click on the button
};

} // namespace

// The options dialog of the real program, opened from its icon in a real tray (trayer) under
// a real window manager (openbox), and worked with real clicks and keys (xdotool).
class TestOptionsDialog : public QObject, private OnscreenRun
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { startDesktop(); }
    void init();
    void cleanup() { stopApp(); }
    void trayMenuOpensOneDialog();
    void windowManagerCloseStores_data();
    void windowManagerCloseStores();
    void exportAndResetThroughRealBoxes();
    void exportLabelAfterItsBlink();

private:
    FrmOptions &dialog() const { return *m_app->options(); }
    // Chooses "O&ptions..." in the tray menu and waits until the dialog has the focus.
    void openFromTrayMenu();
    void clickTab(int page);
    // Clicks into a text field and types over its text.
    void typeInto(QLineEdit *field, const QString &text);
    // Does act, then answers, in order, the boxes it brings up, each from inside the box's
    // own event loop; returns when all are answered and closed.
    void answerBoxes(const std::function<void()> &act, const QList<BoxAnswer> &answers);
    void answerBox(QMessageBox &box, const BoxAnswer &answer);

    SystemClock m_clock;
};

void TestOptionsDialog::init()
{
    m_db = std::make_unique<TestDatabase>();
    // Values to show on the pages, and a row of the log to export.
    m_db->exec(QStringLiteral("insert into settings values ('maxmbsize', '20,000'), ('logperiod', '1'), "
                              "('logperiodtype', '2'), ('logstartday', '15'), ('whatsleft', '1'), "
                              "('Adapter1', 'enp3s0'), ('Adapter2', 'wlp2s0'), "
                              "('ExportFolder', '/home/user/Varnolt.csv')"));
    m_db->exec(
        QStringLiteral("insert into log values ('2026-11-01 00:00:00', '2026-11-01 02:00:00', 1000, 5000, 3.5)"));
    // Two cards the program meters by default, and two interfaces it leaves out.
    startApp(m_clock,
        {{1, QStringLiteral("lo"), 0, 0, false, true}, {2, QStringLiteral("enp3s0")}, {3, QStringLiteral("wlp2s0")},
            {4, QStringLiteral("docker0"), 0, 0, false}});
}

void TestOptionsDialog::openFromTrayMenu()
{
    m_tray.chooseFromMenu(m_app->trayIcon()->icon(), m_app->trayMenu()->menu(), m_app->trayMenu()->options);
    QTRY_VERIFY(dialog().isVisible());
    // Keys a user types go to the window with the focus: the dialog must get it.
    QTRY_COMPARE(DesktopScreen::activeWindow(), quint32(dialog().winId()));
}

void TestOptionsDialog::clickTab(int page)
{
    const QTabBar &tabs = *dialog().tbPages->tabBar();
    DesktopInput::click(DesktopInput::onScreen(tabs, tabs.tabRect(page).center()));
    QTRY_COMPARE(dialog().tbPages->currentIndex(), page);
}

void TestOptionsDialog::typeInto(QLineEdit *field, const QString &text)
{
    DesktopInput::clickOn(*field);
    QTRY_VERIFY(field->hasFocus());
    DesktopInput::key(QStringLiteral("ctrl+a"));
    DesktopInput::type(text);
    QTRY_COMPARE(field->text(), text);
}

void TestOptionsDialog::answerBoxes(const std::function<void()> &act, const QList<BoxAnswer> &answers)
{
    qsizetype answered = 0;
    bool busy = false;
    QTimer watch;
    connect(&watch, &QTimer::timeout, [&] {
        QMessageBox *box = busy ? nullptr : shownBox();
        if (!box)
            return;
        busy = true;
        if (answered < answers.size())
            answerBox(*box, answers.at(answered));
        else
            QTest::qFail(qPrintable(QStringLiteral("one box too many: ") + box->text()), __FILE__, __LINE__);
        ++answered;
        // A failed check leaves the box open: closing it lets its event loop, and so the test, end.
        if (box->isVisible())
            box->done(QMessageBox::No);
        busy = false;
    });
    watch.start(50);
    act();
    QTRY_VERIFY_WITH_TIMEOUT(answered >= answers.size() && !shownBox(), 10000);
    QCOMPARE(answered, answers.size());
}

void TestOptionsDialog::answerBox(QMessageBox &box, const BoxAnswer &answer)
{
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    // The box comes up over the dialog and takes the keys the user types.
    QTRY_COMPARE(DesktopScreen::activeWindow(), quint32(box.winId()));
    QVERIFY(stackedAt(box) > stackedAt(dialog()));
    // Over the dialog it belongs to: its centre within the dialog's frame.
    const QRect frame = DesktopScreen::outerFrame(box);
    QVERIFY2(DesktopScreen::outerFrame(dialog()).contains(frame.center()),
        qPrintable(QStringLiteral("box at %1,%2").arg(frame.x()).arg(frame.y())));
    // Return alone never erases or replaces: a question's default is No.
    if (box.button(QMessageBox::No))
        QCOMPARE(box.defaultButton(), box.button(QMessageBox::No));
    if (answer.byKey)
        DesktopInput::key(QStringLiteral("Return"));
    else
        DesktopInput::clickOn(*box.button(answer.press));
    QTRY_VERIFY(!box.isVisible());
    QCOMPARE(box.clickedButton(), box.button(answer.press));
}

void TestOptionsDialog::trayMenuOpensOneDialog()
{
    QTRY_VERIFY(m_app->counters().rowStart.isValid());
    m_table->row(QStringLiteral("wlp2s0")).in += 3500 * 1048576ULL; // for the preview

    openFromTrayMenu();
    QCOMPARE(DesktopScreen::managedWindowsTitled(FrmOptions::caption()), 1);
    QVERIFY(dialog().cboTransparent->isVisible()); // offered where windows can be translucent
    // Centred on the screen, with its frame.
    const QRect frame = DesktopScreen::outerFrame(dialog());
    const QRect screen = dialog().screen()->availableGeometry();
    QVERIFY2(
        qAbs(frame.center().x() - screen.center().x()) <= 8 && qAbs(frame.center().y() - screen.center().y()) <= 40,
        qPrintable(QStringLiteral("frame at %1,%2").arg(frame.x()).arg(frame.y())));
    QVERIFY(frame.height() > dialog().height()); // a title bar

    // Another window over it; the menu brings the same dialog back to the front.
    QWidget cover;
    cover.setWindowTitle(QStringLiteral("Another program"));
    cover.setGeometry(frame.adjusted(-40, -40, 40, 40));
    cover.show();
    QVERIFY(QTest::qWaitForWindowExposed(&cover));
    cover.activateWindow();
    QTRY_VERIFY(stackedAt(cover) > stackedAt(dialog()));
    QTRY_COMPARE(DesktopScreen::activeWindow(), quint32(cover.winId()));
    const WId shown = dialog().winId();
    openFromTrayMenu();
    QTRY_VERIFY(stackedAt(dialog()) > stackedAt(cover));
    QCOMPARE(dialog().winId(), shown);
    QCOMPARE(DesktopScreen::managedWindowsTitled(FrmOptions::caption()), 1);
    cover.hide();

    // Minimised by the window manager, with no taskbar button to bring it back: the menu does.
    DesktopInput::xdotool({QStringLiteral("windowminimize"), QString::number(dialog().winId())});
    QTRY_VERIFY(dialog().windowState().testFlag(Qt::WindowMinimized));
    openFromTrayMenu();
    QVERIFY(!dialog().windowState().testFlag(Qt::WindowMinimized));

    // Each page, chosen by its tab and drawn: the screen shows what the dialog paints, but for
    // a text cursor. The pictures of the pages come from here.
    for (const auto &[page, picture] :
        QList<std::pair<int, const char *>> {{FrmOptions::AdaptersPage, "options-adapters.png"},
            {FrmOptions::ResetPage, "options-reset.png"}, {FrmOptions::VolumeLeftPage, "options-volume-left.png"},
            {FrmOptions::GeneralPage, "options-general.png"}}) {
        clickTab(page);
        QTRY_VERIFY(DesktopScreen::changedShare(
                        DesktopScreen::pixels().copy(DesktopScreen::onScreen(dialog())), dialog().grab().toImage())
            < 0.01);
        DesktopScreen::screenshot(QLatin1String(picture), DesktopScreen::outerFrame(dialog()).adjusted(-8, -8, 8, 8));
    }
}

void TestOptionsDialog::windowManagerCloseStores_data()
{
    // Keys, or none for a click on the close button.
    QTest::addColumn<QString>("keys");
    // Alt+F4 is the window manager's close as the button is.
    QTest::newRow("Escape") << QStringLiteral("Escape");
    QTest::newRow("the title bar's close button") << QString();
}

// The dialog has no cancel: closing it keeps what the user typed, as OK does, even with the
// focus still in the field.
void TestOptionsDialog::windowManagerCloseStores()
{
    QFETCH(QString, keys);
    openFromTrayMenu();
    clickTab(FrmOptions::VolumeLeftPage);
    typeInto(dialog().txtperiod, QStringLiteral("7.4")); // checked as it is stored

    if (keys.isEmpty())
        DesktopInput::clickCloseButton(dialog());
    else
        DesktopInput::key(keys);
    QTRY_VERIFY(!dialog().isVisible());
    QTRY_COMPARE(DesktopScreen::managedWindowsTitled(FrmOptions::caption()), 0);
    QCOMPARE(m_db->rows(QStringLiteral("select Settingvalue from settings where Settingname = 'logperiod'")),
        QStringList {QStringLiteral("7")});
}

// Export and reset answered in the program's own message boxes, with real clicks and keys;
// what the files and the log hold is the offscreen tests': here, that each box comes up where
// the user sees it and takes the answer given.
void TestOptionsDialog::exportAndResetThroughRealBoxes()
{
    openFromTrayMenu();
    QTemporaryDir files;
    const QString path = files.filePath(QStringLiteral("traffic.csv"));
    QFile old(path);
    QVERIFY(old.open(QIODevice::WriteOnly) && old.write("the user's own notes") > 0);
    old.close();
    typeInto(dialog().txtCsvFile, path);

    answerBoxes([&] { DesktopInput::clickOn(*dialog().bttExport); }, {{QMessageBox::Yes}, {QMessageBox::Ok, true}});

    clickTab(FrmOptions::ResetPage);
    answerBoxes([&] { DesktopInput::clickOn(*dialog().bttClear); }, {{QMessageBox::Yes}, {QMessageBox::Ok}});
}

// The statistics window's way to the export makes "Export Log :" blink; afterwards the screen
// shows the label exactly as before, in a light and in a dark palette (its text light then).
void TestOptionsDialog::exportLabelAfterItsBlink()
{
    openFromTrayMenu();
    const QPalette light = QApplication::palette();
    for (const QPalette &palette : {light, QPalette(QColor(0x2b, 0x2b, 0x2b))}) {
        QApplication::setPalette(palette);
        QTRY_COMPARE(dialog().lblExport2->palette().color(QPalette::Window), palette.color(QPalette::Window));
        const auto shown = [](const QWidget &w) { return DesktopScreen::pixels().copy(DesktopScreen::onScreen(w)); };
        QTRY_VERIFY(DesktopScreen::changedShare(shown(dialog()), dialog().grab().toImage()) < 0.01);
        const QImage first = shown(*dialog().lblExport2);
        dialog().pointToExport();
        QTRY_VERIFY(shown(*dialog().lblExport2) != first); // red and bold where the user looks
        QTRY_VERIFY_WITH_TIMEOUT(!dialog().findChild<QTimer *>(QStringLiteral("blinkTick"))->isActive(), 6000);
        QTRY_COMPARE(shown(*dialog().lblExport2), first);
    }
    QApplication::setPalette(light);
}

QTEST_MAIN(TestOptionsDialog)
#include "tst_optionsdialog.moc"
