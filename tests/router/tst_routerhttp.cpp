// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterHttp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTest>

#include <netinet/in.h>
#include <unistd.h>

// A router on loopback that never accepts: the first request waits in its one place in the
// queue and gets no answer, the next one's connection is never taken (its SYNs are dropped, and
// the kernel would retry them for two minutes). Each ends at the request's deadline, its socket closed.
class TestRouterHttp : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void silentRouterEndsAtTheDeadline()
    {
        const int router = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address {AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t size = sizeof address;
        QVERIFY(::bind(router, reinterpret_cast<sockaddr *>(&address), size) == 0 && ::listen(router, 0) == 0
            && ::getsockname(router, reinterpret_cast<sockaddr *>(&address), &size) == 0);
        const QUrl url(QStringLiteral("http://127.0.0.1:%1/rootDesc.xml").arg(ntohs(address.sin_port)));
        const qsizetype files = QDir(QStringLiteral("/proc/self/fd")).count();
        for (const char *why : {"sent no whole answer within 5 s", "did not answer: Connection timed out"}) {
            QElapsedTimer took;
            took.start();
            QString error;
            bool answered = true;
            QVERIFY(!RouterHttp::get(url, error, &answered));
            QVERIFY2(error.endsWith(QLatin1String(why)) && !answered, qPrintable(error));
            QVERIFY2(took.elapsed() < RouterHttp::DeadlineMsecs + 500, qPrintable(QString::number(took.elapsed())));
            QCOMPARE(QDir(QStringLiteral("/proc/self/fd")).count(), files);
        }
        ::close(router);
    }
};

QTEST_GUILESS_MAIN(TestRouterHttp)
#include "tst_routerhttp.moc"
