// The AES block cipher (FIPS-197), encryption direction only: the WinZip AES format runs AES in
// counter mode, which needs the forward cipher for both encrypting and decrypting.
#pragma once

#include <cstddef>
#include <cstdint>

namespace dravik::archive {

class Aes {
public:
    static constexpr size_t kBlockSize = 16;
    static constexpr size_t kMaxScheduleWords = 60;  // 4 * (14 + 1) for a 256-bit key

    static constexpr bool valid_key_size(size_t key_size) { return key_size == 16 || key_size == 24 || key_size == 32; }

    // `key_size` is 16, 24 or 32 bytes (AES-128, -192, -256); any other size leaves a cipher of
    // zero rounds that only adds the zero key (callers check valid_key_size first).
    Aes(const uint8_t* key, size_t key_size);
    ~Aes();
    Aes(const Aes&) = delete;
    Aes& operator=(const Aes&) = delete;

    void encrypt_block(const uint8_t in[kBlockSize], uint8_t out[kBlockSize]) const;

    int rounds() const { return rounds_; }
    // The expanded key, 4 * (rounds + 1) words w[i] as FIPS-197 section 5.2 numbers them.
    const uint32_t* schedule() const { return w_; }

private:
    uint32_t w_[kMaxScheduleWords] = {};
    int rounds_ = 0;
};

}  // namespace dravik::archive
