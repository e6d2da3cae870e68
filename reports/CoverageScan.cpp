#include "reports/CoverageScan.h"

#include "MDlib/Error.h"
#include "MDlib/MDlib.h"
#include "MDlib/Progress.h"
#include "data/CheckedSum.h"
#include "data/LocalDatabase.h"
#include "data/ProductKey.h"
#include "data/ServerStore.h"
#include "data/TableCatalogue.h"
#include "figures/DpFigures.h"
#include "figures/FigureQuery.h"
#include "figures/PjFigures.h"
#include "reports/CoverageScanServer.h"

#include <sqlite3.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <exception>
#include <functional>
#include <future>
#include <thread>

using lodvik::Variant;

namespace reports {

namespace {

// SQLite's affinity of a declared column type, as far as the key rule needs it.
bool comparesAsStored(const QByteArray &declared) {
    const QByteArray type = declared.toUpper();
    if (type.contains("INT"))
        return false;
    if (type.contains("CHAR") || type.contains("CLOB") || type.contains("TEXT"))
        return true;                                // TEXT affinity: the bound text stays text
    return type.isEmpty() || type.contains("BLOB"); // no affinity: nothing converts
}

struct Stopped {};

using Stop = std::function<void()>;

} // namespace

struct CoverageScan::Table {
    enum class Kind { Sum, DpRows, HistoryRows };
    Kind kind;
    const char *name;
    const char *key;
    const char *column; // the summed column
    bool scanned = false;
    KeyRule rule = KeyRule::Product;
    QHash<QByteArray, dao::ExactSum> sums;
    QHash<QByteArray, double> totals;
    // Products whose values the pass does not add as the figure would: their figure asks.
    QSet<QByteArray> refused;

