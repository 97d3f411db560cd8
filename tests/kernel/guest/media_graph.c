// SPDX-License-Identifier: GPL-2.0
/*
 * media_graph: media-controller graphs like those of real camera pipelines
 * (an IPU6 laptop, a Raspberry Pi's unicam and ISP, rkisp1), built in a test
 * guest from module parameters, so that camera-info reads them through the
 * kernel's own ioctls and sysfs. Nothing streams: video nodes open and answer
 * VIDIOC_QUERYCAP, which is all camera-info asks of them.
 *
 * Up to four graphs, graph0 .. graph3, each one media device under a
 * platform device of its own, each written as
 *
 *     PARENT;ENTITY|ENTITY|...;LINK LINK ...
 *
 * PARENT   the platform device's name (/sys/devices/platform/PARENT)
 * ENTITY   KIND[/PADS]:NAME, numbered 0, 1, ... in order; PADS ('i' a sink,
 *          'o' a source, pad 0 first) stands in for the kind's own pads
 *          KIND      function                     pads
 *          sensor    MEDIA_ENT_F_CAM_SENSOR       o
 *          lens      MEDIA_ENT_F_LENS             -
 *          bridge    MEDIA_ENT_F_VID_IF_BRIDGE    io
 *          isp       MEDIA_ENT_F_PROC_VIDEO_ISP   io
 *          scaler    MEDIA_ENT_F_PROC_VIDEO_SCALER io
 *          decoder   MEDIA_ENT_F_ATV_DECODER      io
 *          capture   a video node: VIDEO_CAPTURE           i
 *          capturemp a video node: VIDEO_CAPTURE_MPLANE    i
 *          output    a video node: VIDEO_OUTPUT            o
 *          meta      a video node: META_CAPTURE            i
 *          metaout   a video node: META_OUTPUT             o
 * LINK     S.P>T.Q[:FLAGS], a data link from pad P of entity S to pad Q of
 *          entity T, FLAGS 'e' enabled and 'i' immutable (none: disabled,
 *          as IPU6 starts its links); or S~T, an ancillary link (a lens)
 *
 * A name holds neither ';' nor '|'; the kernel keeps 31 bytes of it. As a
 * parameter, the description is percent-encoded (%20 for a space): module options
 * are split at blanks before any quoting is looked at.
 */
#include <linux/ctype.h>
#include <linux/kernel.h>
#include <linux/module.h>
#include <linux/platform_device.h>
#include <linux/slab.h>
#include <linux/string.h>
#include <media/media-device.h>
#include <media/media-entity.h>
#include <media/v4l2-dev.h>
#include <media/v4l2-device.h>
#include <media/v4l2-fh.h>
#include <media/v4l2-ioctl.h>
#include <media/v4l2-subdev.h>

#define MG_GRAPHS 4
#define MG_ENTITIES 64
#define MG_PADS 16
#define MG_DRIVER "camera_info_graph"

/* Strings of their own: the kernel keeps no more than 1024 bytes of a charp. */
#define MG_DESCRIPTION 4096
static char graph0[MG_DESCRIPTION], graph1[MG_DESCRIPTION], graph2[MG_DESCRIPTION], graph3[MG_DESCRIPTION];
module_param_string(graph0, graph0, MG_DESCRIPTION, 0444);
module_param_string(graph1, graph1, MG_DESCRIPTION, 0444);
module_param_string(graph2, graph2, MG_DESCRIPTION, 0444);
module_param_string(graph3, graph3, MG_DESCRIPTION, 0444);
MODULE_PARM_DESC(graph0, "PARENT;ENTITIES;LINKS (see the source)");

struct mg_entity {
	bool video;
	u32 function;
	u32 caps;
	int npads;
	struct media_pad pads[MG_PADS];
	char name[32];
	struct v4l2_subdev sd;
	struct video_device vdev;
};

struct mg_graph {
	struct media_device mdev;
	struct v4l2_device v4l2;
	struct mutex lock;
	int count;
	struct mg_entity *entities;
};

