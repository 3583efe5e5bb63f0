#pragma once

#include <QString>
#include <QVector>

class DbConnection;

// A new counterparty or category gets its types before it exists: its
// membership rows carry the negated id of the session that writes them
// (TMainDM::IdSession). A program killed with such an editor open leaves them
// behind for good. This module tells those apart from the rows of an editor
// still open in some running program.
//
// A running program marks its session as live for its whole life: it holds an
// open-file-description lock on one byte (at the session id) of a side file
// next to the database ("<file>-sessions"). The operating system drops the
// lock when the process ends in any way, a kill included, so a session whose
// byte nobody holds belongs to no running program.

// The side file that holds the marks of the live sessions of a database.
QString liveSessionsFilePath(const QString& dbPath);

// The mark of one live session; released when destroyed.
class LiveSession {
public:
    LiveSession() = default;
    ~LiveSession();
    LiveSession(const LiveSession&) = delete;
    LiveSession& operator=(const LiveSession&) = delete;

    // Marks session `idSession` on the database file as live; false when the
    // side file cannot be opened or the mark is already held elsewhere.
    bool hold(const QString& dbPath, int idSession);
    void release();
    bool isHeld() const { return m_fd >= 0; }
    int idSession() const { return m_idSession; }

private:
    int m_fd = -1;
    int m_idSession = 0;
};

// Whether some running program (this one included) holds the mark of that
// session on the database file.
bool sessionIsLive(const QString& dbPath, int idSession);

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
