/* The least a lister of video nodes can do: open each /dev/videoN, ask it
 * VIDIOC_QUERYCAP and close it. A yardstick for the guest's benchmarks. */
#include <dirent.h>
#include <fcntl.h>
#include <linux/videodev2.h>
#include <stdio.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

int main(void)
{
	DIR *dev = opendir("/dev");
	if (!dev)
		return 1;
	for (struct dirent *entry; (entry = readdir(dev));) {
		if (strncmp(entry->d_name, "video", 5) != 0)
			continue;
		char path[300];
		snprintf(path, sizeof path, "/dev/%s", entry->d_name);
		const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
		if (fd < 0)
			continue;
		struct v4l2_capability capability;
		if (ioctl(fd, VIDIOC_QUERYCAP, &capability) == 0)
			printf("%s %s\n", path, (const char *)capability.card);
		close(fd);
	}
	closedir(dev);
	return 0;
}
