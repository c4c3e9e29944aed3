#include "cmdtable.h"

#include "protocol.h"

namespace {

const fe_form wlinterface_forms[] = {
    {"show", "", "list the four interfaces: state, SSID, country, limits and flags"},
    {"enable",
     "--interface " WL_IFACE_CHOICE " [--wlSsid SSID] [--wlMaxAssoc N] [--wlHide <0|1>] "
     "[--wlAPIsolation <0|1>] [--wlDisableWme <0|1>] [--VARIABLE VALUE]...",
     "switch an interface on and set further per-interface variables; wl0.1-wl0.3 need wl0 "
     "enabled"},
    {"disable", "--interface " WL_IFACE_CHOICE, "switch an interface off"},
};

const fe_form wlsecurity_forms[] = {
    {"show", "", "list SSID, authentication, keys and WPS state of the four interfaces"},
    {"wpssetup",
     "--interface " WL_IFACE_CHOICE " "
     "--operation <addenrollee_Pin|addenrollee_PBC|configureAP|addER|addERDone> "
     "[--wlWscAPMode <0|1>] [--wlWscStaPin PIN] [--configmode <pin|pbc>]",
     "start a WPS operation on an interface"},
    {"manualsetup",
     "--interface " WL_IFACE_CHOICE " "
     "--wlAuthMode <open|shared|radius|wpa|psk|wpa2|psk2|wpa2mix|psk2mix> [--wlWpaPsk KEY] "
     "[--wlWpa CIPHER] [--wlKeyBit <0|1>] [--wlKeyIndex <1|2|3|4>] [--wlKey1 KEY] [--wlKey2 KEY] "
     "[--wlKey3 KEY] [--wlKey4 KEY] [--wlRadiusServerIP IP] [--wlRadiusPort PORT] "
     "[--wlRadiusKey KEY] [--wlPreauth <0|1>] [--wlNetReauth SECONDS] "
     "[--wlWpaGTKRekey SECONDS] [--VARIABLE VALUE]...",
     "set the authentication mode by hand (WPS off) and further security variables"},
};

const fe_form wlmacfilter_forms[] = {
    {"show", "", "list filter mode and filtered addresses of the four interfaces"},
    {"allow", "--interface " WL_IFACE_CHOICE, "admit only the listed addresses"},
    {"deny", "--interface " WL_IFACE_CHOICE, "refuse the listed addresses"},
    {"disable", "--interface " WL_IFACE_CHOICE, "switch the filter off"},
    {"addmac", "--interface " WL_IFACE_CHOICE " --macaddr MAC[,MAC]...",
     "add addresses to an interface's filter list"},
    {"removemac", "--interface " WL_IFACE_CHOICE " --macaddr MAC[,MAC]...",
     "remove addresses from an interface's filter list"},
};

const fe_form wlwds_forms[] = {
    {"show", "", "show AP mode, bridge restriction and peers"},
    {"scanwdsmac", "", "scan for bridge peers and tell which are configured"},
    {"disablerestrict", "--wlMode <ap|wds>", "store the mode and lift the bridge restriction"},
    {"enablerestrict",
     "--wlMode <ap|wds> --wdsmode <static|dynamic> [--wlWds0 MAC] [--wlWds1 MAC] [--wlWds2 MAC] "
     "[--wlWds3 MAC] [--wlWds MAC[,MAC]...]",
     "restrict bridge links to four fixed peers (static) or to a peer list (dynamic)"},
};

const fe_form wladv_forms[] = {
    {"show", "", "show the advanced radio settings"},
    {"config",
     "[--wlBands <1|2>] [--wlChannel N] [--wlCsScanTimer MIN] [--wlNmode <auto|off>] [--wlNBwCap <0|1|2>] "
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

// Forms and their counts come with the daemon's words, so neither side can
// have a word the other lacks.
#define FE_COMMAND(word, help, handler, summary) \
    {#word, help, summary, word##_forms, (int)(sizeof(word##_forms) / sizeof(word##_forms[0]))},
const fe_command fe_commands[] = {DORVAN_COMMANDS(FE_COMMAND)};
#undef FE_COMMAND
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

namespace {

// The synopsis split at blanks, brackets and trailing "..." taken off.
std::vector<std::string> synopsis_words(const fe_form &f)
{
    std::vector<std::string> out;
    std::string s = f.options;
    size_t i = 0;
    while (i < s.size()) {
        size_t j = s.find(' ', i);
        if (j == std::string::npos)
            j = s.size();
        std::string w = s.substr(i, j - i);
        i = j + 1;
        while (!w.empty() && w.front() == '[')
            w.erase(0, 1);
        while (w.size() >= 3 && w.compare(w.size() - 3, 3, "...") == 0)
            w.erase(w.size() - 3);
        while (!w.empty() && w.back() == ']')
            w.pop_back();
        if (!w.empty())
            out.push_back(w);
    }
    return out;
}

bool is_option_word(const std::string &w)
{
    if (w.size() < 3 || w.compare(0, 2, "--") != 0)
        return false;
    for (size_t i = 2; i < w.size(); i++)
        if (w[i] >= 'a' && w[i] <= 'z')
            return true;
    return false;  // --VARIABLE and the like
}

std::string lower(std::string s)
{
    for (char &c : s)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return s;
}

std::string joined(const std::vector<std::string> &v)
{
    std::string out;
    for (const std::string &w : v)
        out += (out.empty() ? "" : " ") + w;
    return out;
}

}  // namespace

std::vector<std::string> fe_option_words(const fe_form &f)
{
    std::vector<std::string> out;
    for (const std::string &w : synopsis_words(f)) {
        if (!is_option_word(w))
            continue;
        bool seen = false;
        for (const std::string &o : out)
            seen = seen || o == w;
        if (!seen)
            out.push_back(w);
    }
    return out;
}

std::vector<std::string> fe_option_values(const fe_form &f, const std::string &option)
{
    std::vector<std::string> words = synopsis_words(f);
    for (size_t i = 0; i + 1 < words.size(); i++) {
        const std::string &v = words[i + 1];
        if (lower(words[i]) != lower(option) || v.size() < 2 || v.front() != '<' || v.back() != '>')
            continue;
        std::vector<std::string> out;
        std::string list = v.substr(1, v.size() - 2) + "|";
        size_t a = 0, b;
        while ((b = list.find('|', a)) != std::string::npos) {
            std::string item = list.substr(a, b - a);
            if (!item.empty() && item.find("..") == std::string::npos)
                out.push_back(item);
            a = b + 1;
        }
        return out;
    }
    return {};
}

std::string fe_completion_bash()
{
    // Sub-commands and option words are matched without regard to case by
    // the daemon, so the script looks them up in lower case.
    std::string words, subs, opts, vals;
    for (int i = 0; i < fe_ncommands; i++) {
        const fe_command &c = fe_commands[i];
        words += (words.empty() ? "" : " ") + std::string(c.word);
        std::vector<std::string> sub_words;
        for (int j = 0; j < c.nforms; j++) {
            const fe_form &f = c.forms[j];
            sub_words.push_back(f.sub);
            std::string key = std::string(c.word) + " " + lower(f.sub);
            std::vector<std::string> ow = fe_option_words(f);
            if (!ow.empty())
                opts += "        \"" + key + "\") w=\"" + joined(ow) + "\" ;;\n";
            for (const std::string &o : ow) {
                std::vector<std::string> ov = fe_option_values(f, o);
                if (!ov.empty())
                    vals += "        \"" + key + " " + lower(o) + "\") w=\"" + joined(ov) + "\" ;;\n";
            }
        }
        subs += "        " + std::string(c.word) + ") w=\"" + joined(sub_words) + "\" ;;\n";
    }
    return "# bash completion for dorvan, generated by `dorvan --completion bash`\n"
           "_dorvan()\n"
           "{\n"
           "    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
           "    local i=1 cmd='' sub='' w=''\n"
           "    COMPREPLY=()\n"
           "    # Front-end options come before the command word.\n"
           "    while [ \"$i\" -lt \"$COMP_CWORD\" ]; do\n"
           "        case ${COMP_WORDS[i]} in\n"
           "        --timeout) i=$((i + 2)) ;;\n"
           "        --) i=$((i + 1)); break ;;\n"
           "        -*) i=$((i + 1)) ;;\n"
           "        *) break ;;\n"
           "        esac\n"
           "    done\n"
           "    [ $i -lt $COMP_CWORD ] && cmd=${COMP_WORDS[i]}\n"
           "    [ $((i + 1)) -lt $COMP_CWORD ] && sub=${COMP_WORDS[i+1],,}\n"
           "    if [ -z \"$cmd\" ]; then\n"
           "        [ $i -gt $COMP_CWORD ] && return 0  # the value of --timeout\n"
           "        case $cur in\n"
           "        -*) w=\"--timeout --list --help --completion\" ;;\n"
           "        *) w=\"" + words + "\" ;;\n"
           "        esac\n"
           "    elif [ -z \"$sub\" ]; then\n"
           "        case $cmd in\n" + subs +
           "        esac\n"
           "    elif [ $((i + 2)) -lt $COMP_CWORD ] && [[ $prev == --* ]]; then\n"
           "        case \"$cmd $sub ${prev,,}\" in\n" + vals +
           "        esac\n"
           "    else\n"
           "        case \"$cmd $sub\" in\n" + opts +
           "        esac\n"
           "    fi\n"
           "    COMPREPLY=($(compgen -W \"$w\" -- \"$cur\"))\n"
           "}\n"
           "complete -F _dorvan dorvan\n";
}
