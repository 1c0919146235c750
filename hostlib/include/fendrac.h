/*
 * fendrac.h: the PC side of the e-book reader's USB connection.
 *
 * Fendrac.dll (32-bit Windows) finds the reader's volumes among the PC's
 * drive letters, opens one reader drive, and sends the reader its vendor
 * commands through the storage driver's SCSI pass-through request. Every
 * function is exported by its plain C name with the C calling convention.
 *
 * Usage:
 *   1. For each drive letter, FSVolumeGetDeviceInfo, then IsEbookProduct on
 *      the record; IsVenderSpecificReader / MS / SD on its vendor-specific
 *      text tell the built-in storage from the card slots.
 *   2. Optionally MSC_LockUSBDLL to keep other processes off the library.
 *   3. MSC_OpenDriveW (or MSC_OpenDriveA) with the volume path, for example
 *      L"\\\\.\\E:".
 *   4. Any device functions below.
 *   5. MSC_CloseDrive, then MSC_UnlockUSBDLL if you locked.
 *
 * At most one reader drive is open per process. Opens are counted: a second
 * open while a drive is open returns 1 without reopening it (an open still
 * under way on another thread is waited for first), and the drive stays
 * open until the same number of closes. Threads may share the drive: the
 * device functions find it once its open has finished; the last close
 * waits for those already under way on other threads, which end whole on
 * the open drive, and one called after that close began finds no drive.
 * A null pointer for a result, or for data the reader would wait for, is
 * refused before anything is sent, so that the reader is never left in the
 * middle of a command.
 *
 * Machine-wide exclusion: every device command runs under the named mutexes
 * FENDRAC_MUTEX_STATE1 and FENDRAC_MUTEX_STATE2 (below), taken in that
 * order; FENDRAC_MUTEX_STATE3 is the application-level lock of
 * MSC_LockUSBDLL. The library opens these mutexes but never creates them:
 * the host application creates all three (CreateMutex, not owned) before it
 * uses the library. Without them, commands run without exclusion, and
 * MSC_LockUSBDLL and MSC_checkAvailability return 0.
 *
 * Results are 32-bit ints: 0 for success and negative codes for failure,
 * as each function lists. Diagnostics go only to the debugger output.
 * Memory that the library allocates for the caller is released with the
 * library's own free function.
 */
#ifndef FENDRAC_H
#define FENDRAC_H

#include <wchar.h>

#include "fendrac_version.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(FENDRAC_BUILD)
#define FENDRAC_API __declspec(dllexport)
#else
#define FENDRAC_API __declspec(dllimport)
#endif
#define FENDRAC_CALL __cdecl
#else
#define FENDRAC_API __attribute__((visibility("default")))
#define FENDRAC_CALL
#endif

/* The three named mutexes, each in the machine-wide "Global\" namespace;
 * the _NAME forms are without it (off Windows, the lock file of
 * "Global\NAME" is NAME.lock). */
#define FENDRAC_MUTEX_STATE1_NAME "ZEPA_EBOOK_QLX_STATE1"
#define FENDRAC_MUTEX_STATE2_NAME "ZEPA_EBOOK_QLX_STATE2"
#define FENDRAC_MUTEX_STATE3_NAME "ZEPA_EBOOK_QLX_STATE3"
#define FENDRAC_MUTEX_STATE1 "Global\\" FENDRAC_MUTEX_STATE1_NAME
#define FENDRAC_MUTEX_STATE2 "Global\\" FENDRAC_MUTEX_STATE2_NAME
#define FENDRAC_MUTEX_STATE3 "Global\\" FENDRAC_MUTEX_STATE3_NAME

/* ---- Drive, locks ------------------------------------------------------ */

