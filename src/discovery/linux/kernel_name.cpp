// Video node names as their drivers meant them, where the kernel cut them.
#include "discovery/linux/kernel_name.h"

#include "text/utf.h"

namespace camera_info {

std::string uvcNodeName(const std::optional<std::string>& product, const std::string& idVendor,
                        const std::string& idProduct, const std::optional<std::string>& function) {
    std::string name = product ? *product : "UVC Camera (" + idVendor + ":" + idProduct + ")";
    if (function) name += ": " + *function;
    return name;
}

std::string wholeNodeName(const std::string& name, const std::optional<std::string>& intended) {
    if (name.size() != kKernelNameBytes) return name;
    if (intended && intended->size() > name.size() && intended->compare(0, name.size(), name) == 0) return *intended;
    // The kernel cuts bytes, not characters; half a character would read as U+FFFD.
    return name.substr(0, name.size() - incompleteUtf8Tail(name));
}

}  // namespace camera_info
