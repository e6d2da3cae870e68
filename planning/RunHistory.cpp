#include "planning/RunHistory.h"

#include "MDlib/Error.h"
#include "data/SearchSource.h"
#include "data/SqliteError.h"

#include <QBuffer>
#include <QDataStream>
#include <QDeadlineTimer>
#include <QHash>
#include <QLockFile>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QtEndian>

#include <array>
#include <cmath>
#include <limits>
#include <map>

using lodvik::Error;

namespace planning {

namespace {

// A snapshot is kept as one record per chunk of products, the chunk's rows as typed numbers,
// column by column, through QDataStream and qCompress: 32,000 products take about a megabyte a
// period on SQLite and on the server alike, and one product's history reads one chunk a period.
// A product keeps its number (history_product.id) for good, so it stays in the same chunk.
constexpr int ChunkSize = 1024;
constexpr quint8 ChunkFormat = 1;

// The statements are the same on SQLite and PostgreSQL but for the type of the chunk's bytes.
QStringList tableStatements(bool sqlite) {
    const QString bytes = sqlite ? QStringLiteral("blob") : QStringLiteral("bytea");
    return {
        QStringLiteral("CREATE TABLE IF NOT EXISTS history_snapshot (id integer PRIMARY KEY, "
                       "period text NOT NULL UNIQUE, taken_at text NOT NULL, target_weeks double "
                       "precision NOT NULL, products integer NOT NULL, origin text NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history_product (id integer PRIMARY KEY, "
                       "product text NOT NULL UNIQUE, description text NOT NULL)"),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history_chunk (snapshot integer NOT NULL, "
                       "chunk integer NOT NULL, data %1 NOT NULL, PRIMARY KEY (snapshot, chunk))")
            .arg(bytes),
        QStringLiteral("CREATE TABLE IF NOT EXISTS history_scheduled_run (id integer PRIMARY KEY, "
                       "started_at text NOT NULL, period text NOT NULL, ok integer NOT NULL, "
                       "message text NOT NULL, files text NOT NULL)"),
    };
}
const char *const tableNames[] = {"history_snapshot", "history_product", "history_chunk",
                                  "history_scheduled_run"};

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

// The numbers of a row, in the order they are written.
using Number = std::optional<double> SnapshotRow::*;
constexpr std::array<Number, 14> numberColumns = {
    &SnapshotRow::unitsPerPack,  &SnapshotRow::stockFrn,    &SnapshotRow::stockDp,
    &SnapshotRow::stockPj,       &SnapshotRow::stockTotal,  &SnapshotRow::coverWeeks,
    &SnapshotRow::coverWeeksFrn, &SnapshotRow::backOrderPj, &SnapshotRow::backOrderFrn,
    &SnapshotRow::orderPj,       &SnapshotRow::orderFrn,    &SnapshotRow::orderTotal,
    &SnapshotRow::salesPj,       &SnapshotRow::salesFrn};

// A column of fixed-size values as one block, little-endian on any machine: a value at a time
// through the stream would cost more than the rest of the reading.
template <typename T> void writeBlock(QDataStream &out, const std::vector<T> &values) {
    QByteArray stored(qsizetype(values.size() * sizeof(T)), Qt::Uninitialized);
    qToLittleEndian<T>(values.data(), qsizetype(values.size()), stored.data());
    out.writeRawData(stored.constData(), int(stored.size()));
}
template <typename T> std::vector<T> readBlock(QDataStream &in, size_t count) {
    std::vector<T> values(count);
    const int bytes = int(count * sizeof(T));
    if (in.readRawData(reinterpret_cast<char *>(values.data()), bytes) != bytes)
        in.setStatus(QDataStream::ReadPastEnd);
    qFromLittleEndian<T>(values.data(), qsizetype(count), values.data());
    return values;
}

// A column of numbers: a kind per row (none, a whole number that fits 32 bits, any other
// number), then the whole numbers, then the others. Whole numbers are most of them; zlib makes
// the rest small.
enum : quint8 { NoNumber, WholeNumber, OtherNumber };

void writeNumbers(QDataStream &out, const std::vector<std::optional<double>> &numbers) {
    std::vector<quint8> kinds(numbers.size(), NoNumber);
    std::vector<qint32> whole;
    std::vector<double> other;
    for (size_t i = 0; i < numbers.size(); ++i) {
        if (!numbers[i])
            continue;
        const double n = *numbers[i];
        if (n == std::trunc(n) && std::abs(n) <= 2147483647.0) {
            kinds[i] = WholeNumber;
            whole.push_back(qint32(n));
        } else {
            kinds[i] = OtherNumber;
            other.push_back(n);
        }
    }
    out << quint32(whole.size()) << quint32(other.size());
    writeBlock(out, kinds);
    writeBlock(out, whole);
    writeBlock(out, other);
}

std::vector<std::optional<double>> readNumbers(QDataStream &in, size_t count) {
    quint32 wholeCount = 0, otherCount = 0;
    in >> wholeCount >> otherCount;
    std::vector<std::optional<double>> numbers(count);
    if (wholeCount + quint64(otherCount) > count) {
        in.setStatus(QDataStream::ReadCorruptData);
        return numbers;
    }
    const auto kinds = readBlock<quint8>(in, count);
    const auto whole = readBlock<qint32>(in, wholeCount);
    const auto other = readBlock<double>(in, otherCount);
    size_t w = 0, o = 0;
    for (size_t i = 0; i < count; ++i) {
        if (kinds[i] == WholeNumber && w < whole.size())
            numbers[i] = whole[w++];
        else if (kinds[i] == OtherNumber && o < other.size())
            numbers[i] = other[o++];
    }
    return numbers;
}

// Texts that repeat (suppliers, groups) as a list of the chunk's own and an index per row.
void writeTexts(QDataStream &out, const std::vector<QString> &texts) {
    QStringList own;
    QHash<QString, quint16> index;
    std::vector<quint16> at;
    for (const QString &text : texts) {
        auto found = index.find(text);
        if (found == index.end()) {
            found = index.insert(text, quint16(own.size()));
            own << text;
        }
        at.push_back(*found);
    }
    out << own;
    writeBlock(out, at);
}

std::vector<QString> readTexts(QDataStream &in, size_t count) {
    QStringList own;
    in >> own;
    const auto at = readBlock<quint16>(in, count);
    std::vector<QString> texts(count);
    for (size_t i = 0; i < count; ++i)
        texts[i] = at[i] < own.size() ? own[at[i]] : QString();
    return texts;
}

struct ChunkEntry {
    quint16 offset; // the product's number less the chunk's first
    const SnapshotRow *row;
};

QByteArray encodeChunk(const std::vector<ChunkEntry> &entries) {
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_4);
    out << ChunkFormat << quint32(entries.size());
    std::vector<quint16> offsets;
    std::vector<qint8> urgencies;
    for (const ChunkEntry &e : entries) {
        offsets.push_back(e.offset);
        urgencies.push_back(qint8(e.row->urgency));
    }
    writeBlock(out, offsets);
    auto numbers = [&](auto value) {
        std::vector<std::optional<double>> column;
        column.reserve(entries.size());
        for (const ChunkEntry &e : entries)
            column.push_back(value(*e.row));
        writeNumbers(out, column);
    };
    for (Number n : numberColumns)
        numbers([n](const SnapshotRow &r) { return r.*n; });
    numbers([](const SnapshotRow &r) {
        return r.suggestion ? std::optional<double>(double(*r.suggestion)) : std::nullopt;
    });
    writeBlock(out, urgencies);
    numbers([](const SnapshotRow &r) { return std::optional(r.rule.leadTimeWeeks); });
    numbers([](const SnapshotRow &r) { return std::optional(r.rule.safetyWeeks); });
    numbers([](const SnapshotRow &r) { return std::optional(r.rule.safetyPacks); });
    numbers([](const SnapshotRow &r) { return std::optional(double(r.rule.multiple)); });
    numbers([](const SnapshotRow &r) { return std::optional(double(r.rule.minimum)); });
    std::vector<QString> suppliers, groups;
    for (const ChunkEntry &e : entries) {
        suppliers.push_back(e.row->rule.supplier);
        groups.push_back(e.row->rule.group);
    }
    writeTexts(out, suppliers);
    writeTexts(out, groups);
    return qCompress(bytes);
}

// The rows of a chunk by their offset; false when the record is not one this program wrote.
bool decodeChunk(const QByteArray &data, std::vector<std::pair<quint16, SnapshotRow>> &rows) {
    const QByteArray bytes = qUncompress(data);
    QDataStream in(bytes);
    in.setVersion(QDataStream::Qt_6_4);
    quint8 format = 0;
    quint32 count = 0;
    in >> format >> count;
    if (format != ChunkFormat || count > quint32(ChunkSize))
        return false;
    rows.assign(count, {});
    const auto offsets = readBlock<quint16>(in, count);
    for (size_t i = 0; i < count; ++i)
        rows[i].first = offsets[i];
    for (Number n : numberColumns) {
        const auto column = readNumbers(in, count);
        for (size_t i = 0; i < count; ++i)
            rows[i].second.*n = column[i];
    }
    const auto suggestions = readNumbers(in, count);
    const auto urgencies = readBlock<qint8>(in, count);
    for (size_t i = 0; i < count; ++i) {
        if (suggestions[i])
            rows[i].second.suggestion = qint64(*suggestions[i]);
        rows[i].second.urgency = urgencies[i];
    }
    const auto lead = readNumbers(in, count), safetyWeeks = readNumbers(in, count),
               safetyPacks = readNumbers(in, count), multiple = readNumbers(in, count),
               minimum = readNumbers(in, count);
    const auto suppliers = readTexts(in, count), groups = readTexts(in, count);
    for (size_t i = 0; i < count; ++i) {
        PlanningRule &rule = rows[i].second.rule;
        rule.leadTimeWeeks = lead[i].value_or(0);
        rule.safetyWeeks = safetyWeeks[i].value_or(0);
        rule.safetyPacks = safetyPacks[i].value_or(0);
        rule.multiple = qint64(multiple[i].value_or(1));
        rule.minimum = qint64(minimum[i].value_or(0));
        rule.supplier = suppliers[i];
        rule.group = groups[i];
    }
    return in.status() == QDataStream::Ok;
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

// The products ever kept, by number and by product number.
struct RunHistory::Dictionary {
    std::map<qint64, std::pair<QString, QString>> byId; // product, description
    QHash<QString, qint64> ids;
    qint64 next = 0;
};

namespace {

// One run's turn: a lock file beside sokdata.db, or the server's advisory lock held by the
// connection.
class FileTurn : public RunHistory::Turn {
public:
    explicit FileTurn(const QString &file) : m_lock(file) { m_lock.setStaleLockTime(0); }
    bool take(int waitMs) { return m_lock.tryLock(waitMs); }

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
    const QStringList statements = tableStatements(isSqlite(db));
    for (int i = 0; i < statements.size(); ++i) {
        QSqlQuery query(db);
        const auto exists = [&] {
            return query.exec(
                QStringLiteral("SELECT 1 FROM %1 WHERE 1 = 0").arg(QLatin1String(tableNames[i])));
        };
        if (exists())
            continue;
        // Two workstations' first runs may both make it; the server lets one of them.
        if (query.exec(statements[i]))
            continue;
        const QSqlError refused = query.lastError();
        if (!exists())
            throw Error(
                QStringLiteral("Tabellen %1 saknas i %2 och kunde inte skapas (på en "
                               "server görs den med server/sokdata-postgresql.sql): %3")
                    .arg(QLatin1String(tableNames[i]), description(), failure(db, refused)));
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
        auto turn = std::make_unique<FileTurn>(db.databaseName() + QStringLiteral(".korning"));
        if (!turn->take(waitMs))
            throw noTurn(*this);
        return turn;
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

void RunHistory::keep(const Snapshot &snapshot, int retain,
                      const std::function<void()> &saveOutputs, int waitMs) {
    const auto turn = takeTurn(waitMs);
    if (saveOutputs)
        saveOutputs();
    try {
        write(snapshot, retain);
    } catch (const Error &e) {
        throw HistoryNotKept(e.message());
    }
}

RunHistory::Dictionary RunHistory::products() const {
    Dictionary d;
    QSqlQuery query = run(*this, database(), QStringLiteral("Läsningen av historikens produkter"),
                          QStringLiteral("SELECT id, product, description FROM history_product"));
    while (query.next()) {
        const qint64 id = query.value(0).toLongLong();
        const QString product = query.value(1).toString();
        d.byId[id] = {product, query.value(2).toString()};
        d.ids.insert(product, id);
        d.next = std::max(d.next, id + 1);
    }
    return d;
}

void RunHistory::write(const Snapshot &snapshot, int retain) {
    QSqlDatabase db = database();
    const QString what =
        QStringLiteral("Sparandet av körningen %1 i historiken").arg(snapshot.info.period);
    inTransaction(*this, db, what, [&] {
        Dictionary d = products();
        // New products get the next numbers; a description follows the latest run.
        std::map<qint64, const SnapshotRow *> rows;
        std::vector<std::pair<qint64, const SnapshotRow *>> added;
        for (const SnapshotRow &row : snapshot.rows) {
            qint64 id;
            if (const auto found = d.ids.constFind(row.product); found != d.ids.cend()) {
                id = *found;
                if (d.byId[id].second != row.description && !rows.count(id))
                    run(*this, db, what,
                        QStringLiteral("UPDATE history_product SET description = ? WHERE id = ?"),
                        {row.description, id});
            } else {
                id = d.next++;
                d.ids.insert(row.product, id);
                d.byId[id] = {row.product, row.description};
                added.emplace_back(id, &row);
            }
            rows.emplace(id, &row);
        }
        // A few hundred products a statement: one each would take seconds on a server.
        for (size_t from = 0; from < added.size(); from += 300) {
            const size_t n = std::min<size_t>(300, added.size() - from);
            QStringList values;
            QVariantList bound;
            for (size_t i = from; i < from + n; ++i) {
                values << QStringLiteral("(?, ?, ?)");
                bound << added[i].first << added[i].second->product
                      << (added[i].second->description.isNull() ? QStringLiteral("")
                                                                : added[i].second->description);
            }
            run(*this, db, what,
                QStringLiteral("INSERT INTO history_product (id, product, description) VALUES ") +
                    values.join(QLatin1Char(',')),
                bound);
        }

        qint64 snapshotId = 0;
        {
            QSqlQuery old = run(*this, db, what,
                                QStringLiteral("SELECT id FROM history_snapshot WHERE period = ?"),
                                {snapshot.info.period});
            if (old.next()) {
                const qint64 id = old.value(0).toLongLong();
                run(*this, db, what, QStringLiteral("DELETE FROM history_chunk WHERE snapshot = ?"),
                    {id});
                run(*this, db, what, QStringLiteral("DELETE FROM history_snapshot WHERE id = ?"),
                    {id});
            }
            QSqlQuery last =
                run(*this, db, what, QStringLiteral("SELECT max(id) FROM history_snapshot"));
            snapshotId = last.next() ? last.value(0).toLongLong() + 1 : 1;
        }
        run(*this, db, what,
            QStringLiteral("INSERT INTO history_snapshot (id, period, taken_at, target_weeks, "
                           "products, origin) VALUES (?, ?, ?, ?, ?, ?)"),
            {snapshotId, snapshot.info.period, timeText(snapshot.info.takenAt),
             snapshot.info.targetWeeks, qint64(rows.size()), runOriginKey(snapshot.info.origin)});

        QSqlQuery insert(db);
        if (!insert.prepare(QStringLiteral(
                "INSERT INTO history_chunk (snapshot, chunk, data) VALUES (?, ?, ?)")))
            throw queryError(*this, db, insert, what);
        for (auto it = rows.begin(); it != rows.end();) {
            const qint64 chunk = it->first / ChunkSize;
            std::vector<ChunkEntry> entries;
            for (; it != rows.end() && it->first / ChunkSize == chunk; ++it)
                entries.push_back({quint16(it->first - chunk * ChunkSize), it->second});
            insert.addBindValue(snapshotId);
            insert.addBindValue(chunk);
            insert.addBindValue(encodeChunk(entries));
            if (!insert.exec())
                throw queryError(*this, db, insert, what);
        }
        return pruneIn(retain);
    });
}

std::vector<SnapshotInfo> RunHistory::snapshots() const {
    QSqlQuery query = run(*this, database(), QStringLiteral("Läsningen av historiken"),
                          QStringLiteral("SELECT period, taken_at, target_weeks, products, origin "
                                         "FROM history_snapshot ORDER BY period"));
    std::vector<SnapshotInfo> infos;
    while (query.next())
        infos.push_back({query.value(0).toString(), timeFromText(query.value(1).toString()),
                         query.value(2).toDouble(), query.value(3).toInt(),
                         originFromKey(query.value(4).toString())});
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
                          QStringLiteral("SELECT s.taken_at, s.target_weeks, s.products, "
                                         "s.origin, c.chunk, c.data FROM history_snapshot s LEFT "
                                         "JOIN history_chunk c ON c.snapshot = s.id WHERE "
                                         "s.period = ? ORDER BY c.chunk"),
                          {period});
    std::optional<Snapshot> snapshot;
    std::vector<std::pair<qint64, SnapshotRow>> rows;
    std::vector<std::pair<quint16, SnapshotRow>> chunk;
    while (query.next()) {
        if (!snapshot)
            snapshot = Snapshot{{period, timeFromText(query.value(0).toString()),
                                 query.value(1).toDouble(), query.value(2).toInt(),
                                 originFromKey(query.value(3).toString())},
                                {}};
        if (query.value(5).isNull())
            continue;
        if (!decodeChunk(query.value(5).toByteArray(), chunk))
            throw damaged(*this, period);
        const qint64 first = query.value(4).toLongLong() * ChunkSize;
        for (auto &[offset, row] : chunk)
            rows.emplace_back(first + offset, std::move(row));
    }
    if (!snapshot)
        return std::nullopt;
    const Dictionary d = products();
    snapshot->rows.reserve(rows.size());
    for (auto &[id, row] : rows) {
        const auto found = d.byId.find(id);
        if (found == d.byId.end())
            throw damaged(*this, period);
        row.product = found->second.first;
        row.description = found->second.second;
        snapshot->rows.push_back(std::move(row));
    }
    return snapshot;
}

std::vector<SeriesPoint> RunHistory::series(const QString &product) const {
    const QString what = QStringLiteral("Läsningen av historiken för %1").arg(product);
    const QSqlDatabase db = database();
    QSqlQuery known = run(*this, db, what,
                          QStringLiteral("SELECT id, description FROM history_product WHERE "
                                         "product = ?"),
                          {product});
    if (!known.next())
        return {};
    const qint64 id = known.value(0).toLongLong();
    const QString description = known.value(1).toString();
    QSqlQuery query = run(*this, db, what,
                          QStringLiteral("SELECT s.period, s.taken_at, s.target_weeks, "
                                         "s.products, s.origin, c.data FROM history_snapshot s "
                                         "JOIN history_chunk c ON c.snapshot = s.id WHERE c.chunk "
                                         "= ? ORDER BY s.period"),
                          {id / ChunkSize});
    std::vector<SeriesPoint> points;
    std::vector<std::pair<quint16, SnapshotRow>> chunk;
    while (query.next()) {
        const QString period = query.value(0).toString();
        if (!decodeChunk(query.value(5).toByteArray(), chunk))
            throw damaged(*this, period);
        for (auto &[offset, row] : chunk) {
            if (offset != id % ChunkSize)
                continue;
            row.product = product;
            row.description = description;
            points.push_back(
                {{period, timeFromText(query.value(1).toString()), query.value(2).toDouble(),
                  query.value(3).toInt(), originFromKey(query.value(4).toString())},
                 std::move(row)});
            break;
        }
    }
    return points;
}

int RunHistory::prune(int retain) {
    return inTransaction(*this, database(), QStringLiteral("Rensningen av historiken"),
                         [&] { return pruneIn(retain); });
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
    for (const QVariant &id : old) {
        run(*this, db, what, QStringLiteral("DELETE FROM history_chunk WHERE snapshot = ?"), {id});
        run(*this, db, what, QStringLiteral("DELETE FROM history_snapshot WHERE id = ?"), {id});
    }
    return int(old.size());
}

std::optional<ScheduledRunState> RunHistory::scheduledRun() const {
    QSqlQuery query =
        run(*this, database(), QStringLiteral("Läsningen av den schemalagda körningen"),
            QStringLiteral("SELECT started_at, period, ok, message, files FROM "
                           "history_scheduled_run WHERE id = 1"));
    if (!query.next())
        return std::nullopt;
    return ScheduledRunState{timeFromText(query.value(0).toString()), query.value(1).toString(),
                             query.value(2).toInt() != 0, query.value(3).toString(),
                             query.value(4).toString()};
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
