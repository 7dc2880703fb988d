/* A stand-in for the companion video library, built by the tests to check the contract the
 * player relies on: entry point names and argument passing, the one-byte result, vx and vy
 * written through their addresses, and a bitrate text handed back through the address
 * argument. Compile with -DWITHOUT_EXTRAS to leave out CloseVideoEx and SetVolumeEx, or with
 * -DWITHOUT_FIND to leave out GetFindDataEx. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

static char g_bitrate[32] = "1500000";
static int32_t g_volume = -1;
static int g_closeCalls = 0;
static char g_lastAddress[512];
static char g_lastInfo[512];
static uintptr_t g_lastWindow = 0;

#ifndef WITHOUT_FIND
uint8_t GetFindDataEx(uintptr_t window, char** address, const char* info, int32_t* vx, int32_t* vy,
                      int32_t volume) {
    g_lastWindow = window;
    snprintf(g_lastAddress, sizeof g_lastAddress, "%s", *address ? *address : "");
    snprintf(g_lastInfo, sizeof g_lastInfo, "%s", info ? info : "");
    g_volume = volume;
    *vx += 1;
    *vy += 2;
    if (strstr(g_lastAddress, "fail") != NULL) {
        return 0;
    }
    if (strstr(g_lastAddress, "bitrate=") != NULL) {
        snprintf(g_bitrate, sizeof g_bitrate, "%s", strstr(g_lastAddress, "bitrate=") + 8);
        *address = g_bitrate;
    }
    return 1;
}
#endif

#ifndef WITHOUT_EXTRAS
void CloseVideoEx(uintptr_t window, int32_t* vx, int32_t* vy) {
    g_lastWindow = window;
    ++g_closeCalls;
    *vx = 7;
    *vy = 9;
}

void SetVolumeEx(int32_t volume) {
    g_volume = volume;
}
#endif

/* Test inspection. */
int32_t FakeCompanionVolume(void) {
    return g_volume;
}
int FakeCompanionCloseCalls(void) {
    return g_closeCalls;
}
const char* FakeCompanionLastAddress(void) {
    return g_lastAddress;
}
const char* FakeCompanionLastInfo(void) {
    return g_lastInfo;
}
