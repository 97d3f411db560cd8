// One owner for every kind of resource the program holds: each kind is a
// line of traits (its value, its empty value, how it is let go) over this
// template, so that the code that obtains a resource never lets it go by
// hand.
#pragma once

#include <utility>

namespace camera_info {

// Traits: `Value`, `static Value none()` and `close(Value)`. Traits that need
// to know whom to give the value back to (a registry's handles) hold that
// themselves, and each owner keeps a copy.
template <typename Traits>
class UniqueResource : private Traits {
public:
    using Value = typename Traits::Value;

    UniqueResource() = default;
    explicit UniqueResource(Traits traits) : Traits(std::move(traits)) {}
    // Takes over what the caller holds.
    explicit UniqueResource(Value value, Traits traits = Traits()) : Traits(std::move(traits)), value_(value) {}
    UniqueResource(UniqueResource&& other) noexcept : Traits(other.traits()), value_(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset();
            static_cast<Traits&>(*this) = other.traits();
            value_ = other.release();
        }
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
    // Hands the resource on: the caller holds it now, and this owner none.
    [[nodiscard]] Value release() { return std::exchange(value_, Traits::none()); }
    void reset(Value value = Traits::none()) {
        const Value held = std::exchange(value_, value);
        if (held != Traits::none()) Traits::close(held);
    }

private:
    const Traits& traits() const { return *this; }

    Value value_ = Traits::none();
};

}  // namespace camera_info
