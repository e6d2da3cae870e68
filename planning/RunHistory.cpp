#include "planning/RunHistory.h"

#include "MDlib/Error.h"
#include "planning/SnapshotChunk.h"
#include "search/SearchSource.h"
#include "store/SqliteError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLockFile>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <future>
#include <iterator>
#include <system_error>

using lodvik::Error;

namespace planning {

namespace {

// The history's tables with the statements that make them, the same on SQLite and PostgreSQL
// but for the type of the chunk's bytes.
struct HistoryTable {
    QLatin1String name;
    QString create;
};
std::array<HistoryTable, 3> historyTables(bool sqlite) {
    const QString bytes = sqlite ? QStringLiteral("blob") : QStringLiteral("bytea");
    return {{
        {QLatin1String("history_snapshot"),
         QStringLiteral("CREATE TABLE IF NOT EXISTS history_snapshot (id integer PRIMARY KEY, "
                        "period text NOT NULL UNIQUE, taken_at text NOT NULL, target_weeks double "
                        "precision NOT NULL, products integer NOT NULL, chunks integer NOT NULL, "
                        "origin text NOT NULL)")},
        {QLatin1String("history_chunk"),
         QStringLiteral("CREATE TABLE IF NOT EXISTS history_chunk (snapshot integer NOT NULL, "
                        "chunk integer NOT NULL, data %1 NOT NULL, PRIMARY KEY (snapshot, chunk))")
             .arg(bytes)},
        {QLatin1String("history_scheduled_run"),
         QStringLiteral("CREATE TABLE IF NOT EXISTS history_scheduled_run (id integer PRIMARY "
                        "KEY, started_at text NOT NULL, period text NOT NULL, ok integer NOT NULL, "
                        "message text NOT NULL, files text NOT NULL)")},
    }};
}

// The server's runs take turns under this advisory lock ("LodvikHI").
constexpr qint64 runTurnKey = 0x4c6f6476696b4849;

bool isSqlite(const QSqlDatabase &db) {
    return db.driver() && db.driver()->dbmsType() == QSqlDriver::SQLite;
}

QString failure(const QSqlDatabase &db, const QSqlError &error) {
    return dao::databaseFailure(error, isSqlite(db));
}

Error queryError(const RunHistory &history, const QSqlDatabase &db, const QSqlQuery &query,
                 const QString &what) {
    return Error(QStringLiteral("%1 i %2 misslyckades: %3")
                     .arg(what, history.description(), failure(db, query.lastError())));
}

// A statement with its values bound in order; raises with what on failure.
QSqlQuery run(const RunHistory &history, const QSqlDatabase &db, const QString &what,
              const QString &sql, const QVariantList &values = {}) {
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        throw queryError(history, db, query, what);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec())
        throw queryError(history, db, query, what);
    return query;
}

// Runs writes in one transaction: all of them or, on failure, none.
template <typename Writes>
auto inTransaction(const RunHistory &history, QSqlDatabase db, const QString &what, Writes writes) {
    if (!db.transaction())
        throw Error(QStringLiteral("%1 i %2 kunde inte börja: %3")
                        .arg(what, history.description(), failure(db, db.lastError())));
    try {
        auto result = writes();
        if (!db.commit())
            throw Error(QStringLiteral("%1 i %2 kunde inte sparas: %3")
                            .arg(what, history.description(), failure(db, db.lastError())));
        return result;
    } catch (...) {
        db.rollback();
        throw;
    }
}

const QString originKeys[] = {QStringLiteral("window"), QStringLiteral("command_line"),
                              QStringLiteral("scheduled")};

RunOrigin originFromKey(const QString &key) {
    for (int i = 0; i < 3; ++i)
        if (originKeys[i] == key)
            return RunOrigin(i);
    return RunOrigin::Window;
}

QString timeText(const QDateTime &time) {
    return time.toUTC().toString(Qt::ISODate);
}
QDateTime timeFromText(const QString &text) {
    return QDateTime::fromString(text, Qt::ISODate).toUTC();
}

// What the history's lists select of a snapshot, first and in this order; infoFrom reads it.
const QLatin1String infoColumns("s.period, s.taken_at, s.target_weeks, s.products, s.origin");

SnapshotInfo infoFrom(const QSqlQuery &query) {
    return {query.value(0).toString(), timeFromText(query.value(1).toString()),
            query.value(2).toDouble(), query.value(3).toInt(),
            originFromKey(query.value(4).toString())};
}

Error damaged(const RunHistory &history, const QString &period) {
    return Error(QStringLiteral("Historiken för perioden %1 i %2 är skadad eller skriven av en "
                                "annan version av programmet och kan inte läsas.")
                     .arg(period, history.description()));
}

} // namespace

