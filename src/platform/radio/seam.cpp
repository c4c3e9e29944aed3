// The radio seam: DORVAN_RADIO picks the backend; "none" stores only.
#include "radio.h"
#include "radio_internal.h"
#include "cfg_framework.h"
#include "platform_internal.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

namespace dplat {
namespace radio {

namespace {

void no_tick(int) {}
void no_stored(const std::string *) {}
void no_wps(int, const char *) {}
// Settings are stored only: no system call per pass.
const Ops kNoneOps = {"none", no_tick, no_stored, no_wps};
const Ops *const kBackends[] = {&kNoneOps, &kHostapdOps};

// getenv only: the default path must cost nothing per pass.
const Ops &backend()
{
    const char *m = getenv("DORVAN_RADIO");
    if (m == nullptr || m[0] == '\0')
        return kNoneOps;
    for (const Ops *ops : kBackends)
        if (strcmp(m, ops->name) == 0)
            return *ops;
    static bool told = false;
    if (!told) {
        told = true;
        log_log(CFG_LOG_ERR, __func__, __LINE__, "DORVAN_RADIO=%s unknown: settings are stored only", m);
    }
    return kNoneOps;
}

bool safe_value(const std::string &s, size_t max)
{
    if (s.empty() || s.size() > max)
        return false;
    for (unsigned char c : s)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
              c == '_' || c == '-' || c == '.' || c == ','))
            return false;
    return true;
}

std::string env_or(const char *name, const char *fallback)
{
    const char *v = getenv(name);
    return v != nullptr && v[0] != '\0' ? v : fallback;
}

// A relative root against the working directory, "." and empty steps left
// out: hostapd is given whole paths, and its command line is compared with
// ours as spelled. "" without a working directory.
std::string absolute(const std::string &path)
{
    char cwd[PATH_MAX];
    if (path.empty() || path[0] == '/')
        return path;
    if (getcwd(cwd, sizeof(cwd)) == nullptr)
        return std::string();
    std::string whole = std::string(cwd) + "/" + path, out;
    for (size_t p = 0, e; p < whole.size(); p = e + 1) {
        e = std::min(whole.find('/', p), whole.size());
        if (e > p && whole.compare(p, e - p, ".") != 0)
            out += "/" + whole.substr(p, e - p);
    }
    return out;
}

} // namespace

bool read_env(Env *env)
{
    env->program = env_or("DORVAN_HOSTAPD", "/usr/sbin/hostapd");
    env->driver = env_or("DORVAN_HOSTAPD_DRIVER", "nl80211");
    env->ifname = env_or("DORVAN_RADIO_IFNAME", "wlan0");
    env->ctrlDir = absolute(root_path("/var/run/hostapd"));
    env->radioDir = absolute(root_path(DORVAN_RADIO_DIR));
    // Each lands in hostapd's file or on its command line as one value; an
    // interface name leaves room for "-3" within IFNAMSIZ.
    const char *bad = !safe_value(env->driver, 32)                        ? "DORVAN_HOSTAPD_DRIVER"
                      : !safe_value(env->ifname, 13)                      ? "DORVAN_RADIO_IFNAME"
                      : env->radioDir.empty() || !printable_ascii(env->ctrlDir + env->radioDir) ? "DORVAN_ROOT"
                      : env->program.empty()                             ? "DORVAN_HOSTAPD"
                                                                         : nullptr;
    if (bad != nullptr) {
        log_log(CFG_LOG_ERR, __func__, __LINE__, "%s unusable: the radio stays off", bad);
        return false;
    }
    // A socket path holds 107 bytes: hostapd's own and our client's
    // "/.dorvan-PID-SEQ" beside it must fit.
    if (env->ctrlDir.size() + kCtrlNameMax >= sizeof(((struct sockaddr_un *)nullptr)->sun_path)) {
        log_log(CFG_LOG_ERR, __func__, __LINE__,
                "DORVAN_ROOT too long for hostapd's control socket %s: the radio stays off",
                env->ctrlDir.c_str());
        return false;
    }
    return true;
}

std::string iface_name(const Env &env, int i)
{
    return i == 0 ? env.ifname : env.ifname + "-" + char('0' + i);
}

} // namespace radio
} // namespace dplat

using namespace dplat::radio;

void radio_tick(int switchOn)
{
    backend().tick(switchOn);
}

void radio_stored(bool ok, const std::string wps[WL_IFACE_COUNT])
{
    if (ok)
        backend().stored(wps);
}

void radio_wps_button()
{
    backend().wps(0, "client-pbc");
}

std::string radio_render(const DorvanImage &img, int switchOn)
{
    Env env;
    if (!read_env(&env))
        return std::string();
    RadioPlan plan = make_plan(env, img, switchOn);
    const Section *use[4] = {nullptr, nullptr, nullptr, nullptr};
    for (int i = 0; i < 4; i++)
        if (plan.on[i] && plan.bss[i].refused.empty())
            use[i] = &plan.bss[i];
    if (!plan.radio.refused.empty())
        use[0] = nullptr;
    return assemble(env, plan.radio, use);
}

std::string radio_describe(const DorvanImage &img, int switchOn)
{
    Env env;
    if (!read_env(&env))
        return "radio: environment unusable\n";
    std::string out;
    // What hostapd runs, not a rendering of ours: the daemon's environment
    // and its last good values may differ from this process's.
    std::string conf;
    std::string path = env.radioDir + "/hostapd.conf";
    int rc = dplat::read_whole_file(path, &conf);
    int err = errno;
    RadioPlan plan = make_plan(env, img, switchOn);
    for (size_t p = 0, e; (e = plan.refused.find(' ', p)) != std::string::npos; p = e + 1)
        out += "# refused: " + plan.refused.substr(p, e - p) + "\n";
    if (rc != 0)
        out += "# no " + path + ": " + (err == ENOENT ? "hostapd never configured" : dplat::read_failure(err)) + "\n";
    else if (conf.empty())
        out += "# radio off\n";
    out += masked(conf) + hostapd_states(env, conf);
    // Replies and files come from other programs: no terminal control
    // sequence of theirs reaches the user's screen.
    for (char &c : out)
        if (c != '\n' && ((unsigned char)c < 0x20 || (unsigned char)c >= 0x7f))
            c = '?';
    return out;
}

int radio_request(const char *ifname, const char *cmd, std::string *reply, int timeoutMs)
{
    Env env;
    if (ifname == nullptr || cmd == nullptr || !read_env(&env))
        return -1;
    return request(env.ctrlDir, ifname, cmd, reply, timeoutMs);
}
