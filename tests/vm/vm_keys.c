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

static void emit(int fd, int type, int code, int value)
{
    struct input_event ev;
    memset(&ev, 0, sizeof ev);
    ev.type = type;
    ev.code = code;
    ev.value = value;
    if (write(fd, &ev, sizeof ev) != sizeof ev)
        perror("vm_keys: write");
}

int main(void)
{
    int rf = open("/dev/rfkill", O_RDWR);
    if (rf < 0 || ioctl(rf, RFKILL_IOCTL_NOINPUT) != 0)
        perror("vm_keys: /dev/rfkill");
    int fd = open("/dev/uinput", O_WRONLY);
    struct uinput_setup us;
    memset(&us, 0, sizeof us);
    strcpy(us.name, "dorvan-vm-board");
    us.id.bustype = BUS_VIRTUAL;
    char name[64] = "";
    if (fd < 0 || ioctl(fd, UI_SET_EVBIT, EV_KEY) || ioctl(fd, UI_SET_KEYBIT, KEY_RESTART) ||
        ioctl(fd, UI_SET_KEYBIT, KEY_WPS_BUTTON) || ioctl(fd, UI_SET_EVBIT, EV_SW) ||
        ioctl(fd, UI_SET_SWBIT, SW_RFKILL_ALL) || ioctl(fd, UI_DEV_SETUP, &us) ||
        ioctl(fd, UI_DEV_CREATE) || ioctl(fd, UI_GET_SYSNAME(sizeof name), name) < 0) {
        perror("vm_keys: uinput");
        return 1;
    }
    printf("%s\n", name);
    fflush(stdout);
    char line[64], kind[8];
    int code, value;
    while (fgets(line, sizeof line, stdin))
        if (sscanf(line, "%7s %i %i", kind, &code, &value) == 3) {
            emit(fd, strcmp(kind, "sw") == 0 ? EV_SW : EV_KEY, code, value);
            emit(fd, EV_SYN, SYN_REPORT, 0);
        }
    return 0;
}