QString runOriginKey(RunOrigin origin) {
    return originKeys[int(origin)];
}

namespace {

// One run's turn: a lock file beside sokdata.db, or the server's advisory lock held by the
// connection.
class FileTurn : public RunHistory::Turn {
public:
    explicit FileTurn(const QString &file) : m_lock(file) { m_lock.setStaleLockTime(0); }
    bool take(int waitMs) { return m_lock.tryLock(waitMs); }
    QLockFile::LockError error() const { return m_lock.error(); }

private:
    QLockFile m_lock;
};

class ServerTurn : public RunHistory::Turn {
public:
    ServerTurn(QSqlDatabase db) : m_db(db) {}
    ~ServerTurn() override {
        QSqlQuery(m_db).exec(QStringLiteral("SELECT pg_advisory_unlock(%1)").arg(runTurnKey));
    }

private:
    QSqlDatabase m_db;
};

Error noTurn(const RunHistory &history) {
    return Error(QStringLiteral("En annan täckningskörning sparar just nu sina filer och sin "
                                "historik i %1 och blev inte klar i tid. Försök igen om en "
                                "stund.")
                     .arg(history.description()));
}

} // namespace

RunHistory::RunHistory(std::unique_ptr<SearchSource> source) : m_source(std::move(source)) {
    const QSqlDatabase db = database();
    for (const HistoryTable &table : historyTables(isSqlite(db))) {
        QSqlQuery query(db);
        const auto exists = [&] {
            return query.exec(QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(table.name));
        };
        if (exists())
            continue;
        // Two workstations' first runs may both make it; the server lets one of them.
        if (query.exec(table.create))
            continue;
        const QSqlError refused = query.lastError();
        if (!exists())
            throw Error(QStringLiteral("Tabellen %1 saknas i %2 och kunde inte skapas (på en "
                                       "server görs den med server/sokdata-postgresql.sql): %3")
                            .arg(table.name, description(), failure(db, refused)));
    }
}

RunHistory::~RunHistory() = default;

QSqlDatabase RunHistory::database() const {
    return m_source->database();
}

QString RunHistory::description() const {
    return m_source->description();
}

std::unique_ptr<RunHistory::Turn> RunHistory::takeTurn(int waitMs) const {
    const QSqlDatabase db = database();
    if (isSqlite(db)) {
        const QString lockFile = db.databaseName() + QStringLiteral(".korning");
        auto turn = std::make_unique<FileTurn>(lockFile);
        if (turn->take(waitMs))
            return turn;
        // Only a lock another run holds is worth waiting for; a lock file that cannot be made
        // is no other run's.
        if (turn->error() == QLockFile::LockFailedError)
            throw noTurn(*this);
        throw Error(QStringLiteral("Körningen kan inte sparas i %1: låsfilen %2 kan inte skapas "
                                   "(%3).")
                        .arg(description(), QDir::toNativeSeparators(lockFile),
                             turn->error() == QLockFile::PermissionError
                                 ? QStringLiteral("programmet får inte skriva i mappen")
                                 : QStringLiteral("systemet vägrade skapa den")));
    }
    const QDeadlineTimer deadline(waitMs);
    for (;;) {
        QSqlQuery query = run(*this, db, QStringLiteral("Turen att spara körningen"),
                              QStringLiteral("SELECT pg_try_advisory_lock(%1)").arg(runTurnKey));
        if (query.next() && query.value(0).toBool())
            return std::make_unique<ServerTurn>(db);
        if (deadline.hasExpired())
            throw noTurn(*this);
        QThread::msleep(50);
    }
}

namespace {

SnapshotPacker packedRows(const Snapshot &snapshot) {
    SnapshotPacker packer(snapshot.rows.size());
    for (const SnapshotRow &row : snapshot.rows)
        packer.add(row);
    return packer;
}

} // namespace

// A snapshot ready to store: its chunks packed.
struct RunHistory::Packed {
    SnapshotInfo info;
    qint64 products = 0;
    std::vector<QByteArray> chunks;
};

