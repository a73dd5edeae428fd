// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/CsvExport.h"

#include "core/ExportFile.h"
#include "core/SettingsStore.h"
#include "core/store/StoreSession.h"
#include "core/traffic/UnloggedTraffic.h"

#include <QFile>
#include <QLoggingCategory>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <utility>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

namespace {

Q_LOGGING_CATEGORY(lcExport, "varnolt.export", QtInfoMsg)

// Each header names the unit of its column. The volumes stay in KB whatever the period, as
// files exported before hold them and as their names have always said.
constexpr char Header[] = "Period,KBDown,KBUp,AvgSpeedkBps\r\n";

// The value truncated toward zero to two decimals. The digits truncated are those of the
// shortest decimal that reads back as the same double, i.e. the number as it was written or
// computed: 12.05 is stored as 12.0499999999999998..., and truncating its binary value (or
// (value - 12) * 100 = 4.99999...) would give 12.04. An epsilon added before truncating
// would instead push values just below a cent, like 0.9999999999, up to the next one.
// Volumes are bytes / 1024, exact in binary, so their shortest form is their exact value.
void appendExportNumber(QByteArray &out, double value)
{
    // A NULL (a view's average over rows without one) is written as 0, and so is what SQLite
    // never stores (NaN, infinities); -0 loses its sign.
    if (!std::isfinite(value) || value == 0)
        value = 0;
    char digits[400]; // the largest double has 309 digits before the point
    const char *end = std::to_chars(std::begin(digits), std::end(digits), value, std::chars_format::fixed).ptr;
    const char *point = std::find(static_cast<const char *>(digits), end, '.');
    const qsizetype start = out.size();
    out.append(digits, point - digits);
    out.append('.');
    const char *fraction = point == end ? end : point + 1;
    for (int i = 0; i < 2; ++i)
        out.append(fraction + i < end ? fraction[i] : '0');
    // Volumes are never negative; should one be, -0.001 truncates to 0.00, not -0.00.
    if (value < 0 && QByteArrayView(out).sliced(start) == "-0.00")
        out.remove(start, 1);
}

} // namespace

CsvExport::CsvExport(QString databasePath)
    : m_databasePath(std::move(databasePath))
{
}

QString CsvExport::query(int view)
{
    switch (view) {
    case 0:
        return u"select * from DownloadPerday order by gdate desc"_s;
    case 1:
        return u"select * from DownloadPerWeek order by ddate desc"_s;
    case 2:
        return u"select * from DownloadPerMonth order by ddate desc"_s;
    case 3:
        return u"select * from DownloadPerYear order by ddate desc"_s;
    default:
        return {};
    }
}

bool CsvExport::write(int view, QIODevice &device)
{
    m_error.clear();
    StoreSession session(m_databasePath);
    if (!session.open())
        return fail(session.errorString());
    return write(view, device, session);
}

bool CsvExport::write(int view, QIODevice &device, StoreSession &session)
{
    const QString statement = query(view);
    if (statement.isEmpty())
        return fail(u"There is no view %1 to export."_s.arg(view));
    const std::optional<QueryResult> result = session.query(statement);
    if (!result)
        return fail(session.errorString());

    const int period = result->fieldIndex(u"ddate"_s);
    const int down = result->fieldIndex(u"kbdown"_s);
    const int up = result->fieldIndex(u"kbup"_s);
    const int speed = result->fieldIndex(u"avgdown"_s);
    if (std::min({period, down, up, speed}) < 0)
        return fail(u"The view lacks one of the columns ddate, kbdown, kbup, avgdown.\nStatement: %1"_s.arg(statement));

    QByteArray text(Header);
    text.reserve(text.size() + (result->rowCount() + 1) * 48);
    const auto appendLine = [&text](const QByteArray &key, std::initializer_list<double> numbers) {
        text += key;
        for (const double number : numbers) {
            text += ',';
            appendExportNumber(text, number);
        }
        text += "\r\n";
    };
    // The open row goes into its period's line, or into a line of its own where the log has
    // none for that period yet (the first export of a new day, week, month or year), placed
    // among the others newest first: one total for each period.
    UnloggedTraffic open;
    if (m_openRow)
        open = UnloggedTraffic::of(m_openRow->first, UnloggedTraffic::Period(view), m_openRow->second);
    bool pending = !open.isEmpty();
    for (const QVariantList &row : result->rows()) {
        const qint64 key = row.at(period).toLongLong();
        double kbDown = row.at(down).toDouble();
        double kbUp = row.at(up).toDouble();
        if (pending && key < open.key)
            appendLine(QByteArray::number(open.key), {open.kbDown, open.kbUp, open.avgDown});
        if (pending && key == open.key) {
            kbDown += open.kbDown;
            kbUp += open.kbUp;
        }
        pending = pending && key > open.key;
        appendLine(row.at(period).toString().toUtf8(), {kbDown, kbUp, row.at(speed).toDouble()});
    }
    if (pending)
        appendLine(QByteArray::number(open.key), {open.kbDown, open.kbUp, open.avgDown});

    if (!device.isWritable())
        return fail(u"The file is not open for writing."_s);
    for (qint64 done = 0; done < text.size();) {
        const qint64 written = device.write(text.constData() + done, text.size() - done);
        if (written <= 0)
            return fail(u"Cannot write the file: %1"_s.arg(device.errorString()));
        done += written;
    }
    return true;
}

