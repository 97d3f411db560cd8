// One owner for every kind of operating system resource: each kind is a
// line of traits (its value, its "none", how it is let go) over this
// template, so that the code that obtains a resource never lets it go by
// hand.
#pragma once

#include <utility>

namespace camera_info {

// Traits: `Value`, `static Value none()` and `static void close(Value)`.
template <typename Traits>
class UniqueResource {
public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    // Takes over what the caller holds.
    explicit UniqueResource(Value value) : value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) reset(other.release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    Value get() const { return value_; }
    explicit operator bool() const { return value_ != Traits::none(); }
    // For an out-parameter: whatever was held is let go first.
    Value* put() {
        reset();
        return &value_;
    }
    // Hands the resource on; this owner holds none afterwards.
    Value release() { return std::exchange(value_, Traits::none()); }
    void reset(Value value = Traits::none()) {
        const Value held = std::exchange(value_, value);
        if (held != Traits::none()) Traits::close(held);
    }

private:
    Value value_ = Traits::none();
};

}  // namespace camera_info
