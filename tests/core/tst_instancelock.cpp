// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestDatabase.h"

#include "core/InstanceLock.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

// One Varnolt per database file, however the file is reached.
class TestInstanceLock : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void secondHolderIsRefusedWhicheverPath()
    {
        TestDatabase db;
        const QString folder = db.folder();
        QVERIFY(QDir(folder).mkdir(u"sub"_s));
        QVERIFY(QFile::link(db.path(), folder + u"/link.db"_s));
        QVERIFY(QFile::link(folder + u"/link.db"_s, folder + u"/sub/chain.db"_s));
        QVERIFY(::link(QFile::encodeName(db.path()).constData(), QFile::encodeName(folder + u"/hard.db"_s).constData())
            == 0);
        const QStringList paths {db.path(), folder + u"/link.db"_s, folder + u"/sub/../Varnolt.db"_s,
            folder + u"/sub/chain.db"_s, folder + u"/hard.db"_s};

        for (const QString &first : paths) {
            auto holder = std::make_unique<InstanceLock>(first);
            QVERIFY(holder->tryLock());
            for (const QString &second : paths)
                QVERIFY2(!InstanceLock(second).tryLock(), qPrintable(first + u" / "_s + second));
            // The lock ends with its holder.
            holder.reset();
            QVERIFY(InstanceLock(first).tryLock());
        }
    }

    void missingFileIsLeftToStartUp() { QVERIFY(InstanceLock(u"/nonexistent/Varnolt.db"_s).tryLock()); }
};

QTEST_GUILESS_MAIN(TestInstanceLock)
#include "tst_instancelock.moc"
