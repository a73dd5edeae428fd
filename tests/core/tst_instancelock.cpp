#include "TestDatabase.h"

#include "core/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <memory>
#include <unistd.h>

// One Varnolt per database file, however the file is reached.
class TestInstanceLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondHolderIsRefusedWhicheverPath()
    {
        TestDatabase db;
        const QString folder = db.folder();
        QVERIFY(QDir(folder).mkdir(QStringLiteral("sub")));
        QVERIFY(QFile::link(db.path(), folder + QStringLiteral("/link.db")));
        QVERIFY(QFile::link(folder + QStringLiteral("/link.db"), folder + QStringLiteral("/sub/chain.db")));
        QVERIFY(::link(QFile::encodeName(db.path()).constData(),
                    QFile::encodeName(folder + QStringLiteral("/hard.db")).constData())
            == 0);
        const QStringList paths {db.path(), folder + QStringLiteral("/link.db"),
            folder + QStringLiteral("/sub/../Varnolt.db"), folder + QStringLiteral("/sub/chain.db"),
            folder + QStringLiteral("/hard.db")};

        for (const QString &first : paths) {
            auto holder = std::make_unique<InstanceLock>(first);
            QVERIFY(holder->tryLock());
            for (const QString &second : paths)
                QVERIFY2(!InstanceLock(second).tryLock(), qPrintable(first + QStringLiteral(" / ") + second));
            // The lock ends with its holder.
            holder.reset();
            QVERIFY(InstanceLock(first).tryLock());
        }
    }

    void lockOfAnEndedProcessIsGone()
    {
        TestDatabase db;
        // A process that takes the lock and is killed without any clean-up.
        QProcess holder;
        holder.start(QStringLiteral("sh"),
            {QStringLiteral("-c"), QStringLiteral("exec 9<\"$1\"; flock -x 9; exec sleep 30"), QStringLiteral("sh"),
                db.path()});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY(!InstanceLock(db.path()).tryLock());
        holder.kill();
        QVERIFY(holder.waitForFinished());
        QVERIFY(InstanceLock(db.path()).tryLock());
    }

    void missingFileIsLeftToStartUp() { QVERIFY(InstanceLock(QStringLiteral("/nonexistent/Varnolt.db")).tryLock()); }
};

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