static const struct {
	const char *kind;
	bool video;
	u32 function;
	u32 caps;
	const char *pads;
} mg_kinds[] = {
	{ "sensor", false, MEDIA_ENT_F_CAM_SENSOR, 0, "o" },
	{ "lens", false, MEDIA_ENT_F_LENS, 0, "" },
	{ "bridge", false, MEDIA_ENT_F_VID_IF_BRIDGE, 0, "io" },
	{ "isp", false, MEDIA_ENT_F_PROC_VIDEO_ISP, 0, "io" },
	{ "scaler", false, MEDIA_ENT_F_PROC_VIDEO_SCALER, 0, "io" },
	{ "decoder", false, MEDIA_ENT_F_ATV_DECODER, 0, "io" },
	{ "capture", true, 0, V4L2_CAP_VIDEO_CAPTURE, "i" },
	{ "capturemp", true, 0, V4L2_CAP_VIDEO_CAPTURE_MPLANE, "i" },
	{ "output", true, 0, V4L2_CAP_VIDEO_OUTPUT, "o" },
	{ "meta", true, 0, V4L2_CAP_META_CAPTURE, "i" },
	{ "metaout", true, 0, V4L2_CAP_META_OUTPUT, "o" },
};

static struct media_entity *mg_media_entity(struct mg_entity *e)
{
	return e->video ? &e->vdev.entity : &e->sd.entity;
}

static int mg_querycap(struct file *file, void *fh, struct v4l2_capability *cap)
{
	struct video_device *vdev = video_devdata(file);

	strscpy(cap->driver, MG_DRIVER, sizeof(cap->driver));
	strscpy(cap->card, vdev->name, sizeof(cap->card));
	strscpy(cap->bus_info, vdev->v4l2_dev->mdev->bus_info, sizeof(cap->bus_info));
	return 0;
}

static const struct v4l2_ioctl_ops mg_ioctl_ops = {
	.vidioc_querycap = mg_querycap,
};

static const struct v4l2_file_operations mg_fops = {
	.owner = THIS_MODULE,
	.open = v4l2_fh_open,
	.release = v4l2_fh_release,
	.unlocked_ioctl = video_ioctl2,
};

static const struct v4l2_subdev_ops mg_subdev_ops = {};

static int mg_set_pads(struct mg_entity *e, const char *pads)
{
	int i;

	if (strlen(pads) > MG_PADS)
		return -E2BIG;
	for (i = 0; pads[i]; i++) {
		if (pads[i] != 'i' && pads[i] != 'o')
			return -EINVAL;
		e->pads[i].flags = pads[i] == 'i' ? MEDIA_PAD_FL_SINK : MEDIA_PAD_FL_SOURCE;
	}
	e->npads = i;
	return 0;
}

/* KIND[/PADS]:NAME */
static int mg_parse_entity(struct mg_entity *e, char *item)
{
	char *name = strchr(item, ':');
	char *pads;
	int k;

	if (!name)
		return -EINVAL;
	*name++ = '\0';
	pads = strchr(item, '/');
	if (pads)
		*pads++ = '\0';
	for (k = 0; k < ARRAY_SIZE(mg_kinds); k++)
		if (!strcmp(item, mg_kinds[k].kind))
			break;
	if (k == ARRAY_SIZE(mg_kinds) || !*name)
		return -EINVAL;
	e->video = mg_kinds[k].video;
	e->function = mg_kinds[k].function;
	e->caps = mg_kinds[k].caps;
	strscpy(e->name, name, sizeof(e->name));
	return mg_set_pads(e, pads ? pads : mg_kinds[k].pads);
}