RunHistory::Packed RunHistory::pack(const SnapshotInfo &info, const SnapshotPacker &packer) {
    return {info, packer.products(), packer.chunks()};
}

void RunHistory::keep(const Snapshot &snapshot, int retain,
                      const std::function<void()> &saveOutputs, int waitMs) {
    SnapshotPacker packer = packedRows(snapshot);
    keep(snapshot.info, packer, retain, saveOutputs, waitMs);
}

void RunHistory::keep(const SnapshotInfo &info, const SnapshotPacker &packer, int retain,
                      const std::function<void()> &saveOutputs, int waitMs) {
    const auto turn = takeTurn(waitMs);
    // Packed on the other core while the files are saved; the future waits for it when the
    // saving fails. With nothing to save it is packed here, in the heap the run made room in.
    std::future<Packed> packing;
    if (saveOutputs) {
        packing = std::async(std::launch::async, [&] { return pack(info, packer); });
        saveOutputs();
    }
    try {
        store(packing.valid() ? packing.get() : pack(info, packer), retain);
    } catch (const Error &e) {
        throw HistoryNotKept(e.message());
    }
}

void RunHistory::write(const Snapshot &snapshot, int retain) {
    SnapshotPacker packer = packedRows(snapshot);
    store(pack(snapshot.info, packer), retain);
}

void RunHistory::store(const Packed &packed, int retain) {
    QSqlDatabase db = database();
    const QString what =
        QStringLiteral("Sparandet av körningen %1 i historiken").arg(packed.info.period);
    inTransaction(*this, db, what, [&] {
        QSqlQuery old =
            run(*this, db, what, QStringLiteral("SELECT id FROM history_snapshot WHERE period = ?"),
                {packed.info.period});
        if (old.next())
            removeSnapshot(old.value(0));
        QSqlQuery last =
            run(*this, db, what, QStringLiteral("SELECT max(id) FROM history_snapshot"));
        const qint64 id = last.next() ? last.value(0).toLongLong() + 1 : 1;
        run(*this, db, what,
            QStringLiteral("INSERT INTO history_snapshot (id, period, taken_at, target_weeks, "
                           "products, chunks, origin) VALUES (?, ?, ?, ?, ?, ?, ?)"),
            {id, packed.info.period, timeText(packed.info.takenAt), packed.info.targetWeeks,
             packed.products, qint64(packed.chunks.size()), runOriginKey(packed.info.origin)});
        QSqlQuery insert(db);
        if (!insert.prepare(QStringLiteral(
                "INSERT INTO history_chunk (snapshot, chunk, data) VALUES (?, ?, ?)")))
            throw queryError(*this, db, insert, what);
        for (size_t chunk = 0; chunk < packed.chunks.size(); ++chunk) {
            insert.addBindValue(id);
            insert.addBindValue(qint64(chunk));
            insert.addBindValue(packed.chunks[chunk]);
            if (!insert.exec())
                throw queryError(*this, db, insert, what);
        }
        return pruneIn(retain);
    });
}

std::vector<SnapshotInfo> RunHistory::snapshots() const {
    QSqlQuery query =
        run(*this, database(), QStringLiteral("Läsningen av historiken"),
            QStringLiteral("SELECT %1 FROM history_snapshot s ORDER BY s.period").arg(infoColumns));
    std::vector<SnapshotInfo> infos;
    while (query.next())
        infos.push_back(infoFrom(query));
    return infos;
}

std::optional<QString> RunHistory::periodBefore(const QString &period) const {
    QSqlQuery query = run(*this, database(), QStringLiteral("Läsningen av historiken"),
                          QStringLiteral("SELECT max(period) FROM history_snapshot WHERE period "
                                         "< ?"),
                          {period});
    if (query.next() && !query.value(0).isNull())
        return query.value(0).toString();
    return std::nullopt;
}

