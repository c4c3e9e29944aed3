#include "daemon.h"

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include "cfg_framework.h"
#include "clock.h"
#include "monitor.h"
#include "pickup.h"
#include "pipes.h"
#include "wlmgr.h"

void *msgHandle = NULL;
int wl_cnt = 0;

int loglevel_from_option(int v)
{
    if (v == 0)
        return CFG_LOG_ERR;
    if (v == 1)
        return CFG_LOG_NOTICE;
    return CFG_LOG_DEBUG;
}

void scan_tick(void)
{
    static int scan_count = 0;
    scan_count = (scan_count + 1) % span_passes(SPAN_SCAN_PERIOD);
    if (scan_count == span_passes(SPAN_SCAN_FIRST))
        do_scan();
}

void main_loop_pass(void)
{
    Varno_monitor();
    process_wlCLI_PIPE();
}

int dorvand_main(int argc, char **argv)
{
    int mdmId = -1;
    int level = CFG_LOG_ERR;
    int opt;
    while ((opt = getopt(argc, argv, "v:m:")) != -1) {
        switch (opt) {
        case 'v':
            level = loglevel_from_option(atoi(optarg));
            break;
        case 'm':
            mdmId = atoi(optarg);
            break;
        default:
            exit(-1);
        }
    }

    cfgLog_init(DORVAN_ENTITY_ID);
    cfgLog_setLevel(level);
    int r = cfgMsg_init(DORVAN_ENTITY_ID, &msgHandle);
    if (r != 0) {
        log_log(CFG_LOG_ERR, "main", __LINE__, "cfgMsg_init failed, ret=%d", r);
        exit(-1);
    }
    // Before anything is made or read there: another user's folder on the
    // way would give them our configuration.
    if (dorvan_state_path_safe() != 0) {
        cfgMsg_cleanup(&msgHandle);
        exit(-1);
    }
    r = cfgMdm_init(DORVAN_ENTITY_ID, msgHandle, &mdmId);
    if (r != 0) {
        log_log(CFG_LOG_ERR, "main", __LINE__, "cfgMdm_init failed, ret=%d", r);
        cfgMsg_cleanup(&msgHandle);
        exit(-1);
    }
    // One daemon per root: a second one would take the first one's requests
    // and act on the same buttons. The platform logs why.
    if (dorvan_hold_instance_lock() != 0) {
        cfgMsg_cleanup(&msgHandle);
        exit(-1);
    }
    wl_cnt = wlmgr_getAdapterCount();
    if (wldm_alloc(wl_cnt) != 0) {
        log_log(CFG_LOG_ERR, "main", __LINE__, "Allocate wldm memory error\n");
        return -1;
    }
    if (wlmgr_alloc(wl_cnt) != 0) {
        log_log(CFG_LOG_ERR, "main", __LINE__, "Allocate wlan Adapter memory error\n");
        return -1;
    }

    // A front end that closes the reply pipe early must not kill us.
    signal(SIGPIPE, SIG_IGN);
    // The pickup's read lease on a request file lasts an instant; a writer
    // opening it then must not kill us with the lease-break signal.
    signal(SIGIO, SIG_IGN);
    // Lines reach a log file or a watching front end as they happen.
    setvbuf(stdout, NULL, _IOLBF, 0);
    // Tests shorten the pass; unset, a pass sleeps exactly one second.
    const long ms = span_ms(SPAN_PASS);
    const struct timespec nap = {ms / 1000, (ms % 1000) * 1000000L};
    const int immediate = pickup_init();
    for (;;) {
        main_loop_pass();
        if (immediate)
            pickup_wait(ms);
        else
            nanosleep(&nap, NULL);
        scan_tick();
    }
}