/* Opens the reader volume at `path` (for example L"\\\\.\\E:"): opens the
 * volume, asks the reader whether it is locked, tells an unlocked reader that
 * the host is connected, and keeps the reader's protocol version.
 * 1 = open; 0 = failed (the drive is closed again).
 * Every exchange is tried up to 10 times, 200 ms apart, while its call fails
 * or, for data sent to the reader, while the reader refuses it. What the
 * lock question costs:
 *   - a reader that answers: one exchange each way;
 *   - a reader that refuses the question (or a call that keeps failing on
 *     it): its 10 tries, about 2 s, then the open goes on; a reader that
 *     refuses every command fails the open in about 6 s;
 *   - a reader that takes the question but refuses the answer's exchange:
 *     asked again every 200 ms, 150 times, about 30 s;
 *   - a reader that never answers (the answer's call fails): 150 questions
 *     of 10 tries each, about 300 s, and more when the driver itself waits
 *     before it fails a call. */
FENDRAC_API int FENDRAC_CALL MSC_OpenDriveW(const wchar_t* path);
/* The same function, under its older name. */
FENDRAC_API int FENDRAC_CALL MSC_OpenDrive(const wchar_t* path);
/* MSC_OpenDriveW with a path in the C library's multibyte encoding. */
FENDRAC_API int FENDRAC_CALL MSC_OpenDriveA(const char* path);
/* Matches one open; the last one waits for the device functions under way
 * on other threads, then tells the reader that the host leaves and
 * releases the volume. Nothing happens when no drive is open. */
FENDRAC_API void FENDRAC_CALL MSC_CloseDrive(void);
/* 1 if a drive is open, else 0. */
FENDRAC_API int FENDRAC_CALL MSC_canConnect(void);
/* Takes FENDRAC_MUTEX_STATE3 without waiting.
 * 1 = taken (held by the calling thread until MSC_UnlockUSBDLL);
 * 0 = held by someone else, or the mutex does not exist. */
FENDRAC_API int FENDRAC_CALL MSC_LockUSBDLL(void);
/* Releases the lock of the last MSC_LockUSBDLL. Always 1. */
FENDRAC_API int FENDRAC_CALL MSC_UnlockUSBDLL(void);
/* 1 when nobody else holds FENDRAC_MUTEX_STATE3 (or when the low 16 bits
 * of `code` are 48213); 0 when it is held elsewhere or does not exist. */
FENDRAC_API int FENDRAC_CALL MSC_checkAvailability(int code);
/* Always 0. */
FENDRAC_API int FENDRAC_CALL msc_TargetWin(void);

/* ---- Volume identification --------------------------------------------- */

/* What FSVolumeGetDeviceInfo fills from the drive's SCSI INQUIRY answer:
 * the INQUIRY text fields as received (space-padded), each zero-terminated. */
typedef struct VolumeIdentity {
    unsigned char caller_byte; /* not written by the library */
    char vendor[9];            /* INQUIRY bytes 8 to 15 */
    char product[17];          /* bytes 16 to 31 */
    char revision[5];          /* bytes 32 to 35 */
    char vendor_specific[21];  /* bytes 36 to 55 */
} VolumeIdentity;

/* Sends an INQUIRY to drive `letter` ('E' for E:) and fills `identity`.
 * 0 = filled; 22 = the drive failed to open or to answer (the record is
 * then untouched). Takes no lock; may be called at any time. */
FENDRAC_API int FENDRAC_CALL FSVolumeGetDeviceInfo(int letter, VolumeIdentity* identity);
/* 1 = a supported reader (by vendor, product and revision), 0 = not. */
FENDRAC_API int FENDRAC_CALL IsEbookProduct(const VolumeIdentity* identity);
/* 1 when the revision begins with "1", else 0. */
FENDRAC_API int FENDRAC_CALL IsXmlDatabase(const VolumeIdentity* identity);
/* On the record's vendor_specific text: 1 when it marks the reader's
 * built-in storage ("emb,"), a memory stick ("ext,ms,") or an SD card
 * ("ext,sd,") respectively, else 0. */
