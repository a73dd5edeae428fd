// SPDX-License-Identifier: GPL-3.0-or-later
#include "AsOtherUser.h"

#include "core/store/DatabaseLocation.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

class TestDatabaseLocation : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::setPermissions(m_dir.path(),
            QFile::permissions(m_dir.path()) | QFileDevice::ReadOther | QFileDevice::ExeOther
                | QFileDevice::WriteOther);
        m_program = m_dir.filePath(QStringLiteral("program"));
        m_data = m_dir.filePath(QStringLiteral("data/varnolt"));
        QVERIFY(QDir().mkpath(m_program));
        QVERIFY(QFile::copy(QStringLiteral(VARNOLT_SHIPPED_DB), m_program + QStringLiteral("/Varnolt.db")));
    }
    void cleanup()
    {
        QFile::setPermissions(m_program, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        m_dir.remove();
        m_dir = QTemporaryDir();
    }

    void readOnlyProgramFolderSeedsTheUserCopyOnce()
    {
        const QString shipped = m_program + QStringLiteral("/Varnolt.db");
        QFile::setPermissions(shipped, QFileDevice::ReadOwner | QFileDevice::ReadOther);
        QFile::setPermissions(
            m_program, QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther | QFileDevice::ExeOther);
        AsOtherUser nobody;
        DatabaseLocation location;
        const QString own = m_data + QStringLiteral("/Varnolt.db");
        const mode_t mask = ::umask(022);
        QCOMPARE(location.resolve(m_program, m_data), own);
        ::umask(mask);
        QVERIFY(QFileInfo(own).isWritable());
        // The user's alone from the start, not only once start-up has run: the folders made
        // and the copy, whatever the umask and the shipped file's mode.
        QCOMPARE(QStringList({mode(m_dir.filePath(QStringLiteral("data"))), mode(m_data), mode(own)}),
            QStringList({QStringLiteral("700"), QStringLiteral("700"), QStringLiteral("600")}));

        // Once seeded, the user's copy is kept: it is never overwritten by the empty one.
        QFile file(own);
        QVERIFY(file.open(QIODevice::Append) && file.write("x") == 1);
        file.close();
        const qint64 size = QFileInfo(own).size();
        QCOMPARE(location.resolve(m_program, m_data), own);
        QCOMPARE(QFileInfo(own).size(), size);
    }

    void nothingToSeedFromIsAnError()
    {
        QVERIFY(QFile::remove(m_program + QStringLiteral("/Varnolt.db")));
        DatabaseLocation location;
        QVERIFY(location.resolve(m_program, m_data).isEmpty());
        QVERIFY(location.errorString().contains(QStringLiteral("Varnolt.db")));
    }

private:
    // The permission bits in octal, as ls and stat show them.
    static QString mode(const QString &path)
    {
        struct stat status
        {
        };
        if (::stat(QFile::encodeName(path).constData(), &status) != 0)
            return QStringLiteral("none");
        return QString::number(status.st_mode & 07777, 8);
    }

    QTemporaryDir m_dir;
    QString m_program;
    QString m_data;
};

QTEST_GUILESS_MAIN(TestDatabaseLocation)
#include "tst_databaselocation.moc"
