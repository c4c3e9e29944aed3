// Data-model objects. Only the LAN IP interface exists here.
#include "cfg_framework.h"
#include "platform_internal.h"

#include <stdlib.h>
#include <string.h>

namespace {

bool is_first(const InstanceIdStack *iid)
{
    if (iid->currentDepth != 0)
        return false;
    for (uint32_t v : iid->instance)
        if (v != 0)
            return false;
    return true;
}

} // namespace

extern "C" {

int cfgObj_getNext(int oid, InstanceIdStack *iidStack, void **obj)
{
    if (oid != CFG_OID_LAN_IP_INTF || iidStack == nullptr || obj == nullptr ||
        !is_first(iidStack))
        return CFG_RET_NO_MORE_INSTANCES;
    // The stored data model, not anyone's working copy.
    // Unreadable: no address rather than the factory one.
    DorvanImage img;
    if (dplat::load_image(false, &img) < 0)
        return CFG_RET_INTERNAL_ERROR;
    auto it = img.vars.find("lanIPAddress");
    if (it == img.vars.end() || it->second.empty())
        return CFG_RET_NO_MORE_INSTANCES;
    LanIpIntfObject *lan = (LanIpIntfObject *)calloc(1, sizeof(LanIpIntfObject));
    if (lan == nullptr)
        return CFG_RET_INTERNAL_ERROR;
    lan->enable = 1;
    lan->IPInterfaceIPAddress = strdup(it->second.c_str());
    lan->IPInterfaceSubnetMask = strdup("255.255.255.0");
    if (lan->IPInterfaceIPAddress == nullptr || lan->IPInterfaceSubnetMask == nullptr) {
        void *p = lan;
        cfgObj_free(&p);
        return CFG_RET_INTERNAL_ERROR;
    }
    iidStack->currentDepth = 1;
    iidStack->instance[0] = 1;
    *obj = lan;
    return CFG_RET_SUCCESS;
}

void cfgObj_free(void **obj)
{
    if (obj == nullptr || *obj == nullptr)
        return;
    // The LAN IP interface is the only kind handed out.
    LanIpIntfObject *lan = (LanIpIntfObject *)*obj;
    free(lan->IPInterfaceIPAddress);
    free(lan->IPInterfaceSubnetMask);
    free(lan);
    *obj = nullptr;
}

} // extern "C"
