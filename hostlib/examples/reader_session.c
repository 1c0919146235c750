/*
 * reader_session: a small PC application of the reader's library. It lists
 * the reader volumes among the drive letters, opens the reader's built-in
 * storage, reads its protocol version and property block, sets its clock
 * to the PC's, runs the commands given, in order, and closes the drive:
 *
 *     put LOCAL REMOTE       copy a file of the PC to the reader
 *     get REMOTE LOCAL       copy a file of the reader to the PC
 *     partition NAME IMAGE   create an update partition from an image file
 *     tunnel RESPONSE        fetch the HTTP request the reader prepared,
 *                            show it, and answer it with the RESPONSE file
 *     eject                  eject the reader, as safe removal does
 *
 * Build against the import library and fendrac.h, from the folder the
 * library was installed or unpacked into:
 *     i686-w64-mingw32-gcc examples/reader_session.c -I include lib/Fendrac.lib -o bin/reader_session.exe
 */
#include "fendrac.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

/* A space-padded field without its padding. */
static void print_trimmed(const char* text)
{
    size_t length = strlen(text);
    while (length > 0 && text[length - 1] == ' ')
        --length;
    printf("%.*s", (int)length, text);
}

static const char* volume_kind(const VolumeIdentity* identity)
{
    if (IsVenderSpecificReader(identity->vendor_specific))
        return "built-in storage";
    if (IsVenderSpecificSD(identity->vendor_specific))
        return "SD card";
    if (IsVenderSpecificMS(identity->vendor_specific))
        return "memory stick";
    return "other volume";
}

/* The clock record: year, month, day, hour, minute, second and weekday of
 * the PC's local time, little-endian 32-bit words. */
static void fill_clock(unsigned char record[28])
{
    const time_t now = time(NULL);
    const struct tm* local = localtime(&now);
    const int words[7] = {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, local->tm_hour,
                          local->tm_min,         local->tm_sec,     local->tm_wday};
    for (int i = 0; i < 7; ++i)
        for (int b = 0; b < 4; ++b)
            record[4 * i + b] = (unsigned char)((unsigned)words[i] >> (8 * b));
}

/* The whole file at `path` in a buffer of its own; NULL when it cannot be read. */
static unsigned char* read_whole(const char* path, long* size)
{
    FILE* file = fopen(path, "rb");
    if (file == NULL)
        return NULL;
    unsigned char* data = NULL;
    if (fseek(file, 0, SEEK_END) == 0 && (*size = ftell(file)) >= 0 && fseek(file, 0, SEEK_SET) == 0) {
        data = malloc(*size > 0 ? (size_t)*size : 1);
        if (data != NULL && fread(data, 1, (size_t)*size, file) != (size_t)*size) {
            free(data);
            data = NULL;
        }
    }
    fclose(file);
    return data;
}

static int put(const char* local, const char* remote)
{
    long size = 0;
    unsigned char* data = read_whole(local, &size);
    if (data == NULL) {
        printf("cannot read %s\n", local);
        return 1;
    }
    const int result = MSC_UsbFile_Write(remote, data, 0, (int)size);
    printf("put %s -> %s: %ld bytes, %d\n", local, remote, size, result);
    free(data);
    return result != 0;
}

static int get(const char* remote, const char* local)
{
    int size = 0;
    const int sized = MSC_UsbFile_GetSize(remote, &size);
    if (sized != 0) {
        printf("get %s: no size (%d)\n", remote, sized);
        return 1;
    }
    unsigned char* data = malloc(size > 0 ? (size_t)size : 1);
    int result = data == NULL ? -1 : MSC_UsbFile_Read(remote, data, 0, size, 0);
    FILE* file = result == 0 ? fopen(local, "wb") : NULL;
    if (file != NULL) {
        if (fwrite(data, 1, (size_t)size, file) != (size_t)size)
            result = 1;
        if (fclose(file) != 0)
            result = 1;
    } else if (result == 0) {
        result = 1;
    }
    printf("get %s -> %s: %d bytes, %d\n", remote, local, size, result);
    free(data);
    return result != 0;
}

static int partition(const char* name, const char* image)
{
    long size = 0;
    unsigned char* data = read_whole(image, &size);
    if (data == NULL) {
        printf("cannot read %s\n", image);
        return 1;
    }
    free(data);
    const int mode = MSC_ReqChangeMode(1);
    const int created =
        MSC_ReqCreatePartitionWithImage(name, (unsigned)size, 0, 0, (unsigned)size, image, "reader_session", NULL);
    unsigned first = 0, second = 0, held = 0;
    const int sized = MSC_GetPartitionSize(name, &first, &second, &held);
    const int back = MSC_ReqChangeMode(0);
    printf("partition %s from %s: update mode %d, created %d, %u bytes held (%d), normal mode %d\n", name, image, mode,
           created, held, sized, back);
    return mode != 0 || created != 0 || sized != 0 || back != 0;
}