CsvExport::Outcome CsvExport::exportTo(const ExportTarget &target, int view, const QString &fallbackPath)
{
    using State = ExportTarget::State;
    m_error.clear();
    m_usedPath = target.given;
    m_writtenFile = target.path;
    if (target.state == State::Refused) {
        fail(target.reason);
        return Outcome::Failed;
    }

    Outcome written = Outcome::Written;
    auto file = std::make_unique<ExportFile>();
    QString reason = target.reason;
    ExportFile::Opened opened = ExportFile::Opened::CannotMake;
    if (target.state != State::CannotMake)
        opened = file->open(target, reason);
    if (opened == ExportFile::Opened::Changed) {
        fail(reason);
        return Outcome::Failed;
    }
    if (opened != ExportFile::Opened::Yes) {
        if (!openFallback(file, fallbackPath, reason))
            return Outcome::Failed;
        written = Outcome::WrittenToFallback;
    }

    StoreSession session(m_databasePath);
    if (!session.open()) {
        fail(session.errorString());
        return Outcome::Failed;
    }
    QFile device;
    if (!device.open(file->handle(), QIODevice::WriteOnly, QFileDevice::DontCloseHandle)) {
        fail(u"Cannot write %1: %2"_s.arg(m_writtenFile, device.errorString()));
        return Outcome::Failed;
    }
    if (!write(view, device, session))
        return Outcome::Failed;
    if (!device.flush()) {
        fail(u"Cannot write %1: %2"_s.arg(m_writtenFile, device.errorString()));
        return Outcome::Failed;
    }
    device.close();
    if (!file->commit(reason)) {
        fail(reason);
        return Outcome::Failed;
    }
    storeUsedPath(session);
    return written;
}

bool CsvExport::openFallback(std::unique_ptr<ExportFile> &file, const QString &fallbackPath, const QString &reason)
{
    // Any file of the fallback's name, a link included, is left alone: the next free name is
    // taken instead.
    QString fallbackReason = u"No free name beside %1."_s.arg(fallbackPath);
    ExportFile::Opened opened = ExportFile::Opened::NameTaken;
    for (int n = 1; n <= 1000 && opened == ExportFile::Opened::NameTaken; ++n) {
        const ExportTarget fallback = ExportTarget::resolve(ExportTarget::numberedName(fallbackPath, n));
        m_usedPath = fallback.given;
        m_writtenFile = fallback.path;
        if (fallback.state != ExportTarget::State::Free) {
            fallbackReason = fallback.reason;
            struct stat st {};
            if (::lstat(QFile::encodeName(fallback.given).constData(), &st) == 0)
                continue; // something has that name
            opened = ExportFile::Opened::CannotMake;
            break;
        }
        file = std::make_unique<ExportFile>();
        opened = file->open(fallback, fallbackReason);
    }
    if (opened != ExportFile::Opened::Yes)
        return fail(reason + u"\n"_s + fallbackReason);
    qCInfo(lcExport).noquote() << reason << "- writing" << m_writtenFile << "instead";
    return true;
}

void CsvExport::storeUsedPath(StoreSession &session)
{
    // Start-up puts the path back into the dialog; the export stands when it cannot be kept.
    // Kept only now that the file is complete, the way the settings are written.
    bool stored = session.beginTransaction();
    for (const QString &statement : SettingsStore::keyStatements({{u"ExportFolder"_s, m_usedPath}}))
        stored = stored && session.execute(statement);
    stored = stored && session.commit();
    if (!stored) {
        qCWarning(lcExport).noquote() << "the export path was not stored:" << session.errorString();
        session.rollback();
    }
}

QString CsvExport::usedPath() const
{
    return m_usedPath;
}

QString CsvExport::writtenFile() const
{
    return m_writtenFile;
}

QString CsvExport::errorString() const
{
    return m_error;
}

QString CsvExport::exportNumber(double value)
{
    QByteArray text;
    appendExportNumber(text, value);
    return QString::fromLatin1(text);
}

bool CsvExport::fail(const QString &message)
{
    m_error = message;
    qCDebug(lcExport).noquote() << message;
    return false;
}
