#include "codec/sha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) && defined(__GNUC__)
#include <cpuid.h>
#include <immintrin.h>
#define FLINTCAST_SHA_EXTENSIONS 1
#endif

namespace flintcast::sha256 {
namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::array<uint32_t, 8> kInitial = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                              0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr uint32_t Rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

#ifdef FLINTCAST_SHA_EXTENSIONS
// The processor's SHA extensions (with SSSE3 and SSE4.1 for the shuffles and blends), asked
// once: package images and the simulator's
// flashed partitions are hashed whole, and the plain rounds would limit that to their speed.
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
            __m128i wk = _mm_add_epi32(words, _mm_loadu_si128(reinterpret_cast<const __m128i*>(&kRound[4 * i])));
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

Hasher::Hasher() : state_(kInitial) {}

void Hasher::Block(const uint8_t* block) {
    std::array<uint32_t, 64> w{};
    for (int i = 0; i < 16; ++i) {
        w[i] = uint32_t{block[4 * i]} << 24 | uint32_t{block[4 * i + 1]} << 16 | uint32_t{block[4 * i + 2]} << 8 |
               uint32_t{block[4 * i + 3]};
    }
    for (int i = 16; i < 64; ++i) {
        const uint32_t s0 = Rotr(w[i - 15], 7) ^ Rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        const uint32_t s1 = Rotr(w[i - 2], 17) ^ Rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    auto [a, b, c, d, e, f, g, h] = state_;
    for (int i = 0; i < 64; ++i) {
        const uint32_t t1 = h + (Rotr(e, 6) ^ Rotr(e, 11) ^ Rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        const uint32_t t2 = (Rotr(a, 2) ^ Rotr(a, 13) ^ Rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    const std::array<uint32_t, 8> add = {a, b, c, d, e, f, g, h};
    for (int i = 0; i < 8; ++i) state_[i] += add[i];
}

void Hasher::Update(std::span<const uint8_t> data) {
    totalBytes_ += data.size();
    std::size_t at = 0;
    if (pendingBytes_ > 0) {
        const std::size_t take = std::min(data.size(), pending_.size() - pendingBytes_);
        if (take > 0) std::memcpy(pending_.data() + pendingBytes_, data.data(), take);
        pendingBytes_ += take;
        at = take;
        if (pendingBytes_ < pending_.size()) return;
        Block(pending_.data());
        pendingBytes_ = 0;
    }
#ifdef FLINTCAST_SHA_EXTENSIONS
    if (kShaExtensions && data.size() - at >= 64) {
        const std::size_t blocks = (data.size() - at) / 64;
        CompressBlocksSha(state_.data(), data.data() + at, blocks);
        at += blocks * 64;
    }
#endif
    for (; at + 64 <= data.size(); at += 64) Block(data.data() + at);
    // An empty piece may come with no buffer at all: memcpy must not see its null pointer.
    if (at < data.size()) std::memcpy(pending_.data(), data.data() + at, data.size() - at);
    pendingBytes_ = data.size() - at;
}

Digest Hasher::Finish() {
    const uint64_t bits = totalBytes_ * 8;
    // A single 1 bit, zeros up to 56 bytes into a block, then the message length in bits.
    std::array<uint8_t, 72> tail{};
    tail[0] = 0x80;
    const std::size_t zeros = (pendingBytes_ < 56 ? 56 : 120) - pendingBytes_;
    for (int i = 0; i < 8; ++i) tail[zeros + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(std::span(tail.data(), zeros + 8));
    Digest out{};
    for (int i = 0; i < 8; ++i) {
        for (int j = 0; j < 4; ++j) out[4 * i + j] = static_cast<uint8_t>(state_[i] >> (24 - 8 * j));
    }
    *this = Hasher();
    return out;
}

Digest Of(std::span<const uint8_t> data) {
    Hasher hasher;
    hasher.Update(data);
    return hasher.Finish();
}

std::string Hex(const Digest& digest) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : digest) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
    }
    return text;
}

}  // namespace flintcast::sha256