/* The request line: the text up to the first line end. */
static int line_length(const char* text, int size)
{
    int length = 0;
    while (length < size && text[length] != '\r' && text[length] != '\n')
        ++length;
    return length;
}

static int tunnel(const char* response_file)
{
    void* request = NULL;
    int size = 0;
    const int fetched = MSC_ebookUsb_getHTTPRequestfromDevice("", "", &request, &size);
    if (fetched != 0 || request == NULL) {
        printf("tunnel: no request (%d)\n", fetched);
        return 1;
    }
    printf("tunnel request: %.*s (%d bytes)\n", line_length(request, size), (const char*)request, size);
    MSC_ebookUsb_freeHTTPRequestfromDevice(request);

    long length = 0;
    unsigned char* response = read_whole(response_file, &length);
    if (response == NULL) {
        printf("cannot read %s\n", response_file);
        return 1;
    }
    void* next = NULL;
    int next_size = 0;
    const int sent = MSC_ebookUsb_sendHTTPResponsetoDevice(response, (int)length, &next_size, &next);
    printf("tunnel response: %ld bytes, %d; next request %d bytes\n", length, sent, next_size);
    MSC_ebookUsb_freeHTTPResponsetoDevice(next);
    free(response);
    return sent != 0;
}

int main(int argc, char** argv)
{
    int built_in = 0;
    for (int letter = 'A'; letter <= 'Z'; ++letter) {
        VolumeIdentity identity;
        memset(&identity, 0, sizeof identity);
        if (FSVolumeGetDeviceInfo(letter, &identity) != 0 || !IsEbookProduct(&identity))
            continue;
        printf("%c: ", letter);
        print_trimmed(identity.product);
        printf(" (revision %s), %s%s\n", identity.revision, volume_kind(&identity),
               IsAudioSupported(identity.product) ? ", audio" : "");
        if (built_in == 0 && IsVenderSpecificReader(identity.vendor_specific))
            built_in = letter;
    }
    if (built_in == 0) {
        printf("no reader found\n");
        return 1;
    }

    wchar_t path[] = L"\\\\.\\?:";
    path[4] = (wchar_t)built_in;
    if (!MSC_OpenDriveW(path)) {
        printf("cannot open %c:\n", built_in);
        return 1;
    }
    int status = 0;

    char version[8];
    if (MSC_UsbGetProtocolVer(1, version, sizeof version) == 0) {
        printf("protocol version %.8s\n", version);
    } else {
        printf("no protocol version\n");
        status = 1;
    }

    DeviceProperty property;
    memset(&property, 0, sizeof property);
    const int got = MSC_UsbGetDevProperty(&property);
    if (got == 0) {
        printf("device type %.52s, %u property entr%s\n", property.device_type, property.entry_count,
               property.entry_count == 1 ? "y" : "ies");
        MSC_UsbFreeDevProperty(&property);
    } else {
        printf("no property block (%d)\n", got);
        status = 1;
    }

    unsigned char clock[28];
    fill_clock(clock);
    const int set = MSC_ebookUsb_setTime(clock);
    printf("clock set: %d\n", set);
    if (set != 0)
        status = 1;

    for (int i = 1; i < argc; ++i) {
        const char* command = argv[i];
        const int left = argc - i - 1;
        if (strcmp(command, "put") == 0 && left >= 2) {
            status |= put(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (strcmp(command, "get") == 0 && left >= 2) {
            status |= get(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (strcmp(command, "partition") == 0 && left >= 2) {
            status |= partition(argv[i + 1], argv[i + 2]);
            i += 2;
        } else if (strcmp(command, "tunnel") == 0 && left >= 1) {
            status |= tunnel(argv[i + 1]);
            i += 1;
        } else if (strcmp(command, "eject") == 0) {
            const int ejected = MSC_EjectMedia();
            printf("%s\n", ejected ? "ejected" : "not ejected");
            status |= !ejected;
        } else {
            printf("unknown command or missing argument: %s\n", command);
            status = 1;
            break;
        }
    }

    MSC_CloseDrive();
    printf("closed\n");
    return status;
}
