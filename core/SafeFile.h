#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

// Files made beside a database that other accounts may share (a copy, an
// export, a marker, the sessions file). Every file is created anew, never
// through a link or a file that someone else prepared under its name, and is
// then worked on through its descriptor only. Errors raise an AppError with a
// plain Russian message.

// The group and modes that the files and folders made beside a database take.
// A database that its group may read or write gives them the same group and
// group bits (0660 and 0770 for a 0660 file); any other keeps them to its
// owner (0600 and 0700).
struct SharedMode {
    gid_t group = gid_t(-1);  // -1: the user's own
    mode_t file = 0600;
    mode_t folder = 0700;
    // The group must be given (a restored file stays shared with the accounts
    // it was shared with): a group the user is not in is then an error.
    bool groupRequired = false;
};
SharedMode sharedModeOf(const QString& dbPath);
// The modes of a file that only its owner may read.
inline SharedMode ownerOnly() {
    return {};
}

// Gives an open file the group and mode; a group the user is not in leaves
// the file to its owner alone, unless the group is required. Raises when the
// system refuses.
void applySharedMode(int fd, const SharedMode& mode);

// A file that this process created. Closed, and its name removed unless it was
// kept or placed, when destroyed.
class NewFile {
public:
    // Creates `path` (O_CREAT | O_EXCL | O_NOFOLLOW); refuses a name that is
    // taken, also by a dangling link.
    static NewFile create(const QString& path, const SharedMode& mode);
    // Creates a file under a fresh hidden name in the folder of `target`:
    // ".<target's name>.tmp-<pid>-<random>".
    static NewFile temporaryFor(const QString& target, const SharedMode& mode);

    NewFile(NewFile&& other) noexcept;
    NewFile& operator=(NewFile&&) = delete;
    NewFile(const NewFile&) = delete;
    ~NewFile();

    int fd() const { return m_fd; }
    // The name it was created under.
    const QString& path() const { return m_path; }
    // A name of the file itself, whatever happens to its own name meanwhile:
    // "/proc/self/fd/N". The engine and other libraries open it by this name.
    QString selfPath() const;

    void write(const QByteArray& bytes);
    // Puts the contents on disk.
    void sync();
    // Gives the file the name `target` unless that name is taken (then raises
    // and changes nothing), and removes the name it was created under.
    void placeAs(const QString& target);
    // Puts the file in place of `target`, which may exist (a link there is
    // replaced, never followed), and removes the name it was created under.
    void replace(const QString& target);
    // The file stays under its name after it is closed.
    void keep() { m_named = false; }

private:
    NewFile(int fd, QString path);
    void removeOwnName();

    int m_fd = -1;
    QString m_path;
    bool m_named = true;  // its name is to be removed when destroyed
};

// Makes a folder with the mode in a folder that exists; a folder that exists
// is used as it is, but a link or a file in its place is refused.
void makeSharedFolder(const QString& path, const SharedMode& mode);

// The same file (device and inode) under both names; false when either is
// missing.
bool sameFile(const QString& a, const QString& b);

// The operating system's text of an errno value.
QString systemErrorText(int error);

// The temporary files of processes that no longer run, left in `folder` by a
// copy that was killed half-way; removed by the next copy into the folder.
void removeAbandonedTemporaries(const QString& folder);
