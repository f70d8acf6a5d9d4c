/*
 * hkchild.c --
 *
 *	A small program that the process tests start as a real child. Each
 *	argument is one action, done in order:
 *	    out:HEX      write the bytes given in hexadecimal to stdout
 *	    err:HEX      the same to stderr
 *	    rep:N:HEX    write those bytes N times to stdout
 *	    args         write every argument, one per line, each as <arg>
 *	    stdin        write how many bytes standard input gives, as in:N
 *	    pid          write the own process id and a line feed
 *	    pidfile:PATH write the own process id into the file PATH (so that a
 *	                 test may learn it while this program runs)
 *	    sleep:MS     wait that many milliseconds
 *	    exit:N       end at once with exit code N
 *	Other arguments are ignored (so that quoting tests may pass anything).
 *	Output is binary on every system; the exit code is 0 at the end.
 */

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#define getpid() ((int) GetCurrentProcessId())
#else
#include <time.h>
#include <unistd.h>
#endif

static int
hexValue(int c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

/* Decodes HEX into buf (which has room for strlen(hex)/2); returns the count. */
static size_t
decode(const char *hex, unsigned char *buf)
{
    size_t n = 0;
    while (hex[0] && hex[1]) {
	int hi = hexValue(hex[0]), lo = hexValue(hex[1]);
	if (hi < 0 || lo < 0) break;
	buf[n++] = (unsigned char) (hi * 16 + lo);
	hex += 2;
    }
    return n;
}

static void
writeHex(FILE *stream, const char *hex, long times)
{
    unsigned char *buf = malloc(strlen(hex) / 2 + 1);
    size_t n;
    long i;
    if (buf == NULL) exit(99);
    n = decode(hex, buf);
    for (i = 0; i < times; i++) {
	fwrite(buf, 1, n, stream);
    }
    fflush(stream);
    free(buf);
}

static void
sleepMs(long ms)
{
#ifdef _WIN32
    Sleep((DWORD) ms);
#else
    struct timespec ts;
    ts.tv_sec = ms / 1000;
    ts.tv_nsec = (ms % 1000) * 1000000L;
    nanosleep(&ts, NULL);
#endif
}

int
main(int argc, char **argv)
{
    int i;
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    for (i = 1; i < argc; i++) {
	const char *a = argv[i];
	if (strncmp(a, "out:", 4) == 0) {
	    writeHex(stdout, a + 4, 1);
	} else if (strncmp(a, "err:", 4) == 0) {
	    writeHex(stderr, a + 4, 1);
	} else if (strncmp(a, "rep:", 4) == 0) {
	    char *rest;
	    long times = strtol(a + 4, &rest, 10);
	    if (*rest == ':') writeHex(stdout, rest + 1, times);
	} else if (strcmp(a, "args") == 0) {
	    int j;
	    for (j = 1; j < argc; j++) printf("<%s>\n", argv[j]);
	    fflush(stdout);
	} else if (strcmp(a, "stdin") == 0) {
	    char buf[256];
	    long total = 0;
	    size_t got;
	    if (stdin == NULL) {
		printf("in:none\n");
	    } else {
		while ((got = fread(buf, 1, sizeof buf, stdin)) > 0) total += (long) got;
		printf("in:%ld\n", total);
	    }
	    fflush(stdout);
	} else if (strcmp(a, "pid") == 0) {
	    printf("%d\n", (int) getpid());
	    fflush(stdout);
	} else if (strncmp(a, "pidfile:", 8) == 0) {
	    FILE *f = fopen(a + 8, "w");
	    if (f != NULL) {
		fprintf(f, "%d\n", (int) getpid());
		fclose(f);
	    }
	} else if (strncmp(a, "sleep:", 6) == 0) {
	    sleepMs(strtol(a + 6, NULL, 10));
	} else if (strncmp(a, "exit:", 5) == 0) {
	    exit((int) strtol(a + 5, NULL, 10));
	}
    }
    return 0;
}
