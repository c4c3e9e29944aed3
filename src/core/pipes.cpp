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

// Waits for the writer's data or close. A pipe that nobody ever writes to
// must not hold the loop (and with it the reset button) forever.
static int wait_readable(int fd)
{
    int64_t deadline = monotonic_ms() + span_ms(SPAN_REQUEST_WAIT);
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
    if (S_ISFIFO(st.st_mode) && !wait_readable(fd)) {
        close(fd);
        unlink(path);
        printf("stale request pipe removed\n");
        fflush(stdout);
        return;
    }

    // One byte more than a request so the text can always be ended.
    char request[CLI_REQUEST_SIZE + 1];
    ssize_t n = read(fd, request, CLI_REQUEST_SIZE);
    if (n < 0)
        n = 0;
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
    if (mkfifo(path, 0666) != 0 && errno != EEXIST) {
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
    if (fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        // Never write replies into a regular file or device planted there.
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
