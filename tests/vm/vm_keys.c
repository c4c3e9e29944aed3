/* The guest's board: a uinput device with the reset and WPS keys and the
 * wireless switch. Prints the device's sysfs name, then takes lines
 * "key CODE VALUE" or "sw CODE VALUE" on standard input. The kernel's own
 * rfkill handler is kept off the switch (as on a gateway, dorvand follows it). */
#include <fcntl.h>
#include <linux/rfkill.h>
#include <linux/uinput.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(void)
{
    int rf = open("/dev/rfkill", O_RDWR);
    if (rf < 0 || ioctl(rf, RFKILL_IOCTL_NOINPUT) != 0)
        perror("vm_keys: /dev/rfkill");
    int fd = open("/dev/uinput", O_WRONLY);
    struct uinput_setup us = {.id.bustype = BUS_VIRTUAL, .name = "dorvan-vm-board"};
    char name[64] = "";
    if (fd < 0 || ioctl(fd, UI_SET_EVBIT, EV_KEY) || ioctl(fd, UI_SET_KEYBIT, KEY_RESTART) ||
        ioctl(fd, UI_SET_KEYBIT, KEY_WPS_BUTTON) || ioctl(fd, UI_SET_EVBIT, EV_SW) ||
        ioctl(fd, UI_SET_SWBIT, SW_RFKILL_ALL) || ioctl(fd, UI_DEV_SETUP, &us) ||
        ioctl(fd, UI_DEV_CREATE) || ioctl(fd, UI_GET_SYSNAME(sizeof name), name) < 0) {
        perror("vm_keys: uinput");
        return 1;
    }
    dprintf(1, "%s\n", name);
    char line[64], kind[8];
    int code, value;
    while (fgets(line, sizeof line, stdin))
        if (sscanf(line, "%7s %i %i", kind, &code, &value) == 3) {
            /* The event, then the report that hands it on. */
            struct input_event ev[2] = {{.type = strcmp(kind, "sw") == 0 ? EV_SW : EV_KEY, .code = code, .value = value},
                                        {.type = EV_SYN, .code = SYN_REPORT}};
            if (write(fd, ev, sizeof ev) != sizeof ev)
                perror("vm_keys: write");
        }
    return 0;
}
