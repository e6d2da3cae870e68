#pragma once

// SQLite's file layer for the stores, reading a database file's pages in long runs: where SQLite
// asks for the pages of a table one after the other (a scan), one read brings the next ones, up
// to 256 KiB, and the pages after it come from there instead of one system call each. Every other
// read goes straight to SQLite's own layer. What was read ahead is kept only while the connection
// holds its shared lock without a break, so no other connection can have written the file
// meanwhile; it is dropped at the connection's own writes, and never kept for a file in WAL mode,
// where another connection's checkpoint writes the file while the lock is held.
namespace dao {

// The layer's name for sqlite3_open_v2 (registered at the first call; null if SQLite refused).
const char *readAheadLayer();

} // namespace dao