    Table(const figures::SummedColumn &summed)
        : kind(Kind::Sum), name(summed.table), key(summed.key), column(summed.column) {}
    Table(Kind kind, const char *name, const char *key)
        : kind(kind), name(name), key(key), column(nullptr) {}
};

namespace {

std::optional<KeyRule> keyRule(sqlite3 *db, const char *table, const char *column) {
    const char *declared = nullptr;
    if (sqlite3_table_column_metadata(db, "main", table, column, &declared, nullptr, nullptr,
                                      nullptr, nullptr) != SQLITE_OK ||
        !comparesAsStored(QByteArray(declared ? declared : "")))
        return std::nullopt;
    // The figures compare under the product collation whatever the column declares.
    return KeyRule::Product;
}

} // namespace

std::optional<KeyRule> keyRule(const QString &localDatabase, const char *table,
                               const char *column) {
    dao::Database db = dao::Database::OpenDatabase(localDatabase);
    return keyRule(db.handle(), table, column);
}

namespace {

// productKey into key, whose buffer is used again: a pass makes one key a row.
void writeProductKey(KeyRule, const char *utf8, qsizetype size, QByteArray &key) {
    dao::productKeyInto(QByteArrayView(utf8, size), key);
}

} // namespace

QByteArray productKey(KeyRule rule, const QByteArray &utf8) {
    QByteArray key;
    writeProductKey(rule, utf8.constData(), utf8.size(), key);
    return key;
}

namespace {

struct Statement {
    sqlite3_stmt *statement = nullptr;
    ~Statement() { sqlite3_finalize(statement); }
};

// The product's sum in table, or nullptr when its figure asks for itself.
dao::ExactSum *sumOf(CoverageScan::Table &table, const QByteArray &key) {
    if (!table.refused.isEmpty() && table.refused.contains(key))
        return nullptr;
    auto it = table.sums.find(key);
    if (it == table.sums.end())
        it = table.sums.insert(QByteArray(key.constData(), key.size()), dao::ExactSum());
    return &*it;
}

// Adds value as the store's checked sum would; false for a value the pass leaves to the
// figure's query (a text that is no number, a blob, a value that is no finite number, a sum
// that overflows), whose query then stops with the figure's message.
bool addValue(dao::ExactSum &sum, sqlite3_stmt *statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_NULL:
        return true;
    case SQLITE_INTEGER:
        return sum.addInteger(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT:
        return sum.addReal(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
        // The engine's own conversion of a numeric text, as the check and SUM apply it.
        sqlite3_value *value = sqlite3_value_dup(sqlite3_column_value(statement, column));
        if (!value)
            throw std::bad_alloc();
        bool added = true;
        switch (sqlite3_value_numeric_type(value)) {
        case SQLITE_INTEGER:
            added = sum.addInteger(sqlite3_value_int64(value));
            break;
        case SQLITE_FLOAT:
            added = sum.addReal(sqlite3_value_double(value));
            break;
        default: { // "" and " " count 0 (as a double); any other text stops the figure
            const QByteArray text(reinterpret_cast<const char *>(sqlite3_value_text(value)),
                                  sqlite3_value_bytes(value));
            added = (text.isEmpty() || text == " ") && sum.addReal(0);
        }
        }
        sqlite3_value_free(value);
        return added;
    }
    default:
        return false;
    }
}

// Steps through sql, whose first column is the product number, and hands each row whose number
// is stored as text to add with its product's entry (made on first sight), unless the product
// was refused; add refuses it by returning false. False when the table cannot be read so: a
// missing table or column, which the figure's query reports.
template <typename Entry, typename Add>
bool walkProducts(dao::Database &db, CoverageScan::Table &table, QHash<QByteArray, Entry> &entries,
                  const QByteArray &sql, const Stop &stop, Add &&add) {
    Statement s;
    if (sqlite3_prepare_v2(db.handle(), sql.constData(), int(sql.size()), &s.statement, nullptr) !=
        SQLITE_OK)
        return false;
    int rc = SQLITE_ROW;
    QByteArray key;
    for (qint64 n = 1; (rc = sqlite3_step(s.statement)) == SQLITE_ROW; ++n) {
        if (n % 4096 == 0)
            stop();
        if (sqlite3_column_type(s.statement, 0) != SQLITE_TEXT)
            continue; // never equal to a bound text under this key rule
        writeProductKey(table.rule,
                        reinterpret_cast<const char *>(sqlite3_column_text(s.statement, 0)),
                        sqlite3_column_bytes(s.statement, 0), key);
        if (!table.refused.isEmpty() && table.refused.contains(key))
            continue;
        auto it = entries.find(key);
        if (it == entries.end())
            it = entries.insert(QByteArray(key.constData(), key.size()), Entry());
        if (!add(*it, s.statement))
            table.refused.insert(QByteArray(key.constData(), key.size()));
    }
    if (rc == SQLITE_DONE)
        return true;
    entries.clear();
    table.refused.clear();
    return false;
}

void scanSums(dao::Database &db, CoverageScan::Table &table, const Stop &stop) {
    const QByteArray sql = QStringLiteral("SELECT %1, %2 FROM %3 ORDER BY rowid")
                               .arg(QString::fromUtf8(table.key), QString::fromUtf8(table.column),
                                    QString::fromUtf8(table.name))
                               .toUtf8();
    table.scanned = walkProducts(
        db, table, table.sums, sql, stop,
        [](dao::ExactSum &sum, sqlite3_stmt *statement) { return addValue(sum, statement, 1); });
}

// The values a row of DTSPL or frnhist gives its product's total, by their positions among the
// table's columns: added in order, then subtracted in order. A NULL among them counts 0 where
// the figure reads it as a quantity (DTSPL); where it stops the figure (frnhist), the product is
// left to the figure's query, as is a product with any value stored as text or blob.
struct RowValues {
    std::vector<int> added;
    std::vector<int> subtracted;
    bool nullCountsZero = false;
};

RowValues columnRange(figures::DpFigures::Columns added, figures::DpFigures::Columns subtracted) {
    RowValues values;
    for (int p = added.first; p <= added.last; ++p)
        values.added.push_back(p);
    for (int p = subtracted.first; p <= subtracted.last; ++p)
        values.subtracted.push_back(p);
    values.nullCountsZero = true;
    return values;
}

// A stored number as the figure reads it; nothing for a value the pass leaves to the figure.
inline std::optional<double> storedValue(sqlite3_stmt *statement, int column, bool nullCountsZero) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return double(sqlite3_column_int64(statement, column));
    case SQLITE_FLOAT: {
        const double v = sqlite3_column_double(statement, column);
        return std::isfinite(v) ? std::optional<double>(v) : std::nullopt;
    }
    case SQLITE_NULL:
        return nullCountsZero ? std::optional<double>(0.0) : std::nullopt;
    default:
        return std::nullopt;
    }
}

