#pragma once

#include <QDateTime>
#include <QString>
#include <thread>

class DbConnection;

// The automatic copy: once a day, on the first close of the main window that
// day, a safe copy of the database goes into its default folder of copies,
// where the newest ten daily copies are kept.
//
// The copy runs on a thread of its own with connections of its own, so the
// window closes at once; the program waits for the copy only after its last
// window is gone. A failure is written to standard error and recorded in
// dailyCopyFailurePath(), which the next "dorsanti-db check" reports.
class DailyBackup {
public:
    DailyBackup() = default;
    ~DailyBackup();
    DailyBackup(const DailyBackup&) = delete;
    DailyBackup& operator=(const DailyBackup&) = delete;

    // Starts today's copy of the connection's file unless one exists, a copy
    // is running, the connection is inside a transaction, or it is to a server.
    void start(const DbConnection& connection);
    // Waits for a copy that is running.
    void wait();

private:
    std::thread m_thread;
};

// The newest daily copies kept.
constexpr int kDailyCopiesKept = 10;

// Whether a daily copy of `dbPath` was made on `today`.
bool dailyCopyMade(const QString& dbPath, const QDate& today);

// Makes the daily copy now, unless made today; prunes the old ones. Returns
// false after a failure, which is written to `stderr` and recorded.
// Books on a server get no copy from the program: true, nothing made.
bool runDailyBackup(const QString& dbPath, const QDateTime& now);