FENDRAC_API int FENDRAC_CALL IsVenderSpecificReader(const char* text);
FENDRAC_API int FENDRAC_CALL IsVenderSpecificMS(const char* text);
FENDRAC_API int FENDRAC_CALL IsVenderSpecificSD(const char* text);
/* On the record's product text: 0 for the models without audio, else 1. */
FENDRAC_API int FENDRAC_CALL IsAudioSupported(const char* product);

#if !defined(_WIN32)
/* Linux: volumes are SCSI disk or generic nodes ("/dev/sdb", "/dev/sg2").
 * The kernel passes the reader's vendor commands through a disk node
 * (/dev/sdb) only for a process with CAP_SYS_RAWIO, whatever the node's
 * permissions, so a udev rule alone does not let other users reach it
 * there; through the disk's generic node (/dev/sg2) read and write access
 * is enough.
 * FSVolumeGetDeviceInfoPath is FSVolumeGetDeviceInfo for the volume at
 * `path`: 0 = filled, 22 = it failed to open or to answer. */
FENDRAC_API int FENDRAC_CALL FSVolumeGetDeviceInfoPath(const char* path, VolumeIdentity* identity);
/* Sends the INQUIRY to every SCSI disk of the machine (/sys/block) and
 * returns how many are volumes of a supported reader. Their paths are
 * written to `buffer`, one per line, zero-terminated, as far as whole lines
 * fit in `size` bytes; with a null buffer the volumes are only counted. */
FENDRAC_API int FENDRAC_CALL FSListReaderVolumes(char* buffer, int size);
/* Creates the three named mutexes, which are lock files here, as a Windows
 * application creates them with CreateMutex: "Global\NAME" is NAME.lock in
 * $FENDRAC_LOCK_DIR, else in the one folder every user of the machine
 * shares, for root as for everyone else: /run/lock, or /tmp when /run/lock
 * is not a root-owned sticky folder open to all (with neither, there are
 * no mutexes). A file is made exclusively, never through a link, and
 * readable by every user whatever the umask; files that exist are kept.
 * A file under a mutex's name counts only when it is a plain file with one
 * link that every user can read: a symbolic link, a hard link, a FIFO, a
 * folder or a file some users cannot open (as another user might plant) is
 * no mutex, and is never followed or waited on; the debugger output names
 * it. 1 = all three exist; 0 = one could not be created or is refused;
 * errno then holds the reason of the system call that failed, if one did. */
FENDRAC_API int FENDRAC_CALL MSC_CreateMutexes(void);
#endif

/* ---- Device information, clock, lock ------------------------------------ */

typedef struct DevicePropertyEntry {
    unsigned char bytes[256];
} DevicePropertyEntry;

/* The reader's property block. The library allocates `entries`; release
 * it with MSC_UsbFreeDevProperty. */
typedef struct DeviceProperty {
    unsigned char reader_data[32]; /* reader-defined */
    char device_type[52];          /* zero-terminated, then reader-defined */
    unsigned int entry_count;      /* entries at `entries` */
    DevicePropertyEntry* entries;
} DeviceProperty;

/* Copies the reader's 8-byte protocol version (text, no terminator) for
 * `selector` to `destination`, which must hold at least 8 bytes.
 * 0 = copied; -1 = null destination, size below 8, no drive, or no answer. */
FENDRAC_API int FENDRAC_CALL MSC_UsbGetProtocolVer(int selector, void* destination, int size);
/* 0 = the reader answers; -1 = no drive or no answer. */
FENDRAC_API int FENDRAC_CALL MSC_UsbInitCheck(void);
/* Fills `property`. 0 = filled; -1 = no drive, null record (nothing is
 * sent) or out of memory; -13 = the reader's reply failed
 * or was short; -101, -102, -103 = the command could not run. */
