// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

// A network namespace of the test's own, made with iproute2 and deleted with the object, so
// that real interfaces can be created, loaded with traffic and read without touching the
// machine's own network.
class NetworkNamespace
{
public:
    explicit NetworkNamespace(const QString &role)
        : m_name(QStringLiteral("varnolt-%1-%2").arg(role).arg(QCoreApplication::applicationPid()))
    {
        run({QStringLiteral("netns"), QStringLiteral("del"), m_name}); // left over from a killed run
        m_valid = run({QStringLiteral("netns"), QStringLiteral("add"), m_name});
    }
    ~NetworkNamespace()
    {
        if (m_valid)
            run({QStringLiteral("netns"), QStringLiteral("del"), m_name});
    }
    NetworkNamespace(const NetworkNamespace &) = delete;
    NetworkNamespace &operator=(const NetworkNamespace &) = delete;

    // Why namespaces cannot be made here, or an empty text when they can.
    static QString unavailableReason()
    {
        if (::geteuid() != 0)
            return QStringLiteral("network namespaces need root (run the suite as root, as CI does)");
        NetworkNamespace probe(QStringLiteral("probe"));
        if (!probe.isValid())
            return QStringLiteral("ip netns add failed: ") + probe.error();
        return {};
    }

    bool isValid() const { return m_valid; }
    QString name() const { return m_name; }
    QString error() const { return m_error; }

    // "ip -n <namespace> <arguments>"; false, with error() set, when it fails.
    bool ip(const QStringList &arguments, QByteArray *output = nullptr)
    {
        return run(QStringList {QStringLiteral("-n"), m_name} + arguments, output);
    }
    // Many ip commands, one a line, in one process.
    bool ipBatch(const QByteArray &lines)
    {
        return run({QStringLiteral("-n"), m_name, QStringLiteral("-batch"), QStringLiteral("-")}, nullptr, lines);
    }
    // A command run inside the namespace, such as sysctl, with sysfs showing the namespace's
    // interfaces.
    bool exec(const QStringList &command, QByteArray *output = nullptr)
    {
        return run(QStringList {QStringLiteral("netns"), QStringLiteral("exec"), m_name} + command, output);
    }

    // Runs f with the calling thread inside the namespace. Sockets made there stay there after
    // the thread has come back.
    template <typename F> auto inside(F f)
    {
        const int home = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target = ::open(QByteArray("/run/netns/" + m_name.toUtf8()).constData(), O_RDONLY | O_CLOEXEC);
        if (home < 0 || target < 0 || ::setns(target, CLONE_NEWNET) != 0)
            qFatal("cannot enter network namespace %s", qPrintable(m_name));
        ::close(target);
        struct Return
        {
            int home;
            ~Return()
            {
                if (::setns(home, CLONE_NEWNET) != 0)
                    qFatal("cannot leave a network namespace");
                ::close(home);
            }
        } back {home};
        return f();
    }

private:
    bool run(const QStringList &arguments, QByteArray *output = nullptr, const QByteArray &input = {})
    {
        QProcess process;
        process.start(QStringLiteral("ip"), arguments);
        if (!input.isEmpty())
            process.write(input);
        process.closeWriteChannel();
        if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit
            || process.exitCode() != 0) {
            m_error = QStringLiteral("ip ") + arguments.join(QLatin1Char(' ')) + QStringLiteral(": ")
                + QString::fromLocal8Bit(process.readAllStandardError()).trimmed()
                + (process.error() == QProcess::FailedToStart ? process.errorString() : QString());
            return false;
        }
        if (output)
            *output = process.readAllStandardOutput();
        return true;
    }

    QString m_name;
    bool m_valid = false;
    QString m_error;
};
