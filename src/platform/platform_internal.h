// Shared helpers of the platform library. Not part of its API.
#ifndef DORVAN_PLATFORM_INTERNAL_H
#define DORVAN_PLATFORM_INTERNAL_H

#include "clock.h"
#include "dorvan_store.h"
#include "wlkeys.h"

#include <errno.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <string>
#include <vector>

namespace dplat {

// --- files -----------------------------------------------------------------
// abs resolved under the root; "" when it would not fit.
std::string root_path(const char *abs);
// mkdir -p; 0 or -1 (errno set).
int make_dirs(const std::string &path);

// Identity of a file we wrote, to know it is still the one we hold in memory.
struct FileId {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    struct timespec mtime {};
};
bool same_file(const FileId &a, const FileId &b);
// mode, if given, receives st_mode.
int stat_file_id(const std::string &path, FileId *id, mode_t *mode = nullptr);

// write() until all of p is written; 0, or -1 with errno.
int write_fully(int fd, const char *p, size_t n);
// Temp file, fsync, rename over path, fsync the directory. 0 or -1 (logged).
// Not durable: the same without either fsync, still all-or-nothing for
// other processes and for a crash of ours, but not across a power loss.
// The data model holds passphrases: its files default to owner-only.
int write_file_atomic(const std::string &path, const std::string &data,
                    FileId *id = nullptr, mode_t mode = 0600, bool durable = true);
// Creates path with data only if it does not exist; never replaces it.
int create_file_if_missing(const std::string &path, const std::string &data, mode_t mode = 0644);
// Largest store file: loading refuses a bigger one, storing never writes one.
const size_t kStoreFileMax = 64UL * 1024 * 1024;
// errno of a read refused because the path is not a regular file.
const int kNotRegular = EINVAL;
// Opens path for reading without blocking, only when it is a regular file
// (a FIFO, device or folder planted there is refused): the descriptor and
// *st, or -1 with errno (kNotRegular, or open's).
int open_regular(const std::string &path, struct stat *st);
// The reason to log for a read failure's errno.
const char *read_failure(int err);
// The last read failure reported for one file, so that a file that stays
// broken is logged once per change, not at every read.
struct FailNote {
    int err = 0;
};
// Notes err (0: the read worked); true when it is a failure to log now.
bool note_failure(FailNote *note, int err);
// Whole regular file, at most limit bytes. 0, or -1 with errno (ENOENT:
// missing; EFBIG: larger than limit; kNotRegular). id may be null.
int read_whole_file(const std::string &path, std::string *out, FileId *id = nullptr,
             size_t limit = kStoreFileMax);
// Reads a small regular file into buf, NUL-terminated, without blocking on
// whatever else sits at path (a FIFO would hold open() until a writer came).
// The length, or -1 with errno: EINVAL when path is not a regular file,
// EFBIG when the content fills buf (it may hide more).
ssize_t read_small_file(const char *path, char *buf, size_t size);
// Removes "<name>.tmp.<pid>" files of processes that no longer run.
void remove_stray_temps(const std::string &dir);

// --- trace -----------------------------------------------------------------
// One line "event[\tA[\tB]]" to DORVAN_TRACE, if set.
void trace(const char *event, const char *a = nullptr, const char *b = nullptr);
// Escapes backslash, tab, newline, other bytes < 0x20 (append to out).
void escape_field(const char *s, size_t n, std::string *out);

// --- failure injection -----------------------------------------------------
// True when DORVAN_FAIL lists call; *code gets the code to return.
bool injected_failure(const char *call, int *code);

// --- image format ----------------------------------------------------------
uint32_t crc32(const void *data, size_t n);
std::string serialise(const DorvanImage &img);
// nullptr when bytes hold a valid image, else the reason.
const char *parse_image(const std::string &bytes, DorvanImage *out);
void factory_image(DorvanImage *out);
// Settings kept once per interface and their factory values (null: not in
// the factory image, or a device secret): the one list the key parser, the
// factory image and provisioning go by.
struct PerIfKey {
    const char *name;
    const char *factory[WL_IFACE_COUNT];
};
extern const PerIfKey kPerIfKeys[];
extern const size_t kPerIfKeyCount;
// name's key for wl0.I ("" for no interface).
std::string if_key(const char *name, int i);
// The per-device factory secrets (passphrases, WPS device PIN) into img.
void device_secrets(DorvanImage *img);
// Logs, in one line, the stored passphrases that are ones every device of
// the builds before per-device secrets shared, and replaces their shared
// WPS device PIN by this device's own.
void check_old_shared_secrets();

// --- data model on disk ----------------------------------------------------
// Reads the first usable of data model, flash, factory (each rejected file
// logged once). fromFlash starts at the flash. With known: on entry the
// data-model bytes *out was read from ("" if none), on return the bytes it
// was read from now. A data model that still holds them is not parsed
// again: 1 is returned and *out left as it is; else 0. A file that is there
// but cannot be read ends the load: -1, errno, *out empty and *failure
// "PATH: reason".
int load_image(bool fromFlash, DorvanImage *out, std::string *known = nullptr,
              std::string *failure = nullptr);
// Writes img to the data model (atomically, not synced: the data model is
// volatile, the flash is what lasts) and remembers it for the next flash
// save. known, if given, receives the bytes written.
int store_image(const DorvanImage &img, std::string *known = nullptr);
// Drops remembered file contents.
void forget_store_cache();

// --- working copy ----------------------------------------------------------
void reset_working_copy();
void set_working_copy(const DorvanImage &img);
// Interface selected by wlSsidIdx in img (0..3).
int selected_interface(const DorvanImage &img);
std::string canonical_key(const DorvanImage &img, const char *name);

// errno of the working copy's last load when it could not read a file, else
// 0: nothing may be stored or saved until a load succeeds.
int working_copy_unreadable();

// --- lock ------------------------------------------------------------------
void drop_lock();

// --- processes -------------------------------------------------------------
// In a forked child before exec: default signal dispositions, empty mask.
void child_signal_defaults();

// --- misc ------------------------------------------------------------------
using ::monotonic_ms;
// Case-insensitive ASCII compare.
bool equals_no_case(const std::string &a, const std::string &b);
// Every byte from blank to tilde: safe as one value of a text line.
bool printable_ascii(const std::string &s);
// The lines of text, without their line feeds.
std::vector<std::string> split_lines(const std::string &text);

} // namespace dplat

#endif
