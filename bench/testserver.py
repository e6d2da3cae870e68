"""The throw-away PostgreSQL test server as the bench scripts use it: its connection from the
variables `source .ci/services.d/server.sh` exports, and an extract store of its own in a new
database."""

import os
import subprocess

SCHEMA_SQL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "server",
                          "extrakt-postgresql.sql")
NEEDED = ["LODVIK_TEST_PG_HOST", "LODVIK_TEST_PG_PORT", "LODVIK_TEST_PG_USER",
          "LODVIK_TEST_PG_PASSWORD"]


def missing():
    """The variables of the test server that are not set, comma-separated; empty when all are."""
    return ", ".join(n for n in NEEDED if not os.environ.get(n))


def environment():
    """The environment with libpq's variables for the test server (psql, createdb, dropdb)."""
    e = os.environ
    return dict(e, PGHOST=e["LODVIK_TEST_PG_HOST"], PGPORT=e["LODVIK_TEST_PG_PORT"],
                PGUSER=e["LODVIK_TEST_PG_USER"], PGPASSWORD=e["LODVIK_TEST_PG_PASSWORD"])


def new_extract_database(env, database):
    """The database made afresh (an earlier one of that name dropped) with the extract tables'
    schema, empty."""
    subprocess.run(["dropdb", "--if-exists", database], env=env, check=True,
                   capture_output=True)
    subprocess.run(["createdb", "--encoding=UTF8", "--template=template0", database], env=env,
                   check=True)
    subprocess.run(["psql", "-X", "-q", "-v", "ON_ERROR_STOP=1", "-d", database, "-v",
                    f"workstation={env['PGUSER']}", "-f", SCHEMA_SQL], env=env, check=True,
                   stdout=subprocess.DEVNULL)


def extract_ini(env, database):
    """lodvikprodsok.ini's [extrakt] for the database through QPSQL."""
    return (f"[extrakt]\ndriver=QPSQL\nhost={env['PGHOST']}\nport={env['PGPORT']}\n"
            f"database={database}\nuser={env['PGUSER']}\npassword={env['PGPASSWORD']}\n")
