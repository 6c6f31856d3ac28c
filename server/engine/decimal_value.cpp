#include "server/engine/decimal_value.h"

#include <NTL/ZZ_limbs.h>
#include <gmp.h>

#include <deque>

#include "server/engine/product_cancellable.h"
#include "server/interface/call_cancelled.h"

namespace {

// Digits per block: a block converts in well under a millisecond.
constexpr std::size_t kBlockDigits = 1 << 14;

struct Mpz {
    mpz_t value;
    Mpz() { mpz_init(value); }
    ~Mpz() { mpz_clear(value); }
    Mpz(const Mpz&) = delete;
    Mpz& operator=(const Mpz&) = delete;
};

}  // namespace

NTL::ZZ DecimalValue(const std::string& text, const std::stop_token& stop) {
    // parts[i] is the value of the i-th group of digits counted from the right; every group but
    // the leftmost has exactly `digits` digits.
    std::deque<Mpz> parts;
    std::string block;
    for (std::size_t end = text.size(); end > 0;) {
        ThrowIfCancelled(stop);
        const std::size_t begin = end > kBlockDigits ? end - kBlockDigits : 0;
        block.assign(text, begin, end - begin);
        mpz_set_str(parts.emplace_back().value, block.c_str(), 10);
        end = begin;
    }
    Mpz scale;  // 10^digits
    mpz_ui_pow_ui(scale.value, 10, kBlockDigits);
    while (parts.size() > 1) {
        const std::size_t pairs = parts.size() / 2;
        for (std::size_t j = 0; j < pairs; ++j) {
            ThrowIfCancelled(stop);
            // parts[j] = parts[2j] + parts[2j + 1] * 10^digits; j <= 2j, so nothing unread is
            // overwritten.
            MultiplyCancellable(parts[2 * j + 1].value, parts[2 * j + 1].value, scale.value, stop);
            mpz_add(parts[j].value, parts[2 * j].value, parts[2 * j + 1].value);
        }
        if (parts.size() % 2 != 0)
            mpz_swap(parts[pairs].value, parts.back().value);  // the leftmost group moves up
        const std::size_t left = pairs + parts.size() % 2;
        while (parts.size() > left)
            parts.pop_back();
        if (parts.size() > 1) {
            ThrowIfCancelled(stop);
            MultiplyCancellable(scale.value, scale.value, scale.value, stop);
        }
    }
    NTL::ZZ value;
    if (!parts.empty())
        NTL::ZZ_limbs_set(value, mpz_limbs_read(parts.front().value),
                          static_cast<long>(mpz_size(parts.front().value)));
    return value;
}

std::string DecimalText(const NTL::ZZ& value) {
    // A read-only view of NTL's limbs: nothing is copied before GMP's conversion.
    mpz_t view;
    mpz_roinit_n(view, NTL::ZZ_limbs_get(value), static_cast<mp_size_t>(value.size()));
    std::string text(mpz_sizeinbase(view, 10) + 1, '\0');  // may be one more than needed
    mpz_get_str(text.data(), 10, view);
    text.resize(std::char_traits<char>::length(text.c_str()));
    return NTL::sign(value) < 0 ? "-" + text : text;
}