FENDRAC_API int FENDRAC_CALL MSC_UsbGetDevProperty(DeviceProperty* property);
/* Releases the entries and sets the pointer to null; null is ignored. */
FENDRAC_API void FENDRAC_CALL MSC_UsbFreeDevProperty(DeviceProperty* property);
/* Unlocks the reader with `code` (at most 7 characters). The reader's
 * result (0 = unlocked, -5 = locked); -2 = null code (nothing is sent);
 * -3 = no drive; -13, -15, -16 = the exchange failed (-15: the reader did
 * not answer; -16: it refused the code's exchange). */
FENDRAC_API int FENDRAC_CALL MSC_UsbUnlockDevice(const char* code);
/* Sends the 28-byte clock record. The reader's result; -2 = the exchange
 * failed or the record is null; -3 = no drive. */
FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_setTime(const void* clock);
/* Tells the reader that a run of transfers begins or ends. The reader's
 * result; -2 = the exchange failed; -3 = no drive. */
FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_notifyBeginEnd(int value);
/* Copies the reader's 8 bytes of media state. 0; -2 = failed; -3 = no drive. */
FENDRAC_API int FENDRAC_CALL msc_CheckMediaState(void* state);
/* Copies the reader's 8 bytes of free space; `text` is not sent.
 * 0; -2 = failed, or a null `space` (nothing is sent); -3 = no drive. */
FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_GetFreeSpace(const char* text, void* space);
/* Sends `request` and fills `reply` (each at most 4096 bytes).
 * 0 = filled; -1 = an exchange failed or the reply was short; -2 = null
 * buffer, a request size of 0, a size above 4096 or below 0, or no drive; -500 = the reader does
 * not offer the command. */
FENDRAC_API int FENDRAC_CALL MSC_GetFingerPrint(void* reply, int reply_size, const void* request, int request_size);
/* Asks the reader for the information named by `query` and copies up to
 * `size` bytes of it to `buffer` (which may be null, to learn the size;
 * a `size` below 0 copies nothing). The reader is told how many of the
 * bytes asked for did not come: the total with a null buffer, `size` when
 * that is below 0.
 * The total size the reader has (0 or more); -1 = no drive; -2 = an
 * exchange failed (or the query is null or above 4096 bytes); -500 = the
 * reader does not offer the command. */
FENDRAC_API int FENDRAC_CALL MSC_GetInfo(const char* query, void* buffer, int size);

/* ---- Files on the reader ------------------------------------------------ */

/* The reader's file service: files named by a path that the reader
 * resolves (its syntax, positions and codes are the reader's). Data moves
 * in pieces of 4096 bytes within one command, which holds the library's
 * command mutexes until it ends. */

/* Stores the size of the file at `path` (shorter than 256 bytes).
 * 0 = stored; a negative code from the reader is returned and also
 * stored; -2 = the exchange failed, or a null or too long path or a null
 * `size` (nothing is sent); -3 = no drive; -1 = out of memory. */
FENDRAC_API int FENDRAC_CALL MSC_UsbFile_GetSize(const char* path, int* size);
/* Reads `length` bytes at `position` into `destination`; `option` is
 * passed to the reader. A path of 256 bytes or more is sent cut to 256.
 * 0 = read; -2 = failed (the reader's status included; a null
 * `destination` with a positive `length` sends nothing); -3; -1. */
FENDRAC_API int FENDRAC_CALL MSC_UsbFile_Read(const char* path, void* destination, int position, int length,
                                              int option);
/* Writes `length` bytes from `data` at `position`. 0 = written; -2 =
 * failed, or a null `data` with a positive `length` (nothing is sent);
 * -3; -1. */
FENDRAC_API int FENDRAC_CALL MSC_UsbFile_Write(const char* path, const void* data, int position, int length);
/* Deletes the file. The reader's result (0 = deleted); -2; -3; -1. */
FENDRAC_API int FENDRAC_CALL MSC_UsbFile_Delete(const char* path);

/* ---- Update mode and partitions ---------------------------------------- */

/* Switches the reader's mode. The reader's result; -2 = the exchange
 * failed; -3 = no drive. */
