#pragma once
// The Spanish texts of the errors the system, SQLite and the network report, in one table.
// The C library's and SQLite's own catalogues are in English (or missing), and Qt's socket
// texts are too; the user reads these instead.
//
// The codes are passed as plain integers so that this layer needs neither SQLite nor Qt
// Network; the values below are those of sqlite3.h and QAbstractSocket::SocketError, and
// the code that includes those headers checks them at compile time.

#include <QString>

namespace ErrorTexts {

// SQLite result codes this table names (primary codes, and one extended code).
namespace SqliteCode {
enum : int {
    Error = 1,
    Perm = 3,
    Busy = 5,
    Locked = 6,
    NoMem = 7,
    ReadOnly = 8,
    IoErr = 10,
    Corrupt = 11,
    Full = 13,
    CantOpen = 14,
    TooBig = 18,
    Constraint = 19,
    Auth = 23,
    NotADb = 26,
    ReadOnlyDbMoved = ReadOnly | (4 << 8),
};
} // namespace SqliteCode

// QAbstractSocket::SocketError values this table names.
namespace SocketCode {
enum : int {
    RemoteHostClosed = 1,
    SocketAccess = 3,
    SocketTimeout = 5,
    Network = 7,
};
} // namespace SocketCode

// An errno value: "Permiso denegado"; for a value not in the table, the C library's text.
QString systemError(int err);
// A SQLite result code, primary or extended, in lower case to follow a colon: "el archivo
// está dañado"; an unknown code gives its number.
QString sqliteError(int code);
// A socket error met while talking to the mail server: "Error de red".
QString socketError(int error);

} // namespace ErrorTexts
