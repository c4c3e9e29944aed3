#include "cmdtable.h"

namespace {


const fe_form intf_forms[] = {
    {"show", "", "list the four interfaces: state, SSID, country, limits and flags"},
    {"enable", "--interface <wl0|wl0.1|wl0.2|wl0.3> [--VARIABLE VALUE]...",
     "switch an interface on and set further per-interface variables (--wlSsid, --wlMaxAssoc, "
     "--wlHide, --wlAPIsolation, --wlDisableWme); wl0.1-wl0.3 need wl0 enabled"},
    {"disable", "--interface <wl0|wl0.1|wl0.2|wl0.3>", "switch an interface off"},
};

const fe_form sec_forms[] = {
    {"show", "", "list SSID, authentication, keys and WPS state of the four interfaces"},
    {"wpssetup",
     "--interface <wl0|wl0.1|wl0.2|wl0.3> "
     "--operation <addenrollee_Pin|addenrollee_PBC|configureAP|addER|addERDone> "
     "[--wlWscAPMode <0|1>] [--wlWscStaPin PIN] [--configmode <pin|pbc>]",
     "start a WPS operation on an interface"},
    {"manualsetup",
     "--interface <wl0|wl0.1|wl0.2|wl0.3> "
     "--wlAuthMode <open|shared|radius|wpa|psk|wpa2|psk2|wpa2mix|psk2mix> [--VARIABLE VALUE]...",
     "set the authentication mode by hand (WPS off) and further security variables "
     "(--wlWpaPsk, --wlKeyIndex, --wlKey1..4, --wlRadiusServerIP, ...)"},
};

const fe_form mac_forms[] = {
    {"show", "", "list filter mode and filtered addresses of the four interfaces"},
    {"allow", "--interface <wl0|wl0.1|wl0.2|wl0.3>", "admit only the listed addresses"},
    {"deny", "--interface <wl0|wl0.1|wl0.2|wl0.3>", "refuse the listed addresses"},
    {"disable", "--interface <wl0|wl0.1|wl0.2|wl0.3>", "switch the filter off"},
    {"addmac", "--interface <wl0|wl0.1|wl0.2|wl0.3> --macaddr MAC[,MAC]...",
     "add addresses to an interface's filter list"},
    {"removemac", "--interface <wl0|wl0.1|wl0.2|wl0.3> --macaddr MAC[,MAC]...",
     "remove addresses from an interface's filter list"},
};

const fe_form wds_forms[] = {
    {"show", "", "show AP mode, bridge restriction and peers"},
    {"scanwdsmac", "", "scan for bridge peers and tell which are configured"},
    {"disablerestrict", "--wlMode <ap|wds>", "store the mode and lift the bridge restriction"},
    {"enablerestrict",
     "--wlMode <ap|wds> --wdsmode <static|dynamic> [--wlWds0 MAC] [--wlWds1 MAC] [--wlWds2 MAC] "
     "[--wlWds3 MAC] [--wlWds MAC[,MAC]...]",
     "restrict bridge links to four fixed peers (static) or to a peer list (dynamic)"},
};

const fe_form adv_forms[] = {
    {"show", "", "show the advanced radio settings"},
    {"config",
     "[--wlChannel N] [--wlCsScanTimer MIN] [--wlNmode <auto|off>] [--wlNBwCap <0|1|2>] "
     "[--wlNCtrlsb <1|-1>] [--wlNMcsidx <-2..15|32>] [--wlNProtection <auto|off>] "
     "[--wlNReqd <0|1>] [--wlRate BPS] [--wlMCastRate BPS] "
     "[--wlBasicRate <default|all|12|wifi2>] [--wlFrgThrshld <256..2346>] "
     "[--wlRtsThrshld <0..2347>] [--wlDtmIntvl <1..255>] [--wlBcnIntvl <1..65535>] "
     "[--wlGlobalMaxAssoc <1..128>] [--wlFrameBurst <on|off>] [--wlgMode <0|1|4|5>] "
     "[--wlProtection <auto|off>] [--wlRegMode <0|1|2>] [--wlDfsPreIsm N] [--wlDfsPostIsm N] "
     "[--wlTpcDb <0|2|3|4>] [--wlTurboEn <auto|off>] [--wlPreambleType <long|short>] "
     "[--wlTxPwrPcnt <20|40|60|80|100>] [--wlWme <-1|0|1>] [--wlWmeNoAck <0|1>] "
     "[--wlWmeApsd <0|1>]",
     "check and change advanced radio settings (at most eleven pairs per request)"},
};

}  // namespace

const fe_command fe_commands[] = {
    {"wlinterface", "wlintfhelp", "switch wireless interfaces on and off", intf_forms, 3},
    {"wlsecurity", "wlsechelp", "authentication, keys and WPS", sec_forms, 3},
    {"wlmacfilter", "wlmacfilterhelp", "the wireless MAC address filter", mac_forms, 6},
    {"wlwds", "wlwdshelp", "the WDS bridge restriction", wds_forms, 4},
    {"wladv", "wladvhelp", "advanced radio settings", adv_forms, 2},
};
const int fe_ncommands = sizeof(fe_commands) / sizeof(fe_commands[0]);

const fe_command *fe_command_by_keyword(const std::string &keyword)
{
    for (int i = 0; i < fe_ncommands; i++)
        if (keyword == fe_commands[i].help_keyword)
            return &fe_commands[i];
    return nullptr;
}

const fe_command *fe_command_by_word(const std::string &word)
{
    for (int i = 0; i < fe_ncommands; i++)
        if (word == fe_commands[i].word)
            return &fe_commands[i];
    return nullptr;
}

std::string fe_help_text(const fe_command &c)
{
    std::string out = std::string("usage: dorvan ") + c.word + " <sub-command> [options]\n" +
                      "  " + c.summary + "\n\nsub-commands:\n";
    for (int i = 0; i < c.nforms; i++) {
        const fe_form &f = c.forms[i];
        out += std::string("  ") + c.word + " " + f.sub;
        if (f.options[0] != '\0')
            out += std::string(" ") + f.options;
        out += std::string("\n      ") + f.what + "\n";
    }
    out += "\nSub-commands and option words ignore letter case; values are taken as typed.\n";
    return out;
}
