# shellcheck shell=bash
# Starts a throw-away PostgreSQL 15 on a loopback port for the server tests, prepares the database
# sokdata with server/sokdata-postgresql.sql and the database extrakt with
# server/extrakt-postgresql.sql, writes an ODBC data source for each, and exports what the tests
# read: LODVIK_TEST_PG_HOST/PORT/DB/USER/PASSWORD, LODVIK_TEST_PG_EXTRAKT_DB,
# LODVIK_TEST_ODBC_DSN, LODVIK_TEST_ODBC_EXTRAKT_DSN, ODBCINI and ODBCSYSINI. The login lodvik
# may create databases (a test makes its own beside extrakt) and roles (the extract script's). Sourced by .ci/run (as root). It takes a free port, and the server is stopped
# and its folder removed when the sourcing shell exits, so that .ci/run can run again (or twice
# at once) on one machine.

lodvik_start_test_server() {
    local bin
    bin=$(find /usr/lib/postgresql -maxdepth 2 -name bin -type d | sort -V | tail -n 1)
    # A port nobody listens on, unless the caller names one.
    local port=${LODVIK_TEST_PG_PORT:-$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')}
    local password=lodvik-test
    local root
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
    local dir
    dir=$(mktemp -d /tmp/lodvik-pg.XXXXXX)
    chmod 755 "$dir"

    # initdb refuses to run as root: the server runs as the postgres account then.
    local -a as_owner=()
    if [ "$(id -u)" -eq 0 ]; then
        chown postgres: "$dir"
        as_owner=(runuser -u postgres --)
    fi
    echo "$password" >"$dir/pwfile"
    chmod 644 "$dir/pwfile"
    # From the server's own folder: the postgres account may not enter the checkout. Nothing
    # of it outlives the run, so it never waits for the disk (creating and dropping a test
    # database would otherwise take seconds).
    (
        cd "$dir"
        "${as_owner[@]}" "$bin/initdb" -D "$dir/data" -U postgres --encoding=UTF8 \
            --locale=C.UTF-8 --auth-local=trust --auth-host=scram-sha-256 \
            --pwfile="$dir/pwfile" >"$dir/initdb.log"
        "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w start \
            -o "-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off -c full_page_writes=off"
    )
    # shellcheck disable=SC2064 # the values are fixed now, on purpose
    trap "(cd '$dir' && ${as_owner[*]} '$bin/pg_ctl' -D '$dir/data' -m fast -w stop >/dev/null 2>&1); rm -rf '$dir'" EXIT

    (
        cd "$dir"
        "${as_owner[@]}" "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h "$dir" -p "$port" -U postgres \
            -d postgres -c "CREATE ROLE lodvik LOGIN CREATEDB CREATEROLE PASSWORD '$password'" \
            -c "CREATE DATABASE sokdata OWNER lodvik ENCODING 'UTF8' TEMPLATE template0" \
            -c "CREATE DATABASE extrakt OWNER lodvik ENCODING 'UTF8' TEMPLATE template0"
    )
    PGPASSWORD=$password "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U lodvik \
        -d sokdata -f "$root/server/sokdata-postgresql.sql"
    PGPASSWORD=$password "$bin/psql" -X -q -v ON_ERROR_STOP=1 -h 127.0.0.1 -p "$port" -U lodvik \
        -d extrakt -v workstation=lodvik -f "$root/server/extrakt-postgresql.sql"

    mkdir -p "$dir/odbc"
    cat >"$dir/odbc/odbcinst.ini" <<INI
[PostgreSQL Unicode]
Description=PostgreSQL ODBC driver (Unicode)
Driver=/usr/lib/x86_64-linux-gnu/odbc/psqlodbcw.so
INI
    cat >"$dir/odbc/odbc.ini" <<INI
[lodvik_sokdata]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=sokdata
Username=lodvik
Password=$password
UseDeclareFetch=1
Fetch=100

[lodvik_extrakt]
Driver=PostgreSQL Unicode
Servername=127.0.0.1
Port=$port
Database=extrakt
Username=lodvik
Password=$password
UseDeclareFetch=1
Fetch=100
INI

    export LODVIK_TEST_PG_HOST=127.0.0.1
    export LODVIK_TEST_PG_PORT=$port
    export LODVIK_TEST_PG_DB=sokdata
    export LODVIK_TEST_PG_USER=lodvik
    export LODVIK_TEST_PG_PASSWORD=$password
    export LODVIK_TEST_PG_EXTRAKT_DB=extrakt
    export LODVIK_TEST_ODBC_DSN=lodvik_sokdata
    export LODVIK_TEST_ODBC_EXTRAKT_DSN=lodvik_extrakt
    export ODBCSYSINI=$dir/odbc
    export ODBCINI=$dir/odbc/odbc.ini
    echo "PostgreSQL test server on 127.0.0.1:$port (data in $dir)"
}

lodvik_start_test_server
unset -f lodvik_start_test_server
