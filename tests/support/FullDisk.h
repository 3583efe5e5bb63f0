#pragma once

// A disk that fills up, for the tests: an SQLite file system layer over the
// machine's own that refuses to let any file grow once the space given to it
// is used up, as a full disk does (the engine then reports "database or disk
// is full"). Writes inside a file's present size still go through.
namespace FullDisk {

// Puts the layer in place as the engine's default, for every connection
// opened afterwards in this process. Unlimited space until limit() is called.
void install();
// From now on at most `bytes` more bytes may be added to files.
void limit(long long bytes);
// Space is back: files may grow again.
void unlimited();

}  // namespace FullDisk
