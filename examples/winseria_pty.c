/* winseria from C: opens a pseudo-terminal as COM5 through libwinseria.so,
 * moves a byte each way, lets a read time out and prints the library's
 * last error.
 *
 * The program makes its own port: it opens a pseudo-terminal, links its
 * slave as "com5" in a fresh directory and points TORVANE_PORTS_DIR there,
 * so that "\\.\COM5" is the pseudo-terminal. The master side plays the
 * device at the other end of the cable.
 *
 * Build: cmake builds it as winseria_example_c (linked to libwinseria.so);
 * against an installed library: cc winseria_pty.c $(pkg-config --cflags
 * --libs winseria), or find_package(winseria) (examples/find_package/).
 * Exit status 0 when every step gave the expected result. */
#define _GNU_SOURCE
#include <fcntl.h>
#include <iconv.h>
#include <poll.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <termios.h>
#include <unistd.h>

#include <winseria.h>

enum { kPort = 5 };

static int failures = 0;

static void check(int ok, const char* what) {
    if (!ok) {
        fprintf(stderr, "unexpected: %s\n", what);
        ++failures;
    }
}

/* The library's messages are Windows-1250 bytes; the terminal wants UTF-8. */
static void print_last_error(void) {
    char message[52];
    char* buffer = message;
    int32_t code = 0;
    uint8_t failed = IsError(&buffer, &code);

    char utf8[160] = "";
    char* in = message;
    char* out = utf8;
    size_t in_left = strlen(message);
    size_t out_left = sizeof utf8 - 1;
    iconv_t to_utf8 = iconv_open("UTF-8", "CP1250");
    if (to_utf8 != (iconv_t)-1) {
        iconv(to_utf8, &in, &in_left, &out, &out_left);
        *out = '\0';
        iconv_close(to_utf8);
    } else {
        snprintf(utf8, sizeof utf8, "%s", message);
    }
    printf("  IsError = %u, code %d, \"%s\"\n", failed, code, utf8);
}

/* A pseudo-terminal linked as comN in a new ports directory; returns the
 * master descriptor. */
static int make_port(char* directory, size_t size) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return -1;
    struct termios raw;
    tcgetattr(master, &raw);
    cfmakeraw(&raw);
    tcsetattr(master, TCSANOW, &raw);

    snprintf(directory, size, "/tmp/winseria-example-XXXXXX");
    if (mkdtemp(directory) == NULL) return -1;
    char link_name[512];
    snprintf(link_name, sizeof link_name, "%s/com%d", directory, kPort);
    if (symlink(ptsname(master), link_name) != 0) return -1;
    setenv("TORVANE_PORTS_DIR", directory, 1);
    return master;
}

static void remove_port(const char* directory) {
    char link_name[512];
    snprintf(link_name, sizeof link_name, "%s/com%d", directory, kPort);
    unlink(link_name);
    rmdir(directory);
}

static int read_master(int master, unsigned char* byte) {
    struct pollfd ready = {master, POLLIN, 0};
    return poll(&ready, 1, 2000) == 1 && read(master, byte, 1) == 1;
}

int main(void) {
    char directory[256];
    int master = make_port(directory, sizeof directory);
    if (master < 0) {
        perror("pseudo-terminal");
        return 2;
    }

    const char* version = NULL;
    DllVersion(&version);
    printf("winseria %s\n", version);

    /* A port that does not exist. */
    int32_t result = InitializePort(kPort + 1, 9600, 1, 1);
    printf("InitializePort(%d) = %d\n", kPort + 1, result);
    check(result == 2, "a missing port gives 2");
    print_last_error();

    /* The pseudo-terminal: 9600 bit/s, write and read time-outs of 1 s. */
    result = InitializePort(kPort, 9600, 1, 1);
    printf("InitializePort(%d) = %d\n", kPort, result);
    check(result == 0, "the port opens");

    uint8_t written = WriteByte('H');
    unsigned char arrived = 0;
    int got = read_master(master, &arrived);
    printf("WriteByte('H') = %u, the other end got '%c'\n", written, got ? arrived : '?');
    check(written == 1 && got && arrived == 'H', "the byte goes out");

    const unsigned char answer = 'i';
    check(write(master, &answer, 1) == 1, "the other end answers");
    uint8_t value = 0;
    uint8_t read_ok = ReadByte(&value);
    printf("ReadByte = %u, value '%c', TimeOut() = %u\n", read_ok, value, TimeOut());
    check(read_ok == 1 && value == 'i', "the byte comes in");

    value = 0;
    read_ok = ReadByte(&value);
    printf("ReadByte with nothing to read = %u, TimeOut() = %u\n", read_ok, TimeOut());
    check(read_ok == 0 && TimeOut() == 1, "an empty read times out");
    print_last_error();

    result = UnInitializePort();
    printf("UnInitializePort() = %d\n", result);
    check(result == 0, "the port closes");

    close(master);
    remove_port(directory);
    return failures == 0 ? 0 : 1;
}
