#pragma once
// The byte encoding of the runtime's messages: little-endian integers, GUIDs as 16 bytes,
// strings as a presence flag, a 32-bit unit count and the UTF-16 units. Readers check every
// length against what is left, so a malformed message is detected, never overrun.
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/base/guid.h"

namespace comrt::wire {

// Thrown by Reader on a message that does not hold what it should.
struct Malformed : std::runtime_error {
    Malformed() : std::runtime_error("malformed message") {}
};

class Writer {
  public:
    template <class T>
    void put(T value) {
        static_assert(std::is_trivially_copyable_v<T>);
        auto at = bytes_.size();
        bytes_.resize(at + sizeof(T));
        std::memcpy(bytes_.data() + at, &value, sizeof(T));
    }
    void put_guid(const GUID& g) { put(g); }
    void put_bytes(const void* data, std::size_t size) {
        auto at = bytes_.size();
        bytes_.resize(at + size);
        if (size != 0)
            std::memcpy(bytes_.data() + at, data, size);
    }
    // A BSTR or other counted UTF-16 text; null stays distinct from empty.
    void put_text(const char16_t* units, std::uint32_t count, bool present = true) {
        put<std::uint8_t>(present ? 1 : 0);
        if (!present)
            return;
        put<std::uint32_t>(count);
        put_bytes(units, std::size_t{count} * sizeof(char16_t));
    }
    std::vector<unsigned char>& bytes() { return bytes_; }
    const std::vector<unsigned char>& bytes() const { return bytes_; }

  private:
    std::vector<unsigned char> bytes_;
};

class Reader {
  public:
    explicit Reader(std::span<const unsigned char> bytes) : bytes_(bytes) {}
    template <class T>
    T get() {
        static_assert(std::is_trivially_copyable_v<T>);
        need(sizeof(T));
        T value;
        std::memcpy(&value, bytes_.data() + pos_, sizeof(T));
        pos_ += sizeof(T);
        return value;
    }
    GUID get_guid() { return get<GUID>(); }
    // Returns nullopt for a null text.
    std::optional<std::u16string> get_text() {
        auto present = get<std::uint8_t>();
        if (present > 1)
            throw Malformed();
        if (present == 0)
            return std::nullopt;
        auto count = get<std::uint32_t>();
        need(std::size_t{count} * sizeof(char16_t));
        std::u16string text(count, u'\0');
        std::memcpy(text.data(), bytes_.data() + pos_, std::size_t{count} * sizeof(char16_t));
        pos_ += std::size_t{count} * sizeof(char16_t);
        return text;
    }
    bool at_end() const { return pos_ == bytes_.size(); }
    void expect_end() const {
        if (!at_end())
            throw Malformed();
    }

  private:
    void need(std::size_t n) const {
        if (n > bytes_.size() - pos_)
            throw Malformed();
    }
    std::span<const unsigned char> bytes_;
    std::size_t pos_ = 0;
};

// Operations of the runtime protocol. Every request but Release gets one reply.
enum class Op : std::uint8_t {
    CreateInstance = 1,     // clsid, iid, has_outer -> hr, object
    GetClassObject = 2,     // clsid -> hr, object (IClassFactory)
    QueryInterface = 3,     // object, iid -> hr [, iid of the dual interface for IDispatch]
    Release = 4,            // object (no reply)
    Call = 5,               // object, iid, slot, arguments -> hr, out values, error information
    FactoryCreate = 6,      // object, iid, has_outer -> hr, object
    LockServer = 7,         // object, lock -> hr
    SupportsErrorInfo = 8,  // object, iid -> hr
    Invoke = 9,             // object, iid, dispid, flags, lcid, arguments -> hr, result, ...
};

// Either end sends requests. A message's length word carries this bit when the message
// belongs to an exchange the accepting end (the server) began: its callback or the answer to
// it. So each end tells requests from replies without a byte of its own, and every message
// of an exchange the connecting end began reads as it always did.
inline constexpr std::uint32_t accepting_side_exchange = 0x8000'0000u;

// Largest message either side accepts: the runtime's own bound on what one call carries.
// The values of a call (its strings travel as UTF-16) may take max_values bytes; 1 MiB more
// covers everything else a message holds (ids, flags, error texts). A longer message is
// refused at its length, before any of it is stored.
inline constexpr std::uint32_t max_values = 200'000'000;
inline constexpr std::uint32_t max_message = max_values + (1u << 20);

// What the process-wide budget of unfinished incoming messages holds beyond one largest
// message, so that other clients' requests go on while one largest message arrives.
inline constexpr std::uint32_t budget_headroom = 48u << 20;

}  // namespace comrt::wire