// The rows of DTSPL or frnhist, added as the figure adds one product's rows, read straight from
// the statement: only the key and the columns the figure reads are decoded, and the key's bytes
// are taken as stored, as the sums take them.
void scanRows(dao::Database &db, CoverageScan::Table &table, const RowValues &values,
              const Stop &stop) {
    // The figure reads its columns by position in the table: their names here.
    Statement all;
    const QByteArray star = "SELECT * FROM \"" + QByteArray(table.name) + "\"";
    if (sqlite3_prepare_v2(db.handle(), star.constData(), int(star.size()), &all.statement,
                           nullptr) != SQLITE_OK)
        return;
    const int columns = sqlite3_column_count(all.statement);
    QByteArray sql = "SELECT \"" + QByteArray(table.key) + "\"";
    for (const std::vector<int> *group : {&values.added, &values.subtracted})
        for (const int position : *group) {
            if (position >= columns)
                return; // the figure's query says what is missing
            sql += ", \"" +
                   QByteArray(sqlite3_column_name(all.statement, position)).replace('"', "\"\"") +
                   '"';
        }
    sql += " FROM \"" + QByteArray(table.name) + "\" ORDER BY rowid";
    const int added = int(values.added.size());
    const int read = added + int(values.subtracted.size());
    table.scanned = walkProducts(
        db, table, table.totals, sql, stop, [&](double &total, sqlite3_stmt *statement) {
            double sum = total;
            for (int c = 1; c <= read; ++c) {
                const std::optional<double> v = storedValue(statement, c, values.nullCountsZero);
                if (!v)
                    return false;
                sum = c <= added ? sum + *v : sum - *v;
            }
            total = sum;
            return true;
        });
}

// A value of the server's store, added as local.mdb's would be.
bool addValue(dao::ExactSum &sum, const ServerValue &value) {
    switch (value.kind) {
    case ServerValue::Kind::Null:
        return true;
    case ServerValue::Kind::Integer:
        return sum.addInteger(value.integer);
    case ServerValue::Kind::Real:
        return sum.addReal(value.real);
    case ServerValue::Kind::NotANumber:
        break;
    }
    return false;
}

void scanServerSums(ServerSnapshot &server, CoverageScan::Table &table, const Stop &stop) {
    QByteArray key;
    const bool read = server.readColumn(
        QString::fromUtf8(table.name), QString::fromUtf8(table.key),
        QString::fromUtf8(table.column),
        [&](QByteArrayView product, const ServerValue &value) {
            writeProductKey(table.rule, product.data(), product.size(), key);
            if (dao::ExactSum *sum = sumOf(table, key); sum && !addValue(*sum, value))
                table.refused.insert(QByteArray(key.constData(), key.size()));
        },
        stop);
    table.scanned = read;
}

struct Refused {};

// The rows of DTSPL or frnhist on the server, added as the figure adds one product's rows
// (addRow with the value at each position); a Null counts 0 where the figure's reading of the
// field counts it so, and refuses the product otherwise.
void scanServerRows(ServerSnapshot &server, CoverageScan::Table &table,
                    const std::function<double(double, const std::function<double(int)> &)> &addRow,
                    bool nullCountsZero, const Stop &stop) {
    const catalogue::Table *catalogued = catalogue::findLocalTable(QString::fromUtf8(table.name));
    if (!catalogued)
        return;
    QStringList columns; // the numbers in their places; the texts stay Null
    for (const catalogue::Column &column : catalogued->columns)
        columns << (column.kind == catalogue::ColumnKind::Number ? column.name : QString());
    QByteArray key;
    const bool read = server.readRows(
        QString::fromUtf8(table.name), QString::fromUtf8(table.key), columns,
        [&](QByteArrayView product, const std::vector<ServerValue> &values) {
            writeProductKey(table.rule, product.data(), product.size(), key);
            if (!table.refused.isEmpty() && table.refused.contains(key))
                return;
            auto it = table.totals.find(key);
            if (it == table.totals.end())
                it = table.totals.insert(QByteArray(key.constData(), key.size()), 0.0);
            const auto valueAt = [&](int position) {
                const ServerValue &value = values.at(size_t(position));
                if (value.kind == ServerValue::Kind::Integer)
                    return double(value.integer);
                if (value.kind == ServerValue::Kind::Real)
                    return value.real;
                if (value.kind == ServerValue::Kind::Null && nullCountsZero)
                    return 0.0;
                throw Refused{};
            };
            try {
                *it = addRow(*it, valueAt);
            } catch (const Refused &) {
                table.refused.insert(QByteArray(key.constData(), key.size()));
            }
        },
        stop);
    table.scanned = read;
}

} // namespace

