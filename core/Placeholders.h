#pragma once

#include <QHash>
#include <QString>
#include <QVector>

class DbConnection;

// A new counterparty or category gets its types before it exists: its
// membership rows carry the negated id of the session that writes them
// (TMainDM::IdSession). A program killed with such an editor open leaves them
// behind for good. This module tells those apart from the rows of an editor
// still open in some running program.
//
// A running program proves its session alive in two ways, so that neither
// alone can make it look dead:
// - it holds a lock on one byte (at the session id) of a side file next to
//   the database ("<file>-sessions"); the operating system drops the lock when
//   the process ends in any way, a kill included;
// - its session row names the process (machine, process id and start time)
//   and the side file whose byte it holds (sec_Owner). On the same machine the
//   process itself is looked at; the lock is believed only while the side
//   file is the one the row names, since a side file deleted or replaced
//   under running programs holds none of their locks.
// A session whose life cannot be established either way counts as alive.
//
// Books on a server have no side file: there the proof is the server's own
// process of the session's connection (recorded in sec_Owner), which the
// server ends when the program's connection ends, a kill included.

// The side file that holds the marks of the live sessions of a database.
QString liveSessionsFilePath(const QString& dbPath);

// The process that runs a session, as its session row records it.
struct SessionOwner {
    QString machine;  // boot id and process namespace; empty: not recorded
    qint64 pid = 0;
    qint64 started = 0;  // the process's start, in clock ticks after boot
    QString mark;        // "device:inode" of the side file whose byte it holds
    // On a server: the server's process of the session's connection and its
    // start; a session lives while the server keeps that process.
    qint64 backend = 0;
    QString backendStarted;

    bool isRecorded() const { return pid > 0 && !machine.isEmpty(); }
    QString toText() const;
    static SessionOwner fromText(const QString& text);
};

// This process, holding its mark in the side file `mark` ("" when none).
SessionOwner currentProcessOwner(const QString& mark);
// This process as the owner of a session on the connection: on a server with
// the server's process of the connection.
SessionOwner connectionOwner(DbConnection& connection, const QString& mark);

// The mark of one live session; released when destroyed.
class LiveSession {
public:
    LiveSession() = default;
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Marks session `idSession` on the database file as live; false when the
    // side file cannot be opened or locked (errno tells why). The side file
    // is made with the group and mode of the database's side files; a link in
    // its place is refused.
    bool hold(const QString& dbPath, int idSession);
    void release();
    bool isHeld() const { return m_fd >= 0; }
    int idSession() const { return m_idSession; }
    // "device:inode" of the side file held, or "" when none.
    QString markFile() const;

private:
    int m_fd = -1;
    int m_idSession = 0;
};

// Whether some running program (this one included) may still run that
// session: true unless it is shown to have ended.
bool sessionIsLive(const QString& dbPath, int idSession, const SessionOwner& owner = {});

// Whether the session on a server may still run: false only when the server
// no longer has the process its row records.
bool serverSessionIsLive(DbConnection& connection, const SessionOwner& owner);

// Whether any program holds a mark in the side file of the database (for a
// file whose sessions cannot be read).
bool anySessionMarked(const QString& dbPath);

// Adds the column that names a session's process to a file made before it.
void ensureSessionOwnerColumn(DbConnection& connection);
// The recorded owners of the sessions not ended, by session id; empty for a
// file without the column.
QHash<int, SessionOwner> sessionOwners(DbConnection& connection);
// Records this process as the owner of the session.
void recordSessionOwner(DbConnection& connection, int idSession, const SessionOwner& owner);

// A membership row whose item id is a placeholder that no live session owns.
struct StalePlaceholder {
    QString table;  // "TypeContrAgentItem" or "TypeCategoryItem"
    int idType = 0;
    int idPlaceholder = 0;  // negative: the negated session id
};

// The stale placeholder rows of the open database, ordered by table and ids.
QVector<StalePlaceholder> stalePlaceholders(DbConnection& connection);

// Deletes the stale placeholder rows in one write and gives how many there
// were; rows of a live session are never touched. Raises the engine's error.
int removeStalePlaceholders(DbConnection& connection);
