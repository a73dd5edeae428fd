// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "monitor/MonitorView.h"

#include <QTimer>
#include <QWidget>

class QLabel;
class Settings;
class Throughput;

// The monitor window: the row's volumes, the rate line, the two graphs and the volume-left
// line, with the timer whose tick is the monitor's poll. It is shown and hidden from the
// tray and keeps running while hidden.
class FrmMain final : public QWidget, public MonitorView
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FrmMain)

public:
    // The window's heights in twips, title bar included.
    static constexpr int NormalHeight = 1560;
    static constexpr int VolumeLeftHeight = 1830;
    static constexpr int MiniHeight = 50;
    static constexpr int PollIntervalMsecs = 500;

    explicit FrmMain(QWidget *parent = nullptr);

    // The height the settings give: the mini state's title bar (over the rate line), or the
    // full window with or without the volume-left line.
    static int heightFor(const Settings &settings);

    // TmrCheckit: off until start-up has finished.
    QTimer &pollTimer() { return m_timer; }

    void setHeightTwips(int twips);
    // The mini state: the title bar and the rate line below it.
    bool isMini() const { return m_heightTwips < FullHeightTwips; }

    // The labels and graphs are built just before the window is first shown (a run that stays
    // in the tray never loads their fonts); until then, and whenever it is hidden or
    // minimised, the window keeps only what the poll gave it and shows it when it is seen.
    void buildControls();

    // Shown and not minimised: the user sees the figures.
    bool isShown() const { return isVisible() && !isMinimized(); }
    void setVisible(bool visible) override;

    QLabel *downloadLabel()
    {
        showFigures();
        return m_download;
    }
    QLabel *uploadLabel()
    {
        showFigures();
        return m_upload;
    }
    QLabel *rateLabel()
    {
        showFigures();
        return m_rateLine;
    }
    QLabel *volumeLeftLabel()
    {
        showFigures();
        return m_volumeLeft;
    }
    // "Not logged: ..." below the designed controls while the database refuses the open row;
    // null until the first problem.
    QLabel *storeProblemLabel() const { return m_problemLine; }
    // "Router: <name>" below the designed controls while a router is metered (in the mini
    // state only while it does not answer, in red); null until a router is.
    QLabel *sourceLabel() const { return m_sourceLine; }
    Throughput *downGraph()
    {
        showFigures();
        return m_downGraph;
    }
    Throughput *upGraph()
    {
        showFigures();
        return m_upGraph;
    }
    // The newest tip the poll gave (the tray may show the one before it for up to a second).
    QString trayTip() const { return m_trayTip; }
    StoreProblem storeProblem() const { return m_storeProblem; }
    VolumeAlert volumeAlert() const { return m_alert; }

    // What the poll fills in.
    int heightTwips() const override { return m_heightTwips; }
    bool figuresShown() const override { return isShown(); }
    void setDownloadText(const QString &text) override;
    void setUploadText(const QString &text) override;
    void setCaption(const QString &text) override;
    void setRateLine(const QString &text) override;
    void setGraphMax(int max) override;
    void addGraphValues(int download, int upload) override;
    void setGraphToolTip(const QString &text) override;
    void setVolumeLeft(const QString &text, VolumeAlert alert) override;
    void setTrayTip(const QString &text, qint64 atMsecs) override;
    void setStoreProblem(const StoreProblem &problem) override;
    void setSourceLine(const SourceLine &line) override;
    void setPollTimerEnabled(bool enabled) override;

    // While the figures change, the tray's tip changes at most this often; a new problem or
    // source line brings the newest text at once.
    static constexpr qint64 TipIntervalMsecs = 1000;

Q_SIGNALS:
    void trayTipChanged(const QString &text);
    // About to be seen: the poll gives the texts it leaves out while the window is not.
    void figuresWanted();
    void storeProblemChanged(const StoreProblem &problem);
    // The source line's text, for the tray's tip; empty while the interfaces are metered.
    void sourceLineChanged(const QString &text);
    // Whichever way the window was shown, hidden, minimised or restored (the program, the
    // window manager's close button, Alt+F4).
    void shownChanged(bool shown);
    // The window's own menu (Move, Hide, Mini/Maxi, Exit): a right click or Alt+Space.
    void menuRequested(const QPoint &globalPosition);
    // F1, released.
    void helpRequested();
    // A double-click on the mini window: back to the normal size.
    void normalSizeRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    static constexpr int GraphWidthTwips = 1935;

    QLabel *label(const QString &text, const QRect &twips, Qt::Alignment alignment = Qt::AlignLeft);
    Throughput *graph(quint32 foreColor, bool inverted, const QRect &twips);
    void place(QWidget *widget, const QRect &twips);
    void fitRateLine();
    void fitSize();
    // Brings the controls up to what the poll gave: built, their texts, colours and graphs.
    void showFigures();
    void showTip();
    QLabel *lineBelow();

    void showAlert();
    void reportShown();

    // The designed controls, cut to the height of the window's state (the volume-left line
    // below the normal height, all but the rate line in the mini state); the source line and
    // the problem line go below.
    QWidget *m_body = nullptr;
    QLabel *m_problemLine = nullptr;
    QLabel *m_sourceLine = nullptr;
    QLabel *m_download = nullptr;
    QLabel *m_upload = nullptr;
    QLabel *m_rateLine = nullptr;
    QLabel *m_volumeLeft = nullptr;
    Throughput *m_downGraph = nullptr;
    Throughput *m_upGraph = nullptr;
    QString m_downloadText;
    QString m_uploadText;
    QString m_rateText;
    QString m_volumeLeftText; // null until the poll sets it
    QString m_caption; // null until the poll sets it
    int m_graphMax = 150;
    QString m_graphToolTip;
    // Graph values that came before the graphs, as many as the graph shows at most.
    QList<QPair<int, int>> m_pendingValues;
    qsizetype m_pendingBars = 0;
    qsizetype m_rateLineFitted = -1; // the length the rate line's font was chosen for
    QTimer m_timer;
    int m_heightTwips = NormalHeight;
    QString m_trayTip;
    QString m_shownTip; // the last one the tray was given
    qint64 m_tipShownAt = 0;
    bool m_tipDue = true; // the next tip goes out at once
    StoreProblem m_storeProblem;
    SourceLine m_source;
    VolumeAlert m_alert = VolumeAlert::Initial;
    bool m_shown = false; // as last reported by shownChanged
};