CoverageScan::CoverageScan(const QString &localDatabase, const figures::Period &period,
                           lodvik::Progress &progress, const QString &snapshot)
    : m_queries(localDatabase, period, progress), m_tables([] {
          using F = figures::FrnFigures;
          using P = figures::PjFigures;
          std::vector<std::unique_ptr<Table>> t;
          for (const figures::SummedColumn &c :
               {F::stockColumn, F::availColumn, F::orderColumn, F::backOrderColumn})
              t.push_back(std::make_unique<Table>(c));
          t.push_back(
              std::make_unique<Table>(Table::Kind::HistoryRows, F::historyTable, F::historyKey));
          t.push_back(std::make_unique<Table>(Table::Kind::DpRows, figures::DpFigures::table,
                                              figures::DpFigures::productColumn));
          for (const figures::SummedColumn &c : {P::stockColumn, P::orderColumn, P::salesColumn,
                                                 P::backOrderColumn, P::forecastColumn})
              t.push_back(std::make_unique<Table>(c));
          return t;
      }()),
      m_frnStock(*m_tables[0]), m_avail(*m_tables[1]), m_frnOrder(*m_tables[2]),
      m_frnBackOrder(*m_tables[3]), m_frnHistory(*m_tables[4]), m_dp(*m_tables[5]),
      m_pjStock(*m_tables[6]), m_pjOrder(*m_tables[7]), m_pjSales(*m_tables[8]),
      m_pjBackOrder(*m_tables[9]), m_pjForecast(*m_tables[10]) {
    const figures::FrnFigures::SalesMonths months = figures::FrnFigures::salesMonths(period);
    RowValues salesMonths;
    for (const int position : months)
        salesMonths.added.push_back(position);
    const RowValues dpStock =
        columnRange(figures::DpFigures::onHandColumns, figures::DpFigures::allocatedColumns);
    std::atomic<bool> stopping{false};
    const std::thread::id owner = std::this_thread::get_id();

    // On a server store both threads read one snapshot: the run's, or the first connection's.
    const std::optional<SearchSourceSettings> server = dao::serverStoreOf(localDatabase);
    // Through ODBC no snapshot is shared (scanSnapshot): this thread alone reads, on the run's
    // connection.
    const bool oneConnection = server && server->driver == QLatin1String("QODBC");
    std::optional<dao::Database> run;
    std::optional<ServerSnapshot> first;
    if (oneConnection)
        first.emplace(run.emplace(dao::Database::OpenExtractStore(localDatabase)));
    else if (server)
        first.emplace(*server, snapshot);

    // Reads a group of tables on its own connection; the key rules are read there too.
    const auto scanGroup = [&](const std::vector<Table *> &group, const Stop &stop) {
        if (server) {
            std::optional<ServerSnapshot> own;
            ServerSnapshot &on = std::this_thread::get_id() == owner
                                     ? *first
                                     : own.emplace(*server, first->snapshot());
            for (Table *table : group) {
                if (table->kind == Table::Kind::Sum) {
                    scanServerSums(on, *table, stop);
                    continue;
                }
                // DTSPL's figure requires its companion table; without it, its query says so.
                if (table->kind == Table::Kind::HistoryRows)
                    scanServerRows(
                        on, *table,
                        [&](double total, const std::function<double(int)> &summableAt) {
                            return figures::FrnFigures::addSalesAt(total, summableAt, months);
                        },
                        false, stop);
                else if (on.tableExists(QString::fromUtf8(figures::DpFigures::companionTable)))
                    scanServerRows(on, *table, &figures::DpFigures::addStockAt, true, stop);
            }
            return;
        }
        dao::Database db = dao::Database::OpenDatabase(localDatabase);
        Statement encoding;
        if (sqlite3_prepare_v2(db.handle(), "PRAGMA encoding", -1, &encoding.statement, nullptr) !=
                SQLITE_OK ||
            sqlite3_step(encoding.statement) != SQLITE_ROW ||
            qstrcmp(reinterpret_cast<const char *>(sqlite3_column_text(encoding.statement, 0)),
                    "UTF-8") != 0)
            return; // the key rules compare UTF-8 bytes
        // DTSPL's figure requires this table; without it, its query says so.
        const bool dpReadable =
            db.TableExists(QString::fromUtf8(figures::DpFigures::companionTable));
        for (Table *table : group) {
            const std::optional<KeyRule> rule = keyRule(db.handle(), table->name, table->key);
            if (!rule)
                continue; // the figure's query compares; it is asked per product
            table->rule = *rule;
            switch (table->kind) {
            case Table::Kind::Sum:
                scanSums(db, *table, stop);
                break;
            case Table::Kind::HistoryRows:
                scanRows(db, *table, salesMonths, stop);
                break;
            case Table::Kind::DpRows:
                if (dpReadable)
                    scanRows(db, *table, dpStock, stop);
                break;
            }
        }
    };

    // Two groups of about equal work: the row walks of DTSPL and frnhist cost the most.
    std::vector<Table *> mine{&m_dp, &m_pjSales, &m_frnStock, &m_avail};
    std::vector<Table *> other{&m_frnHistory, &m_pjStock,      &m_pjOrder,   &m_pjBackOrder,
                               &m_frnOrder,   &m_frnBackOrder, &m_pjForecast};
    // Both threads stop at the next few thousand rows once the operator cancels or the other
    // thread failed.
    const Stop stop = [&] {
        if (stopping.load(std::memory_order_relaxed) || progress.cancelled())
            throw Stopped{};
    };
    std::promise<void> done;
    std::future<void> otherDone = done.get_future();
    std::thread worker([&] {
        try {
            if (!oneConnection)
                scanGroup(other, stop);
            done.set_value();
        } catch (...) {
            done.set_exception(std::current_exception());
        }
    });
    try {
        progress.caption(QStringLiteral("Läser utdragen"), lodvik::Progress::Show::Now);
        scanGroup(mine, stop);
        if (oneConnection)
            scanGroup(other, stop);
        while (otherDone.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            stop();
        worker.join();
        otherDone.get();
    } catch (...) {
        stopping = true;
        if (worker.joinable())
            worker.join();
        try {
            throw;
        } catch (const Stopped &) {
            progress.checkCancelled();
            throw lodvik::Error(QStringLiteral("Läsningen av utdragen avbröts.")); // not reached
        }
    }
}

CoverageScan::~CoverageScan() = default;

ProductFigureQueries::ProductFigureQueries(const QString &localDatabase,
                                           const figures::Period &period,
                                           lodvik::Progress &progress)
    : m_period(period), m_figures(localDatabase, progress) {}

Variant ProductFigureQueries::stockOnHandFRN(const QString &product) {
    return m_figures.frn.StockOnHandFRN(product);
}
Variant ProductFigureQueries::avail(const QString &product) {
    return m_figures.frn.avail(product);
}
Variant ProductFigureQueries::stockOnHandDP(const QString &product) {
    return m_figures.dp.StockOnHandDP(product);
}
Variant ProductFigureQueries::stockOnHandPJ(const QString &product, double umfaktor) {
    return m_figures.pj.StockOnHandPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodBackOrderPJ(const QString &product, double umfaktor) {
    return m_figures.pj.ProdBackOrderPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodBackOrderFRN(const QString &product, double umfaktor) {
    return m_figures.frn.ProdBackOrderFRN(Variant::String(product), umfaktor);
}
Variant ProductFigureQueries::prodOrderPJ(const QString &product, double umfaktor) {
    return m_figures.pj.ProdOrderPJ(product, umfaktor);
}
Variant ProductFigureQueries::prodOrderFRN(const QString &product, double umfaktor) {
    return m_figures.frn.ProdOrderFRN(product, umfaktor);
}
Variant ProductFigureQueries::salesPerWeek(const QString &product, double umfaktor) {
    return m_figures.pj.SalesPerWeek(product, umfaktor);
}
Variant ProductFigureQueries::salesPerWeekFRN(const QString &product) {
    return m_figures.frn.SalesPerWeekFRN(product, m_period);
}

QStringList CoverageScan::scannedTables() const {
    QStringList names;
    for (const auto &table : m_tables)
        if (table->scanned)
            names << QString::fromUtf8(table->name);
    return names;
}

const QByteArray &CoverageScan::keyOf(KeyRule rule, const QString &product) const {
    // Each product is looked up in every table in turn: its key is made once.
    const bool same = m_keysMade && (product.constData() == m_keysOf.constData()
                                         ? product.size() == m_keysOf.size()
                                         : product == m_keysOf);
    if (!same) {
        const QByteArray utf8 = product.toUtf8();
        writeProductKey(rule, utf8.constData(), utf8.size(), m_key);
        m_keysOf = product;
        m_keysMade = true;
    }
    return m_key;
}

std::optional<Variant> CoverageScan::sum(const Table &table, const QString &product) const {
    if (!table.scanned)
        return std::nullopt;
    const QByteArray &key = keyOf(table.rule, product);
    if (!table.refused.isEmpty() && table.refused.contains(key))
        return std::nullopt;
    const auto it = table.sums.constFind(key);
    return it == table.sums.constEnd() ? Variant::Null() : it->result();
}

std::optional<double> CoverageScan::total(const Table &table, const QString &product) const {
    if (!table.scanned)
        return std::nullopt;
    const QByteArray &key = keyOf(table.rule, product);
    if (!table.refused.isEmpty() && table.refused.contains(key))
        return std::nullopt;
    return table.totals.value(key, 0.0);
}

Variant CoverageScan::stockOnHandFRN(const QString &product) {
    const std::optional<Variant> s = sum(m_frnStock, product);
    return s ? figures::asSum(*s) : m_queries.stockOnHandFRN(product);
}

Variant CoverageScan::avail(const QString &product) {
    const std::optional<Variant> s = sum(m_avail, product);
    return s ? figures::asSum(*s) : m_queries.avail(product);
}

Variant CoverageScan::stockOnHandDP(const QString &product) {
    const std::optional<double> t = total(m_dp, product);
    return t ? Variant::Double(*t) : m_queries.stockOnHandDP(product);
}

Variant CoverageScan::stockOnHandPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_pjStock, product);
    return s ? figures::PjFigures::stockInPacks(*s, umfaktor, product)
             : m_queries.stockOnHandPJ(product, umfaktor);
}

Variant CoverageScan::prodBackOrderPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> backOrders = sum(m_pjBackOrder, product);
    const std::optional<Variant> forecast = sum(m_pjForecast, product);
    if (!backOrders || !forecast)
        return m_queries.prodBackOrderPJ(product, umfaktor);
    return figures::PjFigures::backOrderInPacks(backOrders, forecast, umfaktor, product);
}

Variant CoverageScan::prodBackOrderFRN(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_frnBackOrder, product);
    return s ? figures::FrnFigures::backOrderText(*s, umfaktor, product)
             : m_queries.prodBackOrderFRN(product, umfaktor);
}

Variant CoverageScan::prodOrderPJ(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_pjOrder, product);
    return s ? figures::PjFigures::orderInPacks(*s, umfaktor, product)
             : m_queries.prodOrderPJ(product, umfaktor);
}

Variant CoverageScan::prodOrderFRN(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_frnOrder, product);
    return s ? figures::FrnFigures::orderInPacks(*s, umfaktor, product)
             : m_queries.prodOrderFRN(product, umfaktor);
}

Variant CoverageScan::salesPerWeek(const QString &product, double umfaktor) {
    const std::optional<Variant> s = sum(m_pjSales, product);
    return s ? figures::PjFigures::salesPerWeek(*s, umfaktor, product)
             : m_queries.salesPerWeek(product, umfaktor);
}

Variant CoverageScan::salesPerWeekFRN(const QString &product) {
    const std::optional<double> t = total(m_frnHistory, product);
    return t ? figures::FrnFigures::salesPerWeek(*t) : m_queries.salesPerWeekFRN(product);
}

} // namespace reports
