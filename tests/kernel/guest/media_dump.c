/* What a media device's graph holds, for the guest's record: each entity
 * with its function, its pads and the device nodes that stand for it.
 *   media_dump /dev/mediaN... */
#include <fcntl.h>
#include <linux/media.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

static int dump(const char *path)
{
	int fd = open(path, O_RDONLY | O_CLOEXEC);
	if (fd < 0)
		return 1;
	struct media_v2_topology t = { 0 };
	if (ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &t) != 0)
		return close(fd), 1;
	struct media_v2_entity *entities = calloc(t.num_entities + 1, sizeof *entities);
	struct media_v2_interface *interfaces = calloc(t.num_interfaces + 1, sizeof *interfaces);
	struct media_v2_pad *pads = calloc(t.num_pads + 1, sizeof *pads);
	struct media_v2_link *links = calloc(t.num_links + 1, sizeof *links);
	t.ptr_entities = (uintptr_t)entities;
	t.ptr_interfaces = (uintptr_t)interfaces;
	t.ptr_pads = (uintptr_t)pads;
	t.ptr_links = (uintptr_t)links;
	if (ioctl(fd, MEDIA_IOC_G_TOPOLOGY, &t) != 0)
		return close(fd), 1;
	close(fd);
	printf("%s:\n", path);
	for (uint32_t e = 0; e < t.num_entities; ++e) {
		printf("  entity %u \"%s\" function 0x%08x pads:", entities[e].id, entities[e].name,
			entities[e].function);
		int none = 1;
		for (uint32_t p = 0; p < t.num_pads; ++p) {
			if (pads[p].entity_id != entities[e].id)
				continue;
			none = 0;
			printf(" %s",
				(pads[p].flags & MEDIA_PAD_FL_SINK)		? "sink"
					: (pads[p].flags & MEDIA_PAD_FL_SOURCE) ? "source"
										: "?");
		}
		if (none)
			printf(" none");
		for (uint32_t l = 0; l < t.num_links; ++l) {
			if ((links[l].flags & MEDIA_LNK_FL_LINK_TYPE) != MEDIA_LNK_FL_INTERFACE_LINK ||
				links[l].sink_id != entities[e].id)
				continue;
			for (uint32_t i = 0; i < t.num_interfaces; ++i) {
				if (interfaces[i].id == links[l].source_id)
					printf(" node %u:%u", interfaces[i].devnode.major, interfaces[i].devnode.minor);
			}
		}
		printf("\n");
	}
	free(entities);
	free(interfaces);
	free(pads);
	free(links);
	return 0;
}

int main(int argc, char **argv)
{
	int status = 0;
	for (int i = 1; i < argc; ++i)
		status |= dump(argv[i]);
	return status;
}
