// Video node names as their drivers meant them, where the kernel cut them.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace camera_info {

// The kernel keeps at most this many bytes of a video node's name.
constexpr std::size_t kKernelNameBytes = 31;

// The name uvcvideo builds for a camera's node: the USB product string, or
// "UVC Camera (<idVendor>:<idProduct>)" for a device without one; then, when
// the function has a name of its own, ": " and that name.
std::string uvcNodeName(const std::optional<std::string>& product, const std::string& idVendor,
                        const std::string& idProduct, const std::optional<std::string>& function);

// `name` as the kernel keeps it, made whole: a name that fills the kernel's
// bytes and is a proper prefix of `intended` (what the driver built) is that
// whole text; any other name that fills them loses a character cut in half at
// its end. Shorter names are whole already.
std::string wholeNodeName(const std::string& name, const std::optional<std::string>& intended);

}  // namespace camera_info
