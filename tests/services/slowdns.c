/* A slow name lookup for tests, loaded with LD_PRELOAD: getaddrinfo() for the host named by
 * TL_SLOW_HOST (default "slow.test") sleeps TL_SLOW_SECONDS (default 8) and then fails as an
 * unknown name would; every other name goes to the real getaddrinfo(). */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <netdb.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

typedef int (*getaddrinfo_fn)(const char*, const char*, const struct addrinfo*, struct addrinfo**);

int getaddrinfo(const char* node, const char* service, const struct addrinfo* hints,
                struct addrinfo** res) {
    const char* slow = getenv("TL_SLOW_HOST");
    if (node != NULL && strcmp(node, slow != NULL ? slow : "slow.test") == 0) {
        const char* seconds = getenv("TL_SLOW_SECONDS");
        sleep(seconds != NULL ? (unsigned)atoi(seconds) : 8u);
        return EAI_NONAME;
    }
    getaddrinfo_fn real = (getaddrinfo_fn)dlsym(RTLD_NEXT, "getaddrinfo");
    return real != NULL ? real(node, service, hints, res) : EAI_SYSTEM;
}