std::optional<Snapshot> RunHistory::read(const QString &period) const {
    const QString what = QStringLiteral("Läsningen av körningen %1 i historiken").arg(period);
    QSqlQuery query = run(*this, database(), what,
                          QStringLiteral("SELECT %1, c.data FROM history_snapshot s LEFT JOIN "
                                         "history_chunk c ON c.snapshot = s.id WHERE s.period = ?")
                              .arg(infoColumns),
                          {period});
    std::optional<Snapshot> snapshot;
    std::vector<QByteArray> records;
    while (query.next()) {
        if (!snapshot)
            snapshot = Snapshot{infoFrom(query), {}};
        if (!query.value(5).isNull())
            records.push_back(query.value(5).toByteArray());
    }
    if (!snapshot)
        return std::nullopt;
    // Each row to its place in the run's order: every place from 0 to the count less one, once.
    // Half the chunks are unpacked on another core.
    std::vector<SnapshotRow> &rows = snapshot->rows;
    rows.resize(size_t(std::max(0, snapshot->info.products)));
    std::vector<std::atomic_flag> placed(rows.size());
    const auto unpack = [&](size_t from, size_t to) {
        std::vector<SnapshotRow> chunk;
        std::vector<quint32> places;
        for (size_t r = from; r < to; ++r) {
            if (!unpackChunk(records[r], chunk, places))
                return false;
            for (size_t i = 0; i < chunk.size(); ++i) {
                if (places[i] >= rows.size() || placed[places[i]].test_and_set())
                    return false;
                rows[places[i]] = std::move(chunk[i]);
            }
        }
        return true;
    };
    auto other = std::async(std::launch::async, unpack, records.size() / 2, records.size());
    const bool here = unpack(0, records.size() / 2);
    if (!other.get() || !here ||
        std::any_of(placed.begin(), placed.end(),
                    [](const std::atomic_flag &f) { return !f.test(); }))
        throw damaged(*this, period);
    return snapshot;
}

std::vector<SeriesPoint> RunHistory::series(const QString &product, QStringList &unreadable) const {
    const QString what = QStringLiteral("Läsningen av historiken för %1").arg(product);
    // Each snapshot's chunk of the product: its hash modulo the snapshot's chunk count.
    QSqlQuery query =
        run(*this, database(), what,
            QStringLiteral("SELECT %1, c.data FROM history_snapshot s JOIN history_chunk c "
                           "ON c.snapshot = s.id AND c.chunk = CAST(? AS bigint) "
                           "% s.chunks ORDER BY s.period")
                .arg(infoColumns),
            {qint64(productHash(product))});
    std::vector<SeriesPoint> points;
    std::vector<SnapshotRow> chunk;
    std::vector<quint32> places;
    const QSet<QByteArray> wanted{product.toUtf8()};
    while (query.next()) {
        const QString period = query.value(0).toString();
        if (!unpackChunk(query.value(5).toByteArray(), chunk, places, &wanted)) {
            unreadable << period;
            continue;
        }
        if (!chunk.empty())
            points.push_back({infoFrom(query), std::move(chunk.front())});
    }
    return points;
}

std::map<QString, std::vector<SalesPoint>> RunHistory::salesSeries(const QSet<QString> &products,
                                                                   const QString &before, int runs,
                                                                   QStringList &unreadable) const {
    std::map<QString, std::vector<SalesPoint>> series;
    if (products.isEmpty())
        return series;
    const QString what = QStringLiteral("Läsningen av försäljningens trend i historiken");
    const QSqlDatabase db = database();
    QSqlQuery kept = run(*this, db, what,
                         QStringLiteral("SELECT id, period, chunks FROM history_snapshot WHERE "
                                        "period < ? ORDER BY period DESC LIMIT %1")
                             .arg(runs),
                         {before});
    struct Kept {
        qint64 id;
        QString period;
        qint64 chunks;
    };
    std::vector<Kept> snapshots;
    while (kept.next())
        snapshots.push_back(
            {kept.value(0).toLongLong(), kept.value(1).toString(), kept.value(2).toLongLong()});
    QSet<QByteArray> wanted;
    std::vector<quint32> hashes;
    for (const QString &product : products) {
        wanted.insert(product.toUtf8());
        hashes.push_back(productHash(product));
    }
    std::vector<SnapshotRow> chunk;
    std::vector<quint32> places;
    // Oldest first, and of each snapshot only the chunks that hold the products.
    for (auto s = snapshots.rbegin(); s != snapshots.rend(); ++s) {
        QSet<qint64> chunks;
        for (quint32 hash : hashes)
            chunks.insert(qint64(hash % quint64(std::max<qint64>(1, s->chunks))));
        QStringList numbers;
        for (qint64 c : chunks)
            numbers << QString::number(c);
        QSqlQuery query = run(*this, db, what,
                              QStringLiteral("SELECT data FROM history_chunk WHERE snapshot = ? "
                                             "AND chunk IN (%1)")
                                  .arg(numbers.join(QLatin1Char(','))),
                              {s->id});
        const QDate period = QDate::fromString(s->period, Qt::ISODate);
        while (query.next()) {
            if (!unpackChunk(query.value(0).toByteArray(), chunk, places, &wanted)) {
                if (!unreadable.contains(s->period))
                    unreadable << s->period;
                continue;
            }
            for (const SnapshotRow &row : chunk)
                series[row.product].push_back({period, row.salesPj.value_or(0)});
        }
    }
    return series;
}

