#pragma once

#include "MDlib/Variant.h"
#include "store/ExtractStore.h"
#include "store/ServerSettings.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <memory>
#include <optional>

class QSqlQuery;

// The extract store on a PostgreSQL server (lodvikprodsok.ini's [extrakt]): one Qt SQL connection
// per operation (QPSQL, or QODBC through psqlODBC), in one REPEATABLE READ transaction, so that
// everything the operation reads comes from one snapshot. Every table has the hidden column
// lodvik_radnr, the row's place in the SQLite store; rows are read in its order and updated by
// it, and it never shows among a query's fields. The SQLite forms of the figures' queries get
// their server meaning here: SELECT * in lodvik_radnr order, the product comparison through
// lodvik_nyckel, the checked sum added by the same CheckedSum as SQLite's lodvik_sum.
namespace dao {

class PostgresStore : public ExtractStore {
public:
    // Connects, takes the write lock for Access::Write, and begins the transaction; with a
    // snapshot (another connection's pg_export_snapshot) the transaction reads that one.
    PostgresStore(const SearchSourceSettings &settings, Access access,
                  const QString &snapshot = {});
    ~PostgresStore() override;

    std::unique_ptr<StoreRows> query(const QString &sql, const Parameters &parameters,
                                     QString *updatableTable) override;
    void execute(const QString &sql, const Parameters &parameters) override;
    bool tableExists(const QString &name) override;
    std::unique_ptr<StoreRows> product(const ProductQuery &query, const QString &product,
                                       QString *updatableTable) override;
    lodvik::Variant tableSum(const QString &table, const QString &column) override;
    void update(const QString &table, qint64 place, const QString &column,
                const lodvik::Variant &value) override;
    std::unique_ptr<TableWriter> writer(const QString &table, const QStringList &columns) override;
    void commit() override;
    // The snapshot is the transaction's from its start.
    bool holdSnapshot() override { return false; }
    std::function<std::shared_ptr<ExtractStore>()> joinSnapshot() override;
    void readProducts(ScanProducts &products, const ScanStop &stop) override;
    void scanTables(const std::vector<ScanTable *> &tables, const ScanProducts &products,
                    const ScanStop &stop) override;
    // The schema script builds every index the product comparison needs.
    void prepareIndexes(lodvik::Progress &, catalogue::MissingIndexes) override {}
    QString description() const override;

    QSqlDatabase database() const;
    // The server's failure in the operator's words, its own words after "Detaljer:".
    [[noreturn]] void fail(const QSqlError &error, const QString &sql) const;
    // The query of sql, prepared once per connection, run with values bound to its "?".
    QSqlQuery &prepared(const QString &sql, const QVariantList &values);
    // Runs sql; its rows are not read.
    void run(const QString &sql);
    // A name as the server keeps it unquoted, quoted: A-Z folded, other letters as they are.
    static QString name(const QString &name);

private:
    // The checked sum of column over the rows of table (of one product when key is given).
    lodvik::Variant sum(const QString &table, const QString &column, const QString &key = {},
                        const QString &product = {});
    QString scanDescription() const;
    // The first field of the first row of sql, as text.
    QString value(const QString &sql);
    void begin();

    std::unique_ptr<ServerLogin> m_source; // owns the connection
    SearchSourceSettings m_settings;
    QString m_description;
    QString m_begin;
    bool m_writes = false;
    bool m_open = false; // a transaction is open
    int m_cursors = 0;
    QHash<QString, std::shared_ptr<QSqlQuery>> m_prepared;
};

// The connection settings of the program folder's server store: [extrakt] of lodvikprodsok.ini
// in the folder local.mdb lies in; nothing when local.mdb is the store.
std::optional<SearchSourceSettings> serverStoreOf(const QString &localDatabase);

} // namespace dao
