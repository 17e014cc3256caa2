// The operating system, reduced to the few calls the tool needs. Everything
// else in the program is the same on Windows and POSIX systems; only this
// module includes <windows.h> or POSIX headers.
//
// File names are UTF-8 on every platform (on POSIX systems: the bytes the
// file system holds), so that '.', '/' and '\' are never part of another
// character.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// A native file handle; -1 is invalid on both systems (INVALID_HANDLE_VALUE
// and a failed open() both come out as -1).
typedef intptr_t os_handle;
inline constexpr os_handle os_invalid_handle = -1;

// The code page the program's texts are stored in, and file names are
// shown in.
inline constexpr unsigned os_text_code_page = 932;

// What joins a folder's name and an entry's.
#ifdef _WIN32
inline constexpr char os_path_separator = '\\';
#else
inline constexpr char os_path_separator = '/';
#endif

// Access bits with the values of Windows' GENERIC_READ and GENERIC_WRITE.
inline constexpr uint32_t os_access_read = 0x80000000u;
inline constexpr uint32_t os_access_write = 0x40000000u;

// Seek origins with the values of FILE_BEGIN, FILE_CURRENT and FILE_END.
inline constexpr uint32_t os_origin_begin = 0;
inline constexpr uint32_t os_origin_current = 1;
inline constexpr uint32_t os_origin_end = 2;

// Why an open failed: only a file in use may open on a later attempt; a
// refusal (no permission, a read-only file or file system) never will, nor
// will a name that reaches nothing (it vanished, or a link leads nowhere).
// A name that reaches no regular file (a FIFO, a device, a socket) is none
// of these; a side file reached through a link, or one of several names of
// one file, is refused as linked.
enum OsOpenFailure {
    os_open_failed_other,
    os_open_failed_in_use,
    os_open_failed_refused,
    os_open_failed_not_file,
    os_open_failed_linked,
    os_open_failed_missing,
};

// Makes sure that standard input, output and error are open (on POSIX
// systems on the null device where they were closed), so that no file the
// program opens later takes their place and receives its console text.
void os_standard_streams_secure();

// Opens an existing regular file, never creating or truncating it, and lets
// other handles read and write it meanwhile. On failure *failure tells why.
os_handle os_file_open(const char* name, uint32_t access, OsOpenFailure* failure);
// Opens an existing regular file by its own name, never through a symbolic
// link (or another reparse point on Windows): a link fails as linked.
os_handle os_file_open_no_link(const char* name, uint32_t access, OsOpenFailure* failure);
// Opens an existing side file for reading and writing, but only by its one
// own name: never through a symbolic link, never one with other hard links.
os_handle os_file_open_unlinked(const char* name, OsOpenFailure* failure);
// Creates a new file for reading and writing; an existing name, a link
// among them, is a failure, so that nothing is ever written through one.
os_handle os_file_create(const char* name);
// The size as two 32-bit halves: returns the low half, stores the high half.
uint32_t os_file_size(os_handle handle, uint32_t* high);
// Moves the file pointer by the distance given as halves (low, *high) from
// the origin. On success returns true with the new position's low half in
// *new_low and its high half in *high.
bool os_file_seek(os_handle handle, uint32_t low, int32_t* high, uint32_t origin,
                  uint32_t* new_low);
bool os_file_read(os_handle handle, void* buffer, uint32_t count, uint32_t* done);
bool os_file_write(os_handle handle, const void* buffer, uint32_t count, uint32_t* done);
// Reads up to count bytes at offset, all that the file holds there, without
// moving the file pointer: false on a read error.
bool os_file_read_at(os_handle handle, void* buffer, uint32_t count, int64_t offset,
                     uint32_t* done);

// Memory for a large buffer (a window or a block of the file), or null.
// Where the system has them, its pages come in 2 MiB pieces: a fault for
// each 4 KiB page of a few MiB costs as much time as reading 200 MiB.
uint8_t* os_buffer_new(size_t size);
void os_buffer_delete(uint8_t* buffer, size_t size);

// A thread that runs one job at a time for its caller: posted, then waited
// for, so that the caller goes on with its own work in between (a batch of
// changes written while the walk scans on). What the job touches is the job's from the post until the wait
// returns; nothing else is shared.
struct OsWorker;
// Null when no thread could be started: the caller does its jobs itself.
OsWorker* os_worker_start();
void os_worker_post(OsWorker* worker, void (*job)(void* context), void* context);
void os_worker_wait(OsWorker* worker);
// Whether the posted job is done, without waiting: when it is, the wait for
// it is over.
bool os_worker_poll(OsWorker* worker);
// Ends the thread; no job may be posted and not waited for.
void os_worker_stop(OsWorker* worker);
// Writes at a position with one call. Where the file pointer is afterwards
// differs between systems: callers seek before their next read.
bool os_file_write_at(os_handle handle, const void* buffer, uint32_t count, int64_t offset,
                      uint32_t* done);
