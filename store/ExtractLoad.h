#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

struct SearchSourceSettings;
namespace lodvik {
class Progress;
}

// Loads the extract store on the server ([extrakt] of lodvikprodsok.ini) from an SQLite extract
// store: a local.mdb made here, or the work file an Access import fills. One transaction on the
// server: first the advisory lock that keeps two loads apart, then each table emptied with DELETE
// (readers in a snapshot taken before keep seeing the old rows) and filled with COPY ... FROM
// STDIN through the QPSQL connection's libpq, or with INSERT batches through QODBC. Nothing is
// visible to others before the commit; a failure or a cancellation rolls everything back.
//
// A table of the catalogue keeps the server's columns and types: the store's columns are copied
// into the server columns of the same name (case aside), each row with its rowid as lodvik_radnr.
// Any other table of the store replaces the server table of that name, made with the store's
// columns in server types. Tables the store does not hold stay as they are on the server.
namespace extractload {

struct LoadedTable {
    QString name;
    qint64 rows = 0;
};

struct LoadResult {
    QList<LoadedTable> tables;
    QStringList warnings; // for the operator: columns the server has no place for
};

enum class WhenBusy { Wait, Refuse };

struct LoadOptions {
    // Another load holding the server: wait for it (the command line) or refuse (the window).
    WhenBusy whenBusy = WhenBusy::Wait;
    // Called once when the load starts waiting for another one.
    std::function<void()> waiting;
    // Only these tables of the store; every table when absent.
    std::optional<QStringList> tables;
};

// Raises lodvik::Error (lodvik::Cancelled) with a message for the operator; the server's tables
// are then as they were.
LoadResult loadServerStore(const QString &storePath, const SearchSourceSettings &server,
                           lodvik::Progress &progress, const LoadOptions &options = {});

} // namespace extractload
