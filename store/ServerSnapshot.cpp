#include "store/ServerSnapshot.h"

#include "MDlib/Error.h"
#include "MDlib/SystemError.h"
#include "store/ExtractStore.h"
#include "store/Libpq.h"
#include "store/LocalDatabase.h"
#include "store/ServerStore.h"
#include "store/SqliteError.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QtEndian>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

namespace dao {

namespace {

PGconn *libpqHandle(const QSqlDatabase &db) {
    const QVariant handle = db.driver()->handle();
    // Qt names the type by the struct PGconn stands for.
    if (!handle.isValid() ||
        (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

QString serverWords(const Libpq &pq, PGconn *conn) {
    return QString::fromUtf8(pq.PQerrorMessage(conn)).trimmed();
}

struct Result {
    const Libpq &pq;
    PGresult *result;
    ~Result() { pq.PQclear(result); }
};

// Type oids of pg_type that arrive in COPY's binary format as plain numbers.
enum : Oid { Int8 = 20, Int2 = 21, Int4 = 23, Float4 = 700, Float8 = 701, Numeric = 1700 };

bool binaryNumber(Oid type) {
    return type == Int8 || type == Int2 || type == Int4 || type == Float4 || type == Float8;
}

// The rows of COPY ... TO STDOUT (FORMAT binary): a header, then per row a field count and each
// field as its length (-1 for Null) and bytes in network order, then -1 for the end.
class BinaryRows {
public:
    BinaryRows(std::vector<Oid> types, ValueRule rule, const ServerSnapshot::Rows &row)
        : m_types(std::move(types)), m_rule(rule), m_values(m_types.size()), m_row(row) {}

    // One message of the copy; false at a malformed one.
    bool take(const char *data, int size) {
        const char *p = data;
        const char *end = data + size;
        if (!m_headerRead) {
            static const char signature[] = "PGCOPY\n\377\r\n\0";
            if (size < 19 || std::memcmp(p, signature, 11) != 0)
                return false;
            const quint32 extension = qFromBigEndian<quint32>(p + 15);
            if (extension > quint32(size - 19))
                return false;
            p += 19 + extension;
            m_headerRead = true;
        }
        while (p < end) {
            if (end - p < 2)
                return false;
            const qint16 fields = qFromBigEndian<qint16>(p);
            p += 2;
            if (fields == -1)
                return p == end;
            if (fields != qint16(m_types.size() + 1))
                return false;
            QByteArrayView key;
            bool keyNull = false;
            for (int f = 0; f < fields; ++f) {
                if (end - p < 4)
                    return false;
                const qint32 length = qFromBigEndian<qint32>(p);
                p += 4;
                if (length > 0 && end - p < length)
                    return false;
                if (f == 0) {
                    keyNull = length < 0;
                    key = QByteArrayView(p, std::max(length, 0));
                } else if (length < 0) {
                    m_values[f - 1] = storedNull(m_rule);
                } else if (!decode(m_types[f - 1], p, length, m_values[f - 1])) {
                    return false;
                }
                p += std::max(length, 0);
            }
            if (!keyNull) // a Null product number equals no product
                m_row(key, m_values);
        }
        return true;
    }

private:
    bool decode(Oid type, const char *p, qint32 length, StoredNumber &value) const {
        const auto integer = [&](qint64 v) {
            value = {StoredNumber::Kind::Integer, v, 0};
            return true;
        };
        const auto real = [&](double v) {
            value = storedNumber(v);
            return true;
        };
        switch (type) {
        case Int8:
            return length == 8 && integer(qFromBigEndian<qint64>(p));
        case Int4:
            return length == 4 && integer(qFromBigEndian<qint32>(p));
        case Int2:
            return length == 2 && integer(qFromBigEndian<qint16>(p));
        case Float4:
            return length == 4 && real(std::bit_cast<float>(qFromBigEndian<quint32>(p)));
        case Float8:
            return length == 8 && real(std::bit_cast<double>(qFromBigEndian<quint64>(p)));
        case Numeric: // selected as text
            value = numericText(QByteArrayView(p, length));
            return true;
        default: // a text the column holds, selected as it is
            value = storedText(QByteArrayView(p, length), m_rule);
            return true;
        }
    }

    std::vector<Oid> m_types;
    ValueRule m_rule;
    std::vector<StoredNumber> m_values;
    const ServerSnapshot::Rows &m_row;
    bool m_headerRead = false;
};

} // namespace

ServerSnapshot::ServerSnapshot(const SearchSourceSettings &settings, const QString &snapshot)
    : m_own(std::make_unique<ServerConnection>(settings, Access::Read, snapshot)),
      m_db(m_own->database()), m_description(m_own->description()), m_snapshot(snapshot) {}

ServerSnapshot::ServerSnapshot(Database &run)
    : m_db(run.serverDatabase()), m_description(run.description()) {}

ServerSnapshot::~ServerSnapshot() = default;

void ServerSnapshot::fail(const QString &words) const {
    throw lodvik::Error(QStringLiteral("Utdragen kunde inte läsas från %1.").arg(m_description) +
                        lodvik::details(words));
}

bool ServerSnapshot::tableExists(const QString &name) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT to_regclass(?) IS NOT NULL"));
    q.addBindValue(name);
    if (!q.exec() || !q.next())
        fail(q.lastError().text());
    return q.value(0).toBool();
}

bool ServerSnapshot::readRows(const QString &table, const QString &key, const QStringList &columns,
                              ValueRule rule, const Rows &row,
                              const std::function<void()> &everyFewRows) {
    QStringList select{key};
    for (const QString &column : columns)
        select << (column.isEmpty() ? QStringLiteral("NULL") : column);
    const QString from = QStringLiteral(" FROM %1 ORDER BY lodvik_radnr").arg(table);
    if (libpqHandle(m_db))
        return readCopy(select, from, rule, row, everyFewRows);
    return readQuery(QStringLiteral("SELECT ") + select.join(QStringLiteral(", ")) + from, rule,
                     row, everyFewRows);
}

bool ServerSnapshot::readCopy(QStringList select, const QString &from, ValueRule rule,
                              const Rows &row, const std::function<void()> &everyFewRows) {
    PGconn *conn = libpqHandle(m_db);
    const Libpq &pq = libpq();
    // The columns' types, and whether they are there at all, without spoiling the transaction.
    {
        Result savepoint{pq, pq.PQexec(conn, "SAVEPOINT lodvik_las")};
        if (pq.PQresultStatus(savepoint.result) != PGRES_COMMAND_OK)
            fail(serverWords(pq, conn));
    }
    std::vector<Oid> types;
    {
        const QByteArray probe = (QStringLiteral("SELECT ") + select.join(QStringLiteral(", ")) +
                                  from + QStringLiteral(" LIMIT 0"))
                                     .toUtf8();
        Result described{pq, pq.PQexec(conn, probe.constData())};
        if (pq.PQresultStatus(described.result) != PGRES_TUPLES_OK) {
            const char *state = pq.PQresultErrorField(described.result, PG_DIAG_SQLSTATE);
            // 42P01 undefined_table, 42703 undefined_column
            if (!state || (qstrcmp(state, "42P01") != 0 && qstrcmp(state, "42703") != 0))
                fail(serverWords(pq, conn));
            Result back{pq, pq.PQexec(conn, "ROLLBACK TO SAVEPOINT lodvik_las")};
            if (pq.PQresultStatus(back.result) != PGRES_COMMAND_OK)
                fail(serverWords(pq, conn));
            return false;
        }
        // Product numbers as text, numbers in their binary form, anything else as text.
        for (int f = 1; f < pq.PQnfields(described.result); ++f) {
            const Oid type = pq.PQftype(described.result, f);
            types.push_back(binaryNumber(type) || type == Numeric ? type : 0);
            if (!binaryNumber(type))
                select[f] += QStringLiteral("::text");
        }
    }
    const QByteArray sql = (QStringLiteral("COPY (SELECT ") + select.join(QStringLiteral(", ")) +
                            from + QStringLiteral(") TO STDOUT (FORMAT binary)"))
                               .toUtf8();
    Result started{pq, pq.PQexec(conn, sql.constData())};
    if (pq.PQresultStatus(started.result) != PGRES_COPY_OUT)
        fail(serverWords(pq, conn));
    BinaryRows rows(std::move(types), rule, row);
    bool wellFormed = true;
    for (qint64 n = 1;; ++n) {
        char *data = nullptr;
        const int size = pq.PQgetCopyData(conn, &data, 0);
        if (size < 0)
            break; // -1 at the end, -2 on failure: the result tells
        if (wellFormed)
            wellFormed = rows.take(data, size);
        pq.PQfreemem(data);
        if (n % 4096 == 0)
            everyFewRows(); // a stop here leaves the copy to the connection's closing
    }
    for (;;) {
        Result finished{pq, pq.PQgetResult(conn)};
        if (!finished.result)
            break;
        if (pq.PQresultStatus(finished.result) != PGRES_COMMAND_OK)
            fail(serverWords(pq, conn));
    }
    if (!wellFormed)
        fail(QStringLiteral("COPY gav rader i ett oväntat format."));
    return true;
}

bool ServerSnapshot::readQuery(const QString &select, ValueRule rule, const Rows &row,
                               const std::function<void()> &everyFewRows) {
    QSqlQuery q(m_db);
    if (!q.exec(QStringLiteral("SAVEPOINT lodvik_las")))
        fail(q.lastError().text());
    q.setForwardOnly(true);
    if (!q.exec(select)) {
        const QString state = q.lastError().nativeErrorCode();
        if (state != QLatin1String("42P01") && state != QLatin1String("42703"))
            fail(q.lastError().text());
        QSqlQuery back(m_db);
        if (!back.exec(QStringLiteral("ROLLBACK TO SAVEPOINT lodvik_las")))
            fail(back.lastError().text());
        return false;
    }
    QByteArray key;
    std::vector<StoredNumber> values(size_t(q.record().count() - 1));
    // A numeric column's number comes as its text, a text column's value as it is stored.
    std::vector<bool> textColumn(values.size());
    for (int f = 1; f <= int(values.size()); ++f)
        textColumn[size_t(f - 1)] = q.record().field(f).metaType().id() == QMetaType::QString;
    for (qint64 n = 1; q.next(); ++n) {
        if (n % 4096 == 0)
            everyFewRows();
        const QVariant k = q.value(0);
        if (k.isNull())
            continue;
        key = k.toString().toUtf8();
        for (int f = 1; f <= int(values.size()); ++f) {
            const QVariant v = q.value(f);
            StoredNumber &value = values[size_t(f - 1)];
            if (v.isNull()) {
                value = storedNull(rule);
                continue;
            }
            switch (v.typeId()) {
            case QMetaType::Int:
            case QMetaType::UInt:
            case QMetaType::Short:
            case QMetaType::LongLong:
                value = {StoredNumber::Kind::Integer, v.toLongLong(), 0};
                break;
            case QMetaType::Double:
            case QMetaType::Float:
                value = storedNumber(v.toDouble());
                break;
            default:
                value = textColumn[size_t(f - 1)] ? storedText(v.toString().toUtf8(), rule)
                                                  : numericText(v.toString().toUtf8());
            }
        }
        row(key, values);
    }
    if (q.lastError().isValid())
        fail(q.lastError().text());
    return true;
}

} // namespace dao
