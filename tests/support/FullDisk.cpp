#include "FullDisk.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace FullDisk {
namespace {

sqlite3_vfs* g_base = nullptr;
sqlite3_vfs g_vfs;
std::atomic<long long> g_remaining{-1};  // -1: no limit

struct File {
    sqlite3_file base;  // must come first: the engine sees a sqlite3_file
    sqlite3_file* real;
};

sqlite3_file* realOf(sqlite3_file* f) {
    return reinterpret_cast<File*>(f)->real;
}

int xClose(sqlite3_file* f) {
    sqlite3_file* real = realOf(f);
    const int rc = real->pMethods ? real->pMethods->xClose(real) : SQLITE_OK;
    sqlite3_free(real);
    return rc;
}
int xRead(sqlite3_file* f, void* buf, int amount, sqlite3_int64 offset) {
    return realOf(f)->pMethods->xRead(realOf(f), buf, amount, offset);
}
int xWrite(sqlite3_file* f, const void* buf, int amount, sqlite3_int64 offset) {
    sqlite3_file* real = realOf(f);
    sqlite3_int64 size = 0;
    real->pMethods->xFileSize(real, &size);
    const long long growth = offset + amount - size;
    if (growth > 0) {
        long long left = g_remaining.load();
        while (left >= 0) {
            if (left < growth) {
                return SQLITE_FULL;
            }
            if (g_remaining.compare_exchange_weak(left, left - growth)) {
                break;
            }
        }
    }
    return real->pMethods->xWrite(real, buf, amount, offset);
}
int xTruncate(sqlite3_file* f, sqlite3_int64 size) {
    return realOf(f)->pMethods->xTruncate(realOf(f), size);
}
int xSync(sqlite3_file* f, int flags) {
    return realOf(f)->pMethods->xSync(realOf(f), flags);
}
int xFileSize(sqlite3_file* f, sqlite3_int64* size) {
    return realOf(f)->pMethods->xFileSize(realOf(f), size);
}
int xLock(sqlite3_file* f, int lock) {
    return realOf(f)->pMethods->xLock(realOf(f), lock);
}
int xUnlock(sqlite3_file* f, int lock) {
    return realOf(f)->pMethods->xUnlock(realOf(f), lock);
}
int xCheckReservedLock(sqlite3_file* f, int* out) {
    return realOf(f)->pMethods->xCheckReservedLock(realOf(f), out);
}
int xFileControl(sqlite3_file* f, int op, void* arg) {
    return realOf(f)->pMethods->xFileControl(realOf(f), op, arg);
}
int xSectorSize(sqlite3_file* f) {
    return realOf(f)->pMethods->xSectorSize(realOf(f));
}
int xDeviceCharacteristics(sqlite3_file* f) {
    return realOf(f)->pMethods->xDeviceCharacteristics(realOf(f));
}

// Version 1 of the file methods: no shared memory (the program uses the
// rollback journal) and no memory mapping.
const sqlite3_io_methods kMethods = {
    1,      xClose,      xRead,         xWrite,        xTruncate,        xSync,
    xFileSize, xLock, xUnlock, xCheckReservedLock, xFileControl, xSectorSize,
    xDeviceCharacteristics, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr};

int xOpen(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
    auto* f = reinterpret_cast<File*>(file);
    f->base.pMethods = nullptr;
    f->real = static_cast<sqlite3_file*>(sqlite3_malloc(g_base->szOsFile));
    if (!f->real) {
        return SQLITE_NOMEM;
    }
    std::memset(f->real, 0, g_base->szOsFile);
    const int rc = g_base->xOpen(g_base, name, f->real, flags, outFlags);
    if (rc != SQLITE_OK) {
        sqlite3_free(f->real);
        f->real = nullptr;
        return rc;
    }
    f->base.pMethods = &kMethods;
    return SQLITE_OK;
}

int xDelete(sqlite3_vfs*, const char* name, int syncDir) {
    return g_base->xDelete(g_base, name, syncDir);
}
int xAccess(sqlite3_vfs*, const char* name, int flags, int* out) {
    return g_base->xAccess(g_base, name, flags, out);
}
int xFullPathname(sqlite3_vfs*, const char* name, int n, char* out) {
    return g_base->xFullPathname(g_base, name, n, out);
}
void* xDlOpen(sqlite3_vfs*, const char* name) {
    return g_base->xDlOpen(g_base, name);
}
void xDlError(sqlite3_vfs*, int n, char* msg) {
    g_base->xDlError(g_base, n, msg);
}
void (*xDlSym(sqlite3_vfs*, void* h, const char* sym))(void) {
    return g_base->xDlSym(g_base, h, sym);
}
void xDlClose(sqlite3_vfs*, void* h) {
    g_base->xDlClose(g_base, h);
}
int xRandomness(sqlite3_vfs*, int n, char* out) {
    return g_base->xRandomness(g_base, n, out);
}
int xSleep(sqlite3_vfs*, int us) {
    return g_base->xSleep(g_base, us);
}
int xCurrentTime(sqlite3_vfs*, double* out) {
    return g_base->xCurrentTime(g_base, out);
}
int xGetLastError(sqlite3_vfs*, int n, char* out) {
    return g_base->xGetLastError ? g_base->xGetLastError(g_base, n, out) : 0;
}
int xCurrentTimeInt64(sqlite3_vfs*, sqlite3_int64* out) {
    return g_base->xCurrentTimeInt64(g_base, out);
}

}  // namespace

void install() {
    if (g_base) {
        return;
    }
    g_base = sqlite3_vfs_find(nullptr);
    g_vfs = sqlite3_vfs{};
    g_vfs.iVersion = 2;
    g_vfs.szOsFile = int(sizeof(File));
    g_vfs.mxPathname = g_base->mxPathname;
    g_vfs.zName = "fulldisk";
    g_vfs.xOpen = xOpen;
    g_vfs.xDelete = xDelete;
    g_vfs.xAccess = xAccess;
    g_vfs.xFullPathname = xFullPathname;
    g_vfs.xDlOpen = xDlOpen;
    g_vfs.xDlError = xDlError;
    g_vfs.xDlSym = xDlSym;
    g_vfs.xDlClose = xDlClose;
    g_vfs.xRandomness = xRandomness;
    g_vfs.xSleep = xSleep;
    g_vfs.xCurrentTime = xCurrentTime;
    g_vfs.xGetLastError = xGetLastError;
    g_vfs.xCurrentTimeInt64 = xCurrentTimeInt64;
    sqlite3_vfs_register(&g_vfs, 1);
}

void limit(long long bytes) {
    g_remaining = bytes;
}

void unlimited() {
    g_remaining = -1;
}

}  // namespace FullDisk
