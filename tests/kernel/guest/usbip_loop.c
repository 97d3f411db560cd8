/* usbip_loop: plugs the USB/IP virtual device controller (usbip-vudc) into
 * the USB/IP virtual host controller (vhci_hcd) of the same machine, with no
 * network and no usbip tools: both drivers take one end of a socket pair
 * through sysfs and keep it, so this program can end at once. The gadget
 * must be bound and connected (its responder running) first, or usbip-vudc
 * answers ENODEV.
 *   usbip_loop VUDC_SYSFS_DIR VHCI_SYSFS_DIR PORT */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/socket.h>

static int put(const char *dir, const char *attribute, const char *value)
{
	char path[512];
	snprintf(path, sizeof path, "%s/%s", dir, attribute);
	int fd = open(path, O_WRONLY);
	if (fd < 0 || write(fd, value, strlen(value)) < 0) {
		perror(path);
		return -1;
	}
	close(fd);
	return 0;
}

int main(int argc, char **argv)
{
	int pair[2];
	char text[64];
	if (argc != 4) {
		fprintf(stderr, "usage: %s VUDC_DIR VHCI_DIR PORT\n", argv[0]);
		return 2;
	}
	if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) < 0) {
		perror("socketpair");
		return 1;
	}
	snprintf(text, sizeof text, "%d", pair[0]);
	if (put(argv[1], "usbip_sockfd", text))
		return 1;
	/* "port sockfd devid speed": devid (bus << 16 | device) only labels
	 * messages; speed 3 is high speed, which the UVC gadget needs. */
	int port = atoi(argv[3]);
	snprintf(text, sizeof text, "%d %d %d 3", port, pair[1], (1 << 16) | (port + 2));
	return put(argv[2], "attach", text) ? 1 : 0;
}
