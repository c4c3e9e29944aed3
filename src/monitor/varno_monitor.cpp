#include "monitor.h"

#include <stdio.h>
#include <string.h>

#include "board_ctl.h"
#include "cfg_framework.h"
#include "wlaccess.h"

namespace {

// The counter lines name the monitor's original source and fixed line
// numbers: tools that watch the output match on them.
const char kSource[] = "varno_monitor";
const char kFunc[] = "Varno_monitor";
const unsigned kResetLine = 129;
const unsigned kWpsLine = 424;

const int kResetHoldPasses = 5;
const int kWpsHoldPasses = 4;
// first_sync_cnt starts at 1, so it reaches 10 on the ninth pass and 11 on
// the tenth, where it stays.
const int kFirstSync = 10;
const int kSyncDone = 11;

// Read by the WPS service; it expects them in this order.
const char *const kWpsPbcCommands[] = {
    "nvram set wps_config=client-pbc",
    "nvram set wps_config_state=1",
    "nvram set wps_adder=0",
    "nvram set wps_event=a",
    "nvram set wps_force_restart=y",
    "nvram set wps_pbc_force=1",
    "nvram set wps_sta_pin=",
};

int reset_button_cnt = 0;
int wps_button_cnt = 0;
int first_sync_cnt = 1;
int wireless_state = 0;

// The switch and the button belong to the radio: they address its primary
// interface, never the one a command selected last (a guest network switched
// off must not come back on).
const int kPrimary = 0;

// wlEnbl becomes `to` only when its first character is `from`; a change is
// stored and saved, no change writes nothing.
void switch_wireless(const char *trace, char from, const char *to)
{
    if (wla_begin(trace, WLA_RELEASE_FIRST) != 0)
        return;
    char enbl[WL_VALUE_SIZE];
    wla_get_keyed(kPrimary, "wlEnbl", enbl);
    if (enbl[0] == from) {
        wla_set_keyed(kPrimary, "wlEnbl", to);
        wla_commit();
    }
    wla_release();
}

void reset_button_step(void)
{
    int status = -1;
    boardCtl_getResetStatus(&status);
    if (status == 0) {
        reset_button_cnt++;
        printf("%s - %s - %u reset_button_cnt=%d\n", kSource, kFunc, kResetLine, reset_button_cnt);
    } else if (reset_button_cnt >= kResetHoldPasses) {
        // Not cleared: should the restore return, the next pass tries again.
        printf("Restore default configuration and Reset the system!!!\n");
        // The restore re-executes the daemon, which drops unwritten output.
        fflush(stdout);
        cfgMgm_restoreDefault(msgHandle);
    } else if (reset_button_cnt > 0) {
        reset_button_cnt = 0;
    }
}

void wireless_switch_step(void)
{
    int status = -1;
    boardCtl_getWirelessPWRStatus(&status);
    if (first_sync_cnt < kSyncDone)
        first_sync_cnt++;
    if (first_sync_cnt == kFirstSync) {
        if (status == 0) {
            wireless_state = 1;
            printf("First Sync : Wireless enabled !!!\n");
            enable_wireless();
        } else {
            wireless_state = 0;
            printf("First Sync : Wireless disabled !!!\n");
            disable_wireless();
        }
    } else if (first_sync_cnt == kSyncDone) {
        if (status == 0 && wireless_state == 0) {
            wireless_state = 1;
            printf("Enable Wireless !!!\n");
            enable_wireless();
        } else if (status != 0 && wireless_state == 1) {
            wireless_state = 0;
            printf("Disable Wireless !!!\n");
            disable_wireless();
        }
    }
}

// Push-button enrolment, only when wireless and WPS are both on.
void wps_pbc(void)
{
    if (wla_begin(kFunc, WLA_RELEASE_FIRST) != 0)
        return;
    char enbl[WL_VALUE_SIZE];
    char mode[WL_VALUE_SIZE];
    wla_get_keyed(kPrimary, "wlEnbl", enbl);
    wla_get_keyed(kPrimary, "wlWscMode", mode);
    printf("WPS (Wi-Fi Protected Setup) PBC setup wlEnbl=%s wlWscMode=%s\n", enbl, mode);
    if (enbl[0] == '1' && strcmp(mode, "enabled") == 0) {
        printf("WPS (Wi-Fi Protected Setup) PBC Activated!!!\n");
        // The shells share our stdout: keep the lines in order.
        fflush(stdout);
        for (const char *cmd : kWpsPbcCommands)
            systemEx(cmd, 0);
        wlmgr_wpsPushButton();
        wla_commit();
    }
    wla_release();
}

void wps_button_step(void)
{
    int status = -1;
    boardCtl_getWpsButtonStatus(&status);
    if (status == 0) {
        wps_button_cnt++;
        printf("%s - %s - %u wps_button_cnt=%d\n", kSource, kFunc, kWpsLine, wps_button_cnt);
        return;
    }
    if (wps_button_cnt >= kWpsHoldPasses)
        wps_pbc();
    // Every release clears the count, whether the press was short, acted
    // on, or lost to a busy lock.
    wps_button_cnt = 0;
}

}  // namespace

void Varno_monitor(void)
{
    reset_button_step();
    wireless_switch_step();
    wps_button_step();
}

void enable_wireless(void)
{
    switch_wireless("enable_wireless", '0', "1");
}

void disable_wireless(void)
{
    switch_wireless("disable_wireless", '1', "0");
}