// Makes what was written to the file durable: on the disk, not only in the
// page cache, before the call returns.
bool os_file_sync(os_handle handle);
// Starts writing what was written to the file out to the disk and returns
// without waiting, where the system has such a call: a later os_file_sync
// then has less left to wait for.
void os_file_write_out_start(os_handle handle);
// Reads as os_file_read_at, but only bytes the system has in its cache, so
// that the call never waits for a disk: false, with nothing read, when
// some are not there or the system cannot tell.
bool os_file_read_cached(os_handle handle, void* buffer, uint32_t count, int64_t offset);
// Asks the system to start reading the bytes into its cache without
// waiting for them, where it has such a call.
void os_file_prefetch(os_handle handle, int64_t offset, uint64_t length);
// A piece of a file seen in place, read-only, without a copy. Where the
// file no longer holds a byte of it (cut shorter since it was opened, or a
// disk that fails there), reading the view does not stop the program: from
// the page of that byte to the view's end it reads zeros, and fault_at
// says from which file position.
struct OsFileView {
    const uint8_t* bytes;
    uint32_t length;
    int64_t offset;
    volatile int64_t fault_at;  // -1 while every byte read was the file's
};
// What a view's offset is a multiple of.
uint32_t os_view_alignment();
// One view at a time on each thread: false when the system refuses one
// (the reads then serve instead), or this thread holds one already.
bool os_file_view_open(os_handle handle, int64_t offset, uint32_t length, OsFileView* view);
void os_file_view_close(OsFileView* view);
// Makes a new name in the folder that holds the named file durable (POSIX
// systems; Windows journals its folders itself).
bool os_folder_sync(const char* file_name);
// Takes the one lock that runs of the tool take on a file, without
// waiting: false while another run holds it. It never keeps another
// program from reading or writing the file, and it ends with the handle
// (or with the process, however it ends).
bool os_file_lock(os_handle handle);
// Cuts or extends the file to the length.
bool os_file_truncate(os_handle handle, int64_t length);
bool os_file_close(os_handle handle);
bool os_file_remove(const char* name);
// Gives the file `from` the name `to`, replacing whatever bears that name
// (a link there is replaced as a name; its target is never touched).
bool os_file_rename_over(const char* from, const char* to);

// What makes a file the same file whatever name reaches it: device and
// inode, or volume serial number and file index.
struct OsFileId {
    uint64_t volume;
    uint64_t index;
};
bool os_file_id(os_handle handle, OsFileId* id);
// The identity of what the name itself is, without following a link:
// false when nothing bears the name.
bool os_name_id(const char* name, OsFileId* id);
// The identity of the file the name reaches, through links: false when it
// reaches nothing.
bool os_name_file_id(const char* name, OsFileId* id);

// True when the name finds a file or directory. On Windows a name with the
// wildcard characters * or ? never does: there it is a pattern, not a name.
bool os_name_exists(const char* name);
// True when the name finds a folder (through a link, as an open would).
bool os_name_is_folder(const char* name);
// Calls visit(context, entry) with the name of each entry of the folder but
// "." and "..", in the order the file system keeps them (UTF-8 on Windows):
// false when the folder cannot be read.
bool os_folder_list(const char* folder, void (*visit)(void* context, const char* entry),
                    void* context);
// The name as the file system resolves it: on Windows without the dots and
// spaces that end its last component, which Windows drops; elsewhere as it
// is.
std::string os_name_resolve(const char* name);
// The file a name that is a symbolic link leads to, through every link of
// a chain (a relative target taken from the link's folder); the name as it
// is when it is no link, when the chain leads nowhere or goes round, and on
// Windows, whose calls the tool uses resolve no link to a name.
std::string os_link_target(const char* name);
// Whether two code page 932 file names name one file in one folder: with
// Windows' case-insensitive rules there, byte for byte elsewhere.
bool os_names_match(const char* first, const char* second);

// A file's last-write time, the same on every system so that a marker file
// carries it from one to the other: seconds since 1970 (UTC) and the
// nanoseconds within that second.
struct OsFileTime {
    int64_t seconds;
    int64_t nanoseconds;
};
bool os_last_write_get(os_handle handle, OsFileTime* time);
bool os_last_write_set(os_handle handle, const OsFileTime* time);

void os_sleep_ms(uint32_t milliseconds);
// Milliseconds from an arbitrary start, wrapping at 2^32.
uint32_t os_tick_ms();

// Readies standard output for the program's writes (a reader that goes away
// must not end the run halfway through a file) and tells whether it is a
// terminal.
bool os_stdout_prepare();
// Writes code page 932 text to standard output in the form its reader
// takes: as it is, as UTF-8 under a UTF-8 locale, or as Unicode to a
// Windows console. A character split between two calls is put together.
void os_stdout_write(const char* text, size_t count);

// Writes a name (a path, an argument as typed: UTF-8, or on POSIX systems
// the file system's bytes) to standard output once os_stdout_prepare has
// looked, in the encoding its reader shows: as it is under a UTF-8 locale
// and to a Windows console, elsewhere as code page 932 like every other
// text; a character that encoding cannot show becomes '?'.
void os_stdout_write_name(const char* name);
// A name as code page 932 text for the side files and for output in code
// page 932: characters it cannot hold become '?'.
std::string os_name_cp932(const char* name);
// Code page 932 text (a message) as UTF-8.
std::string os_cp932_utf8(const char* text);
// Writes UTF-8 text, whole characters, to standard output once
// os_stdout_prepare has looked: the bytes as they are, or as Unicode to a
// Windows console.
void os_stdout_write_utf8(const char* text, size_t count);

// Whether the console the program writes to is its own: no other process
// shares it, as when Windows opens one for a program started by a drop on
// its icon or a double click, and closes it when the program ends. Never
// on POSIX systems.
bool os_console_is_own();
// Waits for a key pressed on the console; returns at once where there is
// no console to read from (and always on POSIX systems).
void os_key_wait();

#ifdef _WIN32
// The command line's arguments as UTF-8; they live until the process ends.
char** os_arguments_utf8(int argc, wchar_t** argv);
// Code page 932 text as the UTF-16 that a console is given; returns the
// units stored, or 0 when they do not fit.
int os_cp932_to_utf16(const char* text, int count, wchar_t* out, int capacity);
#endif
