/*
 * reader_session: a small PC application of the reader's library. It lists
 * the reader volumes among the drive letters, opens the reader's built-in
 * storage, reads its protocol version and property block, sets its clock
 * to the PC's, and closes the drive.
 *
 * Build on Windows against Fendrac.lib (or Fendrac.dll) and fendrac.h:
 *     i686-w64-mingw32-gcc reader_session.c -I include Fendrac.lib -o reader_session.exe
 */
#include "fendrac.h"

#include <stdio.h>
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

int main(void)
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

    MSC_CloseDrive();
    printf("closed\n");
    return status;
}
