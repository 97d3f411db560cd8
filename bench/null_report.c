/* The baseline for a machine without cameras: a program that only creates
 * "CameraInfo.txt" and writes "null" and a line feed, as camera-info then does. */
#include <fcntl.h>
#include <unistd.h>

int main(void) {
    const int fd = open("CameraInfo.txt", O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd >= 0) {
        (void)!write(fd, "null\n", 5);
        close(fd);
    }
    return 0;
}
