#pragma once

#include "monitor/MonitorView.h"

#include <QTimer>
#include <QWidget>

class QLabel;
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

    // TmrCheckit: off until start-up has finished.
    QTimer &pollTimer() { return m_timer; }

    void setHeightTwips(int twips);

    QLabel *downloadLabel() const { return m_download; }
    QLabel *uploadLabel() const { return m_upload; }
    QLabel *rateLabel() const { return m_rateLine; }
    QLabel *volumeLeftLabel() const { return m_volumeLeft; }
    Throughput *downGraph() const { return m_downGraph; }
    Throughput *upGraph() const { return m_upGraph; }
    QString trayTip() const { return m_trayTip; }
    VolumeAlert volumeAlert() const { return m_alert; }

    // What the poll fills in.
    int heightTwips() const override { return m_heightTwips; }
    void freezeDrawing(bool frozen) override;
    void setDownloadText(const QString &text) override;
    void setUploadText(const QString &text) override;
    void setCaption(const QString &text) override;
    void setRateLine(const QString &text) override;
    void setGraphMax(int max) override;
    void addGraphValues(int download, int upload) override;
    void setGraphToolTip(const QString &text) override;
    void setVolumeLeft(const QString &text, VolumeAlert alert) override;
    void setTrayTip(const QString &text) override;
    void setPollTimerEnabled(bool enabled) override;

Q_SIGNALS:
    void trayTipChanged(const QString &text);
    // The window's own menu (Move, Hide, Mini/Maxi, Exit): a right click or Alt+Space.
    void menuRequested(const QPoint &globalPosition);
    // F1, released.
    void helpRequested();

protected:
    void closeEvent(QCloseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;

private:
    QLabel *label(const QString &text, const QRect &twips, Qt::Alignment alignment = Qt::AlignLeft);
    Throughput *graph(quint32 foreColor, const QRect &twips);
    void place(QWidget *widget, const QRect &twips);

    QLabel *m_download;
    QLabel *m_upload;
    QLabel *m_rateLine;
    QLabel *m_volumeLeft;
    Throughput *m_downGraph;
    Throughput *m_upGraph;
    QTimer m_timer;
    int m_heightTwips = NormalHeight;
    QString m_trayTip;
    VolumeAlert m_alert = VolumeAlert::Initial;
};