QString RunHistory::unreadableNotice(const QStringList &periods) const {
    if (periods.isEmpty())
        return {};
    return (periods.size() == 1
                ? QStringLiteral("Historiken för perioden %1 i %2 är skadad eller skriven av en "
                                 "annan version av programmet och lämnas utanför; en ny "
                                 "körning av perioden ersätter den.")
                : QStringLiteral("Historiken för perioderna %1 i %2 är skadad eller skriven av "
                                 "en annan version av programmet och lämnas utanför; en ny "
                                 "körning av en period ersätter den."))
        .arg(periods.join(QStringLiteral(", ")), description());
}

int RunHistory::prune(int retain) {
    return inTransaction(*this, database(), QStringLiteral("Rensningen av historiken"),
                         [&] { return pruneIn(retain); });
}

void RunHistory::removeSnapshot(const QVariant &id) {
    const QString what = QStringLiteral("Borttagningen av en körning ur historiken");
    run(*this, database(), what, QStringLiteral("DELETE FROM history_chunk WHERE snapshot = ?"),
        {id});
    run(*this, database(), what, QStringLiteral("DELETE FROM history_snapshot WHERE id = ?"), {id});
}

int RunHistory::pruneIn(int retain) {
    const QSqlDatabase db = database();
    const QString what = QStringLiteral("Rensningen av historiken");
    QSqlQuery query = run(*this, db, what,
                          QStringLiteral("SELECT id FROM history_snapshot ORDER BY period DESC"));
    QVariantList old;
    for (int n = 0; query.next(); ++n)
        if (n >= retain)
            old << query.value(0);
    for (const QVariant &id : old)
        removeSnapshot(id);
    return int(old.size());
}

namespace {

const QString scheduledRunQuery = QStringLiteral(
    "SELECT started_at, period, ok, message, files FROM history_scheduled_run WHERE id = 1");

std::optional<ScheduledRunState> scheduledRunFrom(QSqlQuery &query) {
    if (!query.next())
        return std::nullopt;
    return ScheduledRunState{timeFromText(query.value(0).toString()), query.value(1).toString(),
                             query.value(2).toInt() != 0, query.value(3).toString(),
                             query.value(4).toString()};
}

} // namespace

std::optional<ScheduledRunState> RunHistory::scheduledRun() const {
    QSqlQuery query =
        run(*this, database(), QStringLiteral("Läsningen av den schemalagda körningen"),
            scheduledRunQuery);
    return scheduledRunFrom(query);
}

std::optional<ScheduledRunState> lastScheduledRun(const SearchSource &source) {
    QSqlQuery query(source.database());
    query.setForwardOnly(true);
    // A store without the table has had no scheduled run; nothing is made by looking.
    if (!query.exec(scheduledRunQuery))
        return std::nullopt;
    return scheduledRunFrom(query);
}

void RunHistory::setScheduledRun(const ScheduledRunState &state) {
    QSqlDatabase db = database();
    const QString what = QStringLiteral("Sparandet av den schemalagda körningens utfall");
    inTransaction(*this, db, what, [&] {
        run(*this, db, what, QStringLiteral("DELETE FROM history_scheduled_run"));
        run(*this, db, what,
            QStringLiteral("INSERT INTO history_scheduled_run (id, started_at, period, ok, "
                           "message, files) VALUES (1, ?, ?, ?, ?, ?)"),
            {timeText(state.startedAt), state.period.isNull() ? QStringLiteral("") : state.period,
             int(state.ok), state.message.isNull() ? QStringLiteral("") : state.message,
             state.files.isNull() ? QStringLiteral("") : state.files});
        return 0;
    });
}

std::unique_ptr<RunHistory> openRunHistory(const QString &appPath) {
    return std::make_unique<RunHistory>(openSearchSource(appPath));
}

} // namespace planning
