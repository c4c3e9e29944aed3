#include "pipes.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "text.h"
#include "clock.h"
#include "commands.h"
#include "private_file.h"
#include "reply.h"
#include "rootpath.h"
#include "wlaccess.h"

typedef void (*cmd_handler)(char *args);
struct cmd_entry {
    const char *word;
    cmd_handler handler;
};
#define CMD_ENTRY(word, help, handler, summary) {#word, handler},
static const struct cmd_entry cmd_table[] = {DORVAN_COMMANDS(CMD_ENTRY)};
#undef CMD_ENTRY
static const int cmd_table_size = sizeof(cmd_table) / sizeof(cmd_table[0]);

void cli_dispatch(char *request)
{
    char *word = request;
    while (*word == ' ')
        word++;
    char *args = word;
    while (*args != '\0' && *args != ' ')
        args++;
    if (*args == ' ')
        *args++ = '\0';

    cmd_handler handler = NULL;
    for (int i = 0; i < cmd_table_size; i++) {
        if (strcmp(word, cmd_table[i].word) == 0) {
            handler = cmd_table[i].handler;
            break;
        }
    }
    wla_forget_failures();
    reply_clear();
    if (handler != NULL)
        handler(args);
    else
        cmdWlIntfHelp();

    // The one place a request is answered and its bracket let go, in the
    // order the bracket asks for. A request that found the lock taken goes
    // unanswered; one whose settings could not be loaded or kept is answered
    // with that failure instead.
    if (wla_release_first())
        wla_release();
    if (!wla_lock_missed()) {
        const char *failed = wla_failure_reply();
        if (failed != NULL)
            reply_set(failed);
        sendbuf[SENDBUF_SIZE - 1] = '\0';
        send_wlCLI_PIPE(sendbuf);
    }
    wla_release();
    wla_forget_failures();
    fflush(stdout);
}

// Waits for the writer's data or close until deadline. A pipe that nobody
// ever writes to must not hold the loop (and with it the reset button)
// forever.
static int wait_readable(int fd, int64_t deadline)
{
    for (;;) {
        int64_t left = deadline - monotonic_ms();
        if (left <= 0)
            return 0;
        struct pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, (int)left);
        if (r > 0)
            return 1;
        if (r < 0 && errno != EINTR)
            return 1;  // let the read report it
    }
}

// A pipe's request is whole once its writer closes it (or it fills the
// buffer); its length, or -1 when that did not happen in time.
static ssize_t read_pipe_request(int fd, char *request)
{
    const int64_t deadline = monotonic_ms() + span_ms(SPAN_REQUEST_WAIT);
    if (!wait_readable(fd, deadline))
        return -1;
    size_t n = 0;
    while (n < CLI_REQUEST_SIZE) {
        ssize_t r = read(fd, request + n, CLI_REQUEST_SIZE - n);
        if (r == 0)
            break;  // no writer left
        if (r > 0) {
            n += (size_t)r;
            continue;
        }
        if (errno == EINTR)
            continue;
        int64_t left = deadline - monotonic_ms();
        if (errno != EAGAIN || left <= 0)
            return -1;
        // A writer that opened before us wakes no poll when it closes: look
        // again every 10 ms.
        struct pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, left < 10 ? (int)left : 10);
    }
    return (ssize_t)n;
}

// A regular file's writer is done once nobody has it open for writing: the
// kernel refuses a read lease while anyone has. 1 done, 0 not yet, -1
// cannot tell (not our file, or no leases here).
static int file_writer_done(int fd)
{
    if (fcntl(fd, F_SETLEASE, F_RDLCK) != 0)
        return errno == EAGAIN ? 0 : -1;
    fcntl(fd, F_SETLEASE, F_UNLCK);
    return 1;
}

static void drop_request(int fd, const char *path, const char *why)
{
    close(fd);
    unlink(path);
    printf("%s\n", why);
    fflush(stdout);
}

void process_wlCLI_PIPE(void)
{
    char path[DORVAN_PATH_MAX];
    if (rootpath_make(path, sizeof(path), REQUEST_PIPE) != 0)
        return;
    // Non-blocking so an open never waits for a writer; no symlinks, so a
    // link planted at the path cannot make us read (and delete) elsewhere.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            errno = 0;
        return;
    }
    struct stat st;
    if (fstat(fd, &st) != 0 || !(S_ISFIFO(st.st_mode) || S_ISREG(st.st_mode))) {
        close(fd);
        return;
    }
    // A request is served whole or not at all, never the part that a writer
    // that paused has written so far. One byte more than a request so the
    // text can always be ended.
    char request[CLI_REQUEST_SIZE + 1];
    ssize_t n;
    if (S_ISFIFO(st.st_mode)) {
        n = read_pipe_request(fd, request);
        if (n < 0) {
            drop_request(fd, path, "stale request pipe removed");
            return;
        }
    } else {
        int done = file_writer_done(fd);
        if (done == 0) {
            close(fd);  // its writer's close brings it back
            return;
        }
        if (done < 0) {
            drop_request(fd, path, "request file removed unserved: cannot tell its writer is done");
            return;
        }
        n = read(fd, request, CLI_REQUEST_SIZE);
        if (n < 0)
            n = 0;
    }
    request[n] = '\0';
    close(fd);
    unlink(path);
    cli_dispatch(request);
}

static void open_failed(void)
{
    printf("open fifo error!!!\n");
}

void send_wlCLI_PIPE(const char *text)
{
    char path[DORVAN_PATH_MAX];
    if (rootpath_make(path, sizeof(path), REPLY_PIPE) != 0) {
        open_failed();
        return;
    }
    if (make_private_fifo(path) != 0 && errno != EEXIST) {
        perror("Dorvan -- Error creating the named pipe");
        return;
    }
    // Retry a non-blocking open instead of blocking: a front end that never
    // reads must not freeze the daemon.
    int64_t deadline = monotonic_ms() + span_ms(SPAN_REPLY_WAIT);
    int fd;
    for (;;) {
        fd = open(path, O_WRONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 || errno != ENXIO || monotonic_ms() >= deadline)
            break;
        usleep(10000);
    }
    if (fd < 0) {
        open_failed();
        return;
    }
    struct stat st;
    // Never write replies into a regular file or device planted there; a
    // pipe an older build left readable by all is ours alone from now on.
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode) || make_private(fd, path) != 0) {
        close(fd);
        open_failed();
        return;
    }
    // At most SENDBUF_SIZE bytes: within PIPE_BUF, so the write is whole or
    // fails at once; a reader that never drains cannot block us.
    ssize_t w = write(fd, text, strlen(text) + 1);
    (void)w;
    close(fd);
}