static int mg_register_entity(struct mg_graph *g, struct mg_entity *e)
{
	struct media_entity *entity = mg_media_entity(e);
	int ret;

	if (e->video) {
		struct video_device *vdev = &e->vdev;
		bool out = e->caps & (V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_META_OUTPUT);

		strscpy(vdev->name, e->name, sizeof(vdev->name));
		vdev->v4l2_dev = &g->v4l2;
		vdev->fops = &mg_fops;
		vdev->ioctl_ops = &mg_ioctl_ops;
		vdev->release = video_device_release_empty;
		vdev->lock = &g->lock;
		vdev->vfl_dir = out ? VFL_DIR_TX : VFL_DIR_RX;
		vdev->device_caps = e->caps | V4L2_CAP_STREAMING | V4L2_CAP_IO_MC;
		ret = media_entity_pads_init(entity, e->npads, e->npads ? e->pads : NULL);
		if (ret)
			return ret;
		return video_register_device(vdev, VFL_TYPE_VIDEO, -1);
	}
	v4l2_subdev_init(&e->sd, &mg_subdev_ops);
	strscpy(e->sd.name, e->name, sizeof(e->sd.name));
	e->sd.flags |= V4L2_SUBDEV_FL_HAS_DEVNODE;
	e->sd.entity.function = e->function;
	ret = media_entity_pads_init(entity, e->npads, e->npads ? e->pads : NULL);
	if (ret)
		return ret;
	return v4l2_device_register_subdev(&g->v4l2, &e->sd);
}

static struct mg_entity *mg_at(struct mg_graph *g, const char *text, char **end)
{
	unsigned long index = simple_strtoul(text, end, 10);

	return *end != text && index < g->count ? &g->entities[index] : NULL;
}

/* S.P>T.Q[:FLAGS] or S~T */
static int mg_make_link(struct mg_graph *g, char *item)
{
	struct mg_entity *source, *sink;
	unsigned long source_pad, sink_pad;
	u32 flags = 0;
	char *p;

	source = mg_at(g, item, &p);
	if (source && *p == '~') {
		sink = mg_at(g, p + 1, &p);
		if (!sink || *p)
			return -EINVAL;
		return PTR_ERR_OR_ZERO(media_create_ancillary_link(mg_media_entity(source), mg_media_entity(sink)));
	}
	if (!source || *p != '.')
		return -EINVAL;
	source_pad = simple_strtoul(p + 1, &p, 10);
	if (*p != '>')
		return -EINVAL;
	sink = mg_at(g, p + 1, &p);
	if (!sink || *p != '.')
		return -EINVAL;
	sink_pad = simple_strtoul(p + 1, &p, 10);
	if (*p == ':')
		for (p++; *p; p++)
			flags |= *p == 'e' ? MEDIA_LNK_FL_ENABLED : *p == 'i' ? MEDIA_LNK_FL_IMMUTABLE : 0;
	if (*p || source_pad >= source->npads || sink_pad >= sink->npads)
		return -EINVAL;
	return media_create_pad_link(mg_media_entity(source), source_pad, mg_media_entity(sink), sink_pad, flags);
}

/* %XX to the byte it stands for, in place. */
static void mg_decode(char *text)
{
	char *out = text;

	for (; *text; text++) {
		if (text[0] == '%' && isxdigit(text[1]) && isxdigit(text[2])) {
			*out++ = (char)(hex_to_bin(text[1]) << 4 | hex_to_bin(text[2]));
			text += 2;
		} else {
			*out++ = *text;
		}
	}
	*out = '\0';
}

