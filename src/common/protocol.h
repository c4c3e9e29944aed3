// What dorvand and its tools agree on: the pipes, the sizes of a request and
// a reply, the interface names and the command words.
#ifndef DORVAN_PROTOCOL_H
#define DORVAN_PROTOCOL_H

#define REQUEST_PIPE "/var/param_fifo1"
#define REPLY_PIPE "/var/param_fifo2"
// A request is at most this many bytes, its NUL included.
#define CLI_REQUEST_SIZE 512
// A reply is at most this many bytes, its NUL included: within PIPE_BUF.
#define SENDBUF_SIZE 4096

#define WL_IFACE_COUNT 4
#define WL_IFACE_NAMES "wl0", "wl0.1", "wl0.2", "wl0.3"
#define WL_IFACE_CHOICE "<wl0|wl0.1|wl0.2|wl0.3>"

// The help keywords: a request answered with one asks the front end to show
// that command's help text.
#define WLINTF_HELP "wlintfhelp"
#define WLSEC_HELP "wlsechelp"
#define WLMACFILTER_HELP "wlmacfilterhelp"
#define WLWDS_HELP "wlwdshelp"
#define WLADV_HELP "wladvhelp"

// The command words, in the order the tools list them:
//   X(word, help keyword, handler, one-line summary)
// The daemon dispatches on word to handler; the tools pair each word with
// its forms (word##_forms) for help texts, --list, completion and the
// man-page check.
#define DORVAN_COMMANDS(X)                                                               \
    X(wlinterface, WLINTF_HELP, processWlIntfCmd, "switch wireless interfaces on and off") \
    X(wlsecurity, WLSEC_HELP, processWlSecurityCmd, "authentication, keys and WPS")        \
    X(wlmacfilter, WLMACFILTER_HELP, processWlMacfilterCmd, "the wireless MAC address filter") \
    X(wlwds, WLWDS_HELP, processWlWDSCmd, "the WDS bridge restriction")                    \
    X(wladv, WLADV_HELP, processWlAdvCmd, "advanced radio settings")

#endif
