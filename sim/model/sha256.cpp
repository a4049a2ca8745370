#include "sim/model/sha256.h"

#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#define FLINTCAST_SHA_EXTENSIONS 1
#endif

namespace flintcast::sim {
namespace {

constexpr std::array<uint32_t, 64> kRoundConstants = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#ifdef FLINTCAST_SHA_EXTENSIONS
// The processor's SHA extensions (with SSSE3 and SSE4.1 for the shuffles and blends), asked
// once: the simulator hashes every image it is sent, and the plain rounds below would limit a
// fastboot transfer to their speed.
bool HasShaExtensions() {
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
    const bool ssse3 = (c & (1u << 9)) != 0;
    const bool sse41 = (c & (1u << 19)) != 0;
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d)) return false;
    return ssse3 && sse41 && (b & (1u << 29)) != 0;
}

const bool kShaExtensions = HasShaExtensions();

// `blocks` 64-byte blocks with the SHA extensions. The state is kept as the instructions want
// it: ABEF in one register, CDGH in the other.
__attribute__((target("sha,ssse3,sse4.1"))) void CompressBlocksSha(uint32_t* state, const uint8_t* data,
                                                                      size_t blocks) {
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bLL, 0x0405060700010203LL);
    __m128i tmp = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    __m128i cdgh = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(tmp, cdgh, 8);
    cdgh = _mm_blend_epi16(cdgh, tmp, 0xF0);
    for (; blocks > 0; --blocks, data += 64) {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i w[4];
        for (int i = 0; i < 16; ++i) {
            __m128i words;
            if (i < 4) {
                words = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * i)), byteSwap);
            } else {
                // W[t-16] + s0(W[t-15]), then + W[t-7], then + s1(W[t-2]), four words at a time.
                __m128i next = _mm_sha256msg1_epu32(w[(i - 4) & 3], w[(i - 3) & 3]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w[(i - 1) & 3], w[(i - 2) & 3], 4));
                words = _mm_sha256msg2_epu32(next, w[(i - 1) & 3]);
            }
            w[i & 3] = words;
            __m128i wk = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRoundConstants[4 * i])));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, wk);
            wk = _mm_shuffle_epi32(wk, 0x0E);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, wk);
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    tmp = _mm_shuffle_epi32(abef, 0x1B);
    cdgh = _mm_shuffle_epi32(cdgh, 0xB1);
    abef = _mm_blend_epi16(tmp, cdgh, 0xF0);
    cdgh = _mm_alignr_epi8(cdgh, tmp, 8);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), abef);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), cdgh);
}
#endif

}  // namespace

Sha256::Sha256()
    : state_{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
             0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19} {}

void Sha256::Compress(const uint8_t* block) {
    std::array<uint32_t, 64> w{};
    for (size_t i = 0; i < 16; ++i) {
        w[i] = (uint32_t{block[4 * i]} << 24) | (uint32_t{block[4 * i + 1]} << 16) |
               (uint32_t{block[4 * i + 2]} << 8) | uint32_t{block[4 * i + 3]};
    }
    for (size_t i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
    uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
    for (size_t i = 0; i < 64; ++i) {
        const uint32_t s1 = Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25);
        const uint32_t ch = (e & f) ^ (~e & g);
        const uint32_t t1 = h + s1 + ch + kRoundConstants[i] + w[i];
        const uint32_t s0 = Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22);
        const uint32_t maj = (a & b) ^ (a & c) ^ (b & c);
        const uint32_t t2 = s0 + maj;
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    state_[0] += a; state_[1] += b; state_[2] += c; state_[3] += d;
    state_[4] += e; state_[5] += f; state_[6] += g; state_[7] += h;
}

void Sha256::Update(std::span<const uint8_t> data) {
    totalBytes_ += data.size();
    size_t pos = 0;
    if (blockUsed_ > 0) {
        const size_t take = std::min(data.size(), block_.size() - blockUsed_);
        std::memcpy(block_.data() + blockUsed_, data.data(), take);
        blockUsed_ += take;
        pos = take;
        if (blockUsed_ < block_.size()) return;
        Compress(block_.data());
        blockUsed_ = 0;
    }
#ifdef FLINTCAST_SHA_EXTENSIONS
    if (kShaExtensions && data.size() - pos >= 64) {
        const size_t blocks = (data.size() - pos) / 64;
        CompressBlocksSha(state_.data(), data.data() + pos, blocks);
        pos += blocks * 64;
    }
#endif
    for (; pos + 64 <= data.size(); pos += 64) Compress(data.data() + pos);
    if (pos < data.size()) {
        blockUsed_ = data.size() - pos;
        std::memcpy(block_.data(), data.data() + pos, blockUsed_);
    }
}

std::array<uint8_t, 32> Sha256::Finish() {
    const uint64_t bits = totalBytes_ * 8;
    std::array<uint8_t, 72> pad{};
    pad[0] = 0x80;
    const size_t padLen = (blockUsed_ < 56 ? 56 - blockUsed_ : 120 - blockUsed_);
    for (size_t i = 0; i < 8; ++i) pad[padLen + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(std::span<const uint8_t>(pad.data(), padLen + 8));
    std::array<uint8_t, 32> digest{};
    for (size_t i = 0; i < 8; ++i) {
        for (size_t j = 0; j < 4; ++j) digest[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
    }
    return digest;
}

std::string Sha256Hex(std::span<const uint8_t> data) {
    Sha256 hash;
    hash.Update(data);
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t b : hash.Finish()) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

}  // namespace flintcast::sim
