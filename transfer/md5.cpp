// MD5 as RFC 1321 defines it, with a fully unrolled block transform, and the digest of a file
// read in place through a memory mapping.
#include "transfer/md5.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "platform/MappedFile.h"

namespace korvath {
namespace {

// Views of 64 MiB: few enough map calls to cost nothing, small enough to fit a 32-bit
// process's address space however large the file is.
constexpr size_t kViewSize = size_t{64} << 20;
// The largest view: one always fits DigestUpdate's 32-bit length.
constexpr size_t kMaxUpdate = size_t{1} << 30;

uint32_t Load32(const uint8_t* p) {
  if constexpr (std::endian::native == std::endian::little) {
    uint32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
  }
}

void Store32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

// The four step kinds. In every step b is the word the previous step has just produced; the
// steps are written so that b comes in last, and the message word, constant and older words
// are summed while it is still being computed.
template <int S>
inline void F1(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t m, uint32_t k) {
  a += m + k;
  a += d ^ (b & (c ^ d));
  a = std::rotl(a, S) + b;
}

// (b & d) | (c & ~d): the two halves share no bit, so they can be added one at a time, and
// the half without b is added early.
template <int S>
inline void F2(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t m, uint32_t k) {
  a += m + k;
  a += c & ~d;
  a += b & d;
  a = std::rotl(a, S) + b;
}

template <int S>
inline void F3(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t m, uint32_t k) {
  a += m + k;
  a += b ^ (c ^ d);
  a = std::rotl(a, S) + b;
}

template <int S>
inline void F4(uint32_t& a, uint32_t b, uint32_t c, uint32_t d, uint32_t m, uint32_t k) {
  a += m + k;
  a += c ^ (b | ~d);
  a = std::rotl(a, S) + b;
}

// Processes Blocks whole 64-byte blocks at P.
void Transform(uint32_t state[4], const uint8_t* p, size_t blocks) {
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (; blocks != 0; --blocks, p += 64) {
    const uint32_t a0 = a, b0 = b, c0 = c, d0 = d;
    const auto x = [p](int i) { return Load32(p + 4 * i); };

    F1<7>(a, b, c, d, x(0), 0xd76aa478);
    F1<12>(d, a, b, c, x(1), 0xe8c7b756);
    F1<17>(c, d, a, b, x(2), 0x242070db);
    F1<22>(b, c, d, a, x(3), 0xc1bdceee);
    F1<7>(a, b, c, d, x(4), 0xf57c0faf);
    F1<12>(d, a, b, c, x(5), 0x4787c62a);
    F1<17>(c, d, a, b, x(6), 0xa8304613);
    F1<22>(b, c, d, a, x(7), 0xfd469501);
    F1<7>(a, b, c, d, x(8), 0x698098d8);
    F1<12>(d, a, b, c, x(9), 0x8b44f7af);
    F1<17>(c, d, a, b, x(10), 0xffff5bb1);
    F1<22>(b, c, d, a, x(11), 0x895cd7be);
    F1<7>(a, b, c, d, x(12), 0x6b901122);
    F1<12>(d, a, b, c, x(13), 0xfd987193);
    F1<17>(c, d, a, b, x(14), 0xa679438e);
    F1<22>(b, c, d, a, x(15), 0x49b40821);

    F2<5>(a, b, c, d, x(1), 0xf61e2562);
    F2<9>(d, a, b, c, x(6), 0xc040b340);
    F2<14>(c, d, a, b, x(11), 0x265e5a51);
    F2<20>(b, c, d, a, x(0), 0xe9b6c7aa);
    F2<5>(a, b, c, d, x(5), 0xd62f105d);
    F2<9>(d, a, b, c, x(10), 0x02441453);
    F2<14>(c, d, a, b, x(15), 0xd8a1e681);
    F2<20>(b, c, d, a, x(4), 0xe7d3fbc8);
    F2<5>(a, b, c, d, x(9), 0x21e1cde6);
    F2<9>(d, a, b, c, x(14), 0xc33707d6);
    F2<14>(c, d, a, b, x(3), 0xf4d50d87);
    F2<20>(b, c, d, a, x(8), 0x455a14ed);
    F2<5>(a, b, c, d, x(13), 0xa9e3e905);
    F2<9>(d, a, b, c, x(2), 0xfcefa3f8);
    F2<14>(c, d, a, b, x(7), 0x676f02d9);
    F2<20>(b, c, d, a, x(12), 0x8d2a4c8a);

    F3<4>(a, b, c, d, x(5), 0xfffa3942);
    F3<11>(d, a, b, c, x(8), 0x8771f681);
    F3<16>(c, d, a, b, x(11), 0x6d9d6122);
    F3<23>(b, c, d, a, x(14), 0xfde5380c);
    F3<4>(a, b, c, d, x(1), 0xa4beea44);
    F3<11>(d, a, b, c, x(4), 0x4bdecfa9);
    F3<16>(c, d, a, b, x(7), 0xf6bb4b60);
    F3<23>(b, c, d, a, x(10), 0xbebfbc70);
    F3<4>(a, b, c, d, x(13), 0x289b7ec6);
    F3<11>(d, a, b, c, x(0), 0xeaa127fa);
    F3<16>(c, d, a, b, x(3), 0xd4ef3085);
    F3<23>(b, c, d, a, x(6), 0x04881d05);
    F3<4>(a, b, c, d, x(9), 0xd9d4d039);
    F3<11>(d, a, b, c, x(12), 0xe6db99e5);
    F3<16>(c, d, a, b, x(15), 0x1fa27cf8);
    F3<23>(b, c, d, a, x(2), 0xc4ac5665);

    F4<6>(a, b, c, d, x(0), 0xf4292244);
    F4<10>(d, a, b, c, x(7), 0x432aff97);
    F4<15>(c, d, a, b, x(14), 0xab9423a7);
    F4<21>(b, c, d, a, x(5), 0xfc93a039);
    F4<6>(a, b, c, d, x(12), 0x655b59c3);
    F4<10>(d, a, b, c, x(3), 0x8f0ccc92);
    F4<15>(c, d, a, b, x(10), 0xffeff47d);
    F4<21>(b, c, d, a, x(1), 0x85845dd1);
    F4<6>(a, b, c, d, x(8), 0x6fa87e4f);
    F4<10>(d, a, b, c, x(15), 0xfe2ce6e0);
    F4<15>(c, d, a, b, x(6), 0xa3014314);
    F4<21>(b, c, d, a, x(13), 0x4e0811a1);
    F4<6>(a, b, c, d, x(4), 0xf7537e82);
    F4<10>(d, a, b, c, x(11), 0xbd3af235);
    F4<15>(c, d, a, b, x(2), 0x2ad7d2bb);
    F4<21>(b, c, d, a, x(9), 0xeb86d391);

    a += a0;
    b += b0;
    c += c0;
    d += d0;
  }
  state[0] = a;
  state[1] = b;
  state[2] = c;
  state[3] = d;
}

// Feeds the whole file through successive views; false when any part of it cannot be read.
// A file up to this size is read rather than mapped: for the thousands of small files of a
// client, making and dropping a view costs more than the copy (dropping one interrupts every
// other core the process runs on to flush its address cache).
constexpr uint64_t kReadWhole = uint64_t{1} << 20;

bool HashFile(const std::string& fileName, TDigestContext& context, size_t viewSize) {
  platform::MappedFile file;
  if (!platform::MappedFile::Open(fileName, file)) return false;
  if (file.Size() <= kReadWhole && viewSize == kViewSize) {
    thread_local std::vector<unsigned char> buffer(kReadWhole);
    const auto size = static_cast<size_t>(file.Size());
    if (!file.ReadAt(0, buffer.data(), size)) return false;
    DigestUpdate(context, buffer.data(), static_cast<uint32_t>(size));
    return true;
  }
  const size_t granularity = platform::MappedFile::Granularity();
  viewSize = std::clamp(viewSize, granularity, kMaxUpdate);
  viewSize = (viewSize + granularity - 1) / granularity * granularity;
  for (uint64_t offset = 0; offset < file.Size(); offset += file.ViewSize()) {
    if (!file.MapView(offset, viewSize)) return false;
    DigestUpdate(context, file.Data(), static_cast<uint32_t>(file.ViewSize()));
  }
  // Each view is made only while the file is long enough for it; one cut short while it was
  // read may have read as zeros.
  return file.Intact();
}

}  // namespace

void DigestInit(TDigestContext& context) {
  context.State[0] = 0x67452301;
  context.State[1] = 0xefcdab89;
  context.State[2] = 0x98badcfe;
  context.State[3] = 0x10325476;
  context.Count[0] = 0;
  context.Count[1] = 0;
  std::memset(context.Buffer, 0, sizeof context.Buffer);
}

void DigestUpdate(TDigestContext& context, const void* data, uint32_t length) {
  if (length == 0) return;
  const auto* input = static_cast<const uint8_t*>(data);
  const uint32_t index = (context.Count[0] >> 3) & 63;
  const uint32_t bits = length << 3;
  context.Count[0] += bits;
  if (context.Count[0] < bits) ++context.Count[1];
  context.Count[1] += length >> 29;

  if (index != 0) {
    const uint32_t fill = 64 - index;
    if (length < fill) {
      std::memcpy(context.Buffer + index, input, length);
      return;
    }
    std::memcpy(context.Buffer + index, input, fill);
    Transform(context.State, context.Buffer, 1);
    input += fill;
    length -= fill;
  }
  Transform(context.State, input, length / 64);
  input += length & ~63u;
  length &= 63;
  if (length != 0) std::memcpy(context.Buffer, input, length);
}

void DigestFinal(TDigestContext& context, TDigestBytes& digest) {
  static constexpr uint8_t kPadding[64] = {0x80};
  uint8_t bits[8];
  Store32(bits, context.Count[0]);
  Store32(bits + 4, context.Count[1]);
  const uint32_t index = (context.Count[0] >> 3) & 63;
  DigestUpdate(context, kPadding, index < 56 ? 56 - index : 120 - index);
  DigestUpdate(context, bits, sizeof bits);
  for (int i = 0; i < 4; ++i) Store32(digest.data() + 4 * i, context.State[i]);
  std::memset(&context, 0, sizeof context);
}

void detail::FileDigest(const std::string& fileName, TDigestBytes& digest, size_t viewSize) {
  TDigestContext context;
  DigestInit(context);
  // A file that cannot be read to its end hashes as empty input, as one that cannot be opened.
  if (!HashFile(fileName, context, viewSize)) DigestInit(context);
  DigestFinal(context, digest);
}

void FileDigest(const std::string& fileName, TDigestBytes& digest) {
  detail::FileDigest(fileName, digest, kViewSize);
}

std::string DigestToHex(const TDigestBytes& digest) {
  static constexpr char kHexDigits[] = "0123456789abcdef";
  std::string text(2 * digest.size(), '0');
  for (size_t i = 0; i < digest.size(); ++i) {
    text[2 * i] = kHexDigits[digest[i] >> 4];
    text[2 * i + 1] = kHexDigits[digest[i] & 15];
  }
  return text;
}

}  // namespace korvath
