/* uvc_responder: the user-space half of a UVC gadget function (usb_f_uvc).
 * The gadget stays unplugged until a process opens its V4L2 output node and
 * subscribes to its events; from then on every class request the host's
 * uvcvideo sends arrives here as an event and is answered. It answers what
 * uvcvideo asks while it probes a camera: the streaming PROBE/COMMIT controls
 * for one uncompressed format, and plausible values for every unit and
 * terminal control. Frames are never streamed: inventory needs none.
 *   uvc_responder /dev/videoN WIDTH HEIGHT MAXPACKET READY_FILE */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <unistd.h>
#include <errno.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <linux/videodev2.h>
#include <linux/usb/ch9.h>
#include <linux/usb/video.h>
#include <linux/usb/g_uvc.h>

static struct uvc_streaming_control probe, commit, defaults;
static unsigned pending_key; /* the control a SET_CUR's data is for */
static int pending_streaming;
static struct {
	unsigned key;
	unsigned char value[8];
} controls[64];

static unsigned char *control_value(unsigned key)
{
	for (int i = 0; i < 64; i++)
		if (controls[i].key == key || controls[i].key == 0) {
			controls[i].key = key;
			return controls[i].value;
		}
	return controls[63].value;
}

static void answer(const struct usb_ctrlrequest *request, struct uvc_request_data *response)
{
	unsigned interface = request->wIndex & 0xff, entity = request->wIndex >> 8, selector = request->wValue >> 8;
	unsigned length = request->wLength > sizeof response->data ? sizeof response->data : request->wLength;
	response->length = -EL2HLT; /* a negative length stalls: "not supported" */
	if ((request->bRequestType & USB_TYPE_MASK) != USB_TYPE_CLASS)
		return;
	if (interface != 0 && entity == 0 && (selector == UVC_VS_PROBE_CONTROL || selector == UVC_VS_COMMIT_CONTROL)) {
		struct uvc_streaming_control *current = selector == UVC_VS_PROBE_CONTROL ? &probe : &commit;
		switch (request->bRequest) {
		case UVC_SET_CUR:
			pending_streaming = 1;
			pending_key = selector;
			response->length = length;
			break;
		case UVC_GET_CUR:
			memcpy(response->data, current, sizeof *current);
			response->length = length;
			break;
		case UVC_GET_MIN:
		case UVC_GET_MAX:
		case UVC_GET_DEF:
			memcpy(response->data, &defaults, sizeof defaults);
			response->length = length;
			break;
		case UVC_GET_RES:
			response->length = length;
			break;
		case UVC_GET_LEN:
			response->data[0] = sizeof defaults;
			response->length = 2;
			break;
		case UVC_GET_INFO:
			response->data[0] = 3;
			response->length = 1;
			break;
		}
	} else if (interface == 0 && entity == 0) { /* the interface's own controls */
		if (selector == UVC_VC_REQUEST_ERROR_CODE_CONTROL && request->bRequest == UVC_GET_CUR) {
			response->data[0] = 6;
			response->length = 1;
		}
		if (selector == UVC_VC_REQUEST_ERROR_CODE_CONTROL && request->bRequest == UVC_GET_INFO) {
			response->data[0] = 1;
			response->length = 1;
		}
	} else if (interface == 0) { /* unit and terminal controls */
		unsigned key = entity << 8 | selector;
		switch (request->bRequest) {
		case UVC_SET_CUR:
			pending_streaming = 0;
			pending_key = key;
			response->length = length;
			break;
		case UVC_GET_CUR:
			memcpy(response->data, control_value(key), length > 8 ? 8 : length);
			response->length = length;
			break;
		case UVC_GET_MIN:
		case UVC_GET_DEF:
			response->length = length;
			break;
		case UVC_GET_MAX:
			response->data[0] = 0xff;
			response->length = length;
			break;
		case UVC_GET_RES:
			response->data[0] = 1;
			response->length = length;
			break;
		case UVC_GET_LEN:
			response->data[0] = length;
			response->length = 2;
			break;
		case UVC_GET_INFO:
			response->data[0] = 3;
			response->length = 1;
			break;
		}
	}
}

int main(int argc, char **argv)
{
	if (argc != 6) {
		fprintf(stderr, "usage: %s /dev/videoN WIDTH HEIGHT MAXPACKET READY_FILE\n", argv[0]);
		return 2;
	}
	unsigned width = atoi(argv[2]), height = atoi(argv[3]);
	defaults.bmHint = 1;
	defaults.bFormatIndex = 1;
	defaults.bFrameIndex = 1;
	defaults.dwFrameInterval = 333333; /* 30 frames a second, in 100 ns */
	defaults.dwMaxVideoFrameSize = width * height * 2;
	defaults.dwMaxPayloadTransferSize = atoi(argv[4]);
	defaults.bmFramingInfo = 3;
	defaults.bPreferedVersion = defaults.bMinVersion = defaults.bMaxVersion = 1;
	probe = commit = defaults;

	int fd = open(argv[1], O_RDWR | O_NONBLOCK);
	if (fd < 0) {
		perror(argv[1]);
		return 1;
	}
	/* Subscribing to SETUP, last, is what connects the gadget. */
	static const unsigned events[] = { UVC_EVENT_CONNECT, UVC_EVENT_DISCONNECT, UVC_EVENT_STREAMON,
		UVC_EVENT_STREAMOFF, UVC_EVENT_DATA, UVC_EVENT_SETUP };
	for (unsigned i = 0; i < sizeof events / sizeof events[0]; i++) {
		struct v4l2_event_subscription subscription = { .type = events[i] };
		if (ioctl(fd, VIDIOC_SUBSCRIBE_EVENT, &subscription) < 0) {
			perror("VIDIOC_SUBSCRIBE_EVENT");
			return 1;
		}
	}
	close(open(argv[5], O_WRONLY | O_CREAT, 0644));
	for (;;) {
		struct pollfd waiting = { .fd = fd, .events = POLLPRI };
		if (poll(&waiting, 1, -1) < 0) {
			if (errno == EINTR)
				continue;
			perror("poll");
			return 1;
		}
		struct v4l2_event event;
		while (ioctl(fd, VIDIOC_DQEVENT, &event) == 0) {
			struct uvc_event *uvc = (void *)&event.u.data;
			if (event.type == UVC_EVENT_SETUP) {
				struct uvc_request_data response;
				memset(&response, 0, sizeof response);
				answer(&uvc->req, &response);
				if (ioctl(fd, UVCIOC_SEND_RESPONSE, &response) < 0)
					perror("UVCIOC_SEND_RESPONSE");
			} else if (event.type == UVC_EVENT_DATA) {
				unsigned length = uvc->data.length > 0 ? (unsigned)uvc->data.length : 0;
				if (pending_streaming) {
					struct uvc_streaming_control *current =
						pending_key == UVC_VS_PROBE_CONTROL ? &probe : &commit;
					memcpy(current, uvc->data.data,
						length > sizeof *current ? sizeof *current : length);
				} else {
					memcpy(control_value(pending_key), uvc->data.data, length > 8 ? 8 : length);
				}
			}
		}
	}
}
