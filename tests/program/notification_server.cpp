// SPDX-License-Identifier: GPL-3.0-or-later
// A desktop notification server of the tests' own on the session bus it is started on: owns
// org.freedesktop.Notifications and appends each notice it is sent to the file named by its
// argument, one line "summary<TAB>body<TAB>urgency" (the body's line breaks as "|").
#include <QCoreApplication>
#include <QDBusConnection>
#include <QFile>
#include <QVariantMap>

#include <cstdio>

class Server final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QString path;

public Q_SLOTS:
    uint Notify(const QString &, uint, const QString &, const QString &summary, const QString &body,
        const QStringList &, const QVariantMap &hints, int)
    {
        QFile file(path);
        if (file.open(QIODevice::Append)) {
            const QString line = summary + u'\t' + QString(body).replace(u'\n', u'|') + u'\t'
                + QString::number(hints.value(QStringLiteral("urgency")).toInt()) + u'\n';
            file.write(line.toUtf8());
        }
        return ++m_id;
    }
    QStringList GetCapabilities() { return {QStringLiteral("body")}; }

private:
    uint m_id = 0;
};

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Server server;
    server.path = app.arguments().value(1);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &server, QDBusConnection::ExportAllSlots)
        || !bus.registerService(QStringLiteral("org.freedesktop.Notifications"))) {
        std::fprintf(stderr, "cannot serve on the session bus\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    return app.exec();
}

#include "notification_server.moc"