FENDRAC_API int FENDRAC_CALL MSC_ReqChangeMode(int mode);
/* Partition names have at most 31 characters; a longer or null one is
 * refused with -2 and nothing is sent. */
/* The reader's result; -2; -3. */
FENDRAC_API int FENDRAC_CALL MSC_ReqDeletePartition(const char* name);
/* Creates an empty partition. The reader needs W = (upper 16 bits of
 * `third`) x 95000 / 3386 ms for it (truncated; at most 1838696 ms). When
 * W is above 20000, the call first writes "wait:sleep=W"
 * (the whole W) to standard error and then sleeps W - 20000 ms, before it
 * asks for the reader's result.
 * The reader's result; -2; -3; -1 = out of memory. */
FENDRAC_API int FENDRAC_CALL MSC_ReqCreatePartition(const char* name, unsigned first, unsigned second, unsigned third);
/* Creates a partition filled with `image_bytes` bytes of the file at
 * `image_path` (shorter than 256 bytes; a file that does not open sends no
 * data and the reader decides), tagged with `tag` (at most 16 characters),
 * with the 128-byte `extra` block when it is not null.
 * The reader's result; -2 (also for a file shorter than `image_bytes`,
 * after which the reader is still asked for its result, so that its
 * command ends; or a name, tag or path too long); -3; -1. */
FENDRAC_API int FENDRAC_CALL MSC_ReqCreatePartitionWithImage(const char* name, unsigned first, unsigned second,
                                                             unsigned third, unsigned image_bytes,
                                                             const char* image_path, const char* tag,
                                                             const void* extra);
/* Stores the reader's three words for the partition.
 * 0 = stored; -2 (also for a null pointer); -3; -1. */
FENDRAC_API int FENDRAC_CALL MSC_GetPartitionSize(const char* name, unsigned* first, unsigned* second, unsigned* third);

/* ---- HTTP tunnel --------------------------------------------------------- */

/* Fetches the HTTP request the reader prepared; `first` and `second` (at
 * most 256 bytes each, null for empty) are the reader's selection. On 0 the
 * body and its size are stored (null and 0 when there is none); release it
 * with MSC_ebookUsb_freeHTTPRequestfromDevice.
 * 0; -2 = the exchange failed (nothing stored), or `body` or `body_size`
 * is null (the request is not asked for and stays with the reader);
 * -3 = no drive; -1. */
FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_getHTTPRequestfromDevice(const char* first, const char* second, void** body,
                                                                   int* body_size);
/* Hands the response to the reader and stores the reader's next body (size
 * first, then the pointer: note the order). A null `data` with a positive
 * `length`, or a null `body_size` or `body`, is refused with -2 and
 * nothing is sent.
 * 0; -2 = the exchange failed (nothing stored); -3 = no drive. */
FENDRAC_API int FENDRAC_CALL MSC_ebookUsb_sendHTTPResponsetoDevice(const void* data, int length, int* body_size,
                                                                   void** body);
/* Releases a body; null is ignored. Both names are the same function. */
FENDRAC_API void FENDRAC_CALL MSC_ebookUsb_freeHTTPRequestfromDevice(void* body);
FENDRAC_API void FENDRAC_CALL MSC_ebookUsb_freeHTTPResponsetoDevice(void* body);

/* ---- Media eject --------------------------------------------------------- */

/* Ejects the reader's device as safe removal does: tells the reader that
 * the host disconnects, locks the volume, finds the removable device that
 * carries its disk and asks Windows to eject it, within 60 s. It takes the
 * volume once the commands under way on other threads have ended; those
 * that come while it has the volume fail.
 * 1 = ejected: the drive still counts as open, without a volume; close it
 * with MSC_CloseDrive. 0 = no drive, or the eject failed or timed out: the
 * volume is opened again and the reader told that the host is back. */
FENDRAC_API int FENDRAC_CALL MSC_EjectMedia(void);

#ifdef __cplusplus
}
#endif

#endif /* FENDRAC_H */