/* Builds the graph of `description` (PARENT;ENTITIES;LINKS) under `dev`. */
static int mg_build(struct device *dev, const char *description)
{
	char *copy = kstrdup(description, GFP_KERNEL), *rest = copy, *entities, *links, *item;
	struct mg_graph *g;
	int i, ret = -EINVAL;

	if (!copy)
		return -ENOMEM;
	mg_decode(copy);
	strsep(&rest, ";");
	entities = strsep(&rest, ";");
	links = rest;
	g = devm_kzalloc(dev, sizeof(*g), GFP_KERNEL);
	if (!g || !entities)
		goto out;
	g->entities = devm_kcalloc(dev, MG_ENTITIES, sizeof(*g->entities), GFP_KERNEL);
	if (!g->entities)
		goto out;
	mutex_init(&g->lock);
	while ((item = strsep(&entities, "|"))) {
		if (g->count == MG_ENTITIES || mg_parse_entity(&g->entities[g->count], item))
			goto out;
		g->count++;
	}

	g->mdev.dev = dev;
	strscpy(g->mdev.model, dev_name(dev), sizeof(g->mdev.model));
	strscpy(g->mdev.driver_name, MG_DRIVER, sizeof(g->mdev.driver_name));
	snprintf(g->mdev.bus_info, sizeof(g->mdev.bus_info), "platform:%s", dev_name(dev));
	media_device_init(&g->mdev);
	g->v4l2.mdev = &g->mdev;
	strscpy(g->v4l2.name, dev_name(dev), sizeof(g->v4l2.name));
	ret = v4l2_device_register(dev, &g->v4l2);
	if (ret)
		goto out;
	for (i = 0; i < g->count; i++) {
		ret = mg_register_entity(g, &g->entities[i]);
		if (ret) {
			dev_err(dev, "entity %d (%s): %d\n", i, g->entities[i].name, ret);
			goto out;
		}
	}
	while (links && (item = strsep(&links, " "))) {
		if (!*item)
			continue;
		ret = mg_make_link(g, item);
		if (ret) {
			dev_err(dev, "link %s: %d\n", item, ret);
			goto out;
		}
	}
	ret = media_device_register(&g->mdev);
	if (!ret)
		ret = v4l2_device_register_subdev_nodes(&g->v4l2);
out:
	/* A graph that fails stays half made: the guest reports it and ends. */
	kfree(copy);
	return ret;
}

static const char *const mg_descriptions[MG_GRAPHS] = { graph0, graph1, graph2, graph3 };

static int built;
module_param(built, int, 0444);
MODULE_PARM_DESC(built, "how many of the graphs were built whole");

/*
 * A graph that cannot be built is reported and left as it is, and the probe
 * succeeds all the same, so that nothing half made is freed under the
 * kernel: the module is never unloaded, and the guest compares `built` with
 * the graphs it asked for.
 */
static int mg_probe(struct platform_device *pdev)
{
	const int *index = dev_get_platdata(&pdev->dev);
	int ret = mg_build(&pdev->dev, mg_descriptions[*index]);

	if (ret)
		dev_err(&pdev->dev, "graph %d: %d\n", *index, ret);
	else
		built++;
	return 0;
}

/*
 * Each graph's parent is bound to a driver of its own name (platform devices
 * and drivers match by name): the V4L2 core looks at the media device's
 * driver when a sub-device node opens.
 */
static struct platform_driver mg_drivers[MG_GRAPHS];
static char mg_names[MG_GRAPHS][64];

static int __init mg_init(void)
{
	int i;

	for (i = 0; i < MG_GRAPHS; i++) {
		const char *description = mg_descriptions[i];
		size_t parent = strcspn(description, ";");
		struct platform_device *pdev;

		if (!*description)
			continue;
		if (parent == 0 || parent >= sizeof(mg_names[i])) {
			pr_err(MG_DRIVER ": graph %d: no parent\n", i);
			continue;
		}
		memcpy(mg_names[i], description, parent);
		mg_names[i][parent] = '\0';
		mg_drivers[i].probe = mg_probe;
		mg_drivers[i].driver.name = mg_names[i];
		if (platform_driver_register(&mg_drivers[i])) {
			pr_err(MG_DRIVER ": graph %d: no driver %s\n", i, mg_names[i]);
			continue;
		}
		pdev = platform_device_alloc(mg_names[i], PLATFORM_DEVID_NONE);
		if (!pdev || platform_device_add_data(pdev, &i, sizeof(i)) || platform_device_add(pdev))
			pr_err(MG_DRIVER ": graph %d: no platform device %s\n", i, mg_names[i]);
	}
	return 0;
}
module_init(mg_init);

MODULE_DESCRIPTION("media-controller graphs for camera-info's kernel tests");
MODULE_LICENSE("GPL");
