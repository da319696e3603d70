#include "setup/lzhuf.h"

#include <algorithm>
#include <array>

namespace lyb {

namespace {

constexpr std::size_t kRingMask = kLzhufRingSize - 1;
constexpr std::size_t kRingStart = kLzhufRingSize - kLzhufMaxMatch; // 4036
constexpr std::size_t kMinMatch = kLzhufThreshold + 1;
/// Farthest a match reaches back: the blanks before the first byte, never
/// a slot the look-ahead may already have overwritten.
constexpr std::size_t kMaxDistance = kRingStart;

// ---------------------------------------------------------------------------
// The adaptive Huffman tree. Nodes live in one array kept in ascending order
// of their counts; node k's children are son[k] and son[k] + 1 (a leaf has
// son = symbol + kNodes). After each symbol its leaf and every node above it
// gain one, moving past nodes whose count they now exceed.

class AdaptiveTree {
public:
    static constexpr int kSymbols = 256 - static_cast<int>(kLzhufThreshold) + static_cast<int>(kLzhufMaxMatch);
    static constexpr int kNodes = 2 * kSymbols - 1;
    static constexpr int kRoot = kNodes - 1;
    static constexpr std::uint32_t kMaxCount = 0x8000;

    AdaptiveTree() {
        for (int i = 0; i < kSymbols; ++i) {
            m_count[i] = 1;
            m_son[i] = i + kNodes;
            m_parent[i + kNodes] = i;
        }
        for (int i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            m_count[j] = m_count[i] + m_count[i + 1];
            m_son[j] = i;
            m_parent[i] = m_parent[i + 1] = j;
        }
        m_count[kNodes] = 0xFFFF; // stops the upward scans at the end
        m_parent[kRoot] = 0;
    }

    int RootChildren() const { return m_son[kRoot]; }
    int Son(int node) const { return m_son[node]; }
    int LeafOf(int symbol) const { return m_parent[symbol + kNodes]; }
    int Parent(int node) const { return m_parent[node]; }

    void Update(int symbol) {
        if (m_count[kRoot] == kMaxCount)
            Rebuild();
        int c = m_parent[symbol + kNodes];
        do {
            const std::uint32_t k = ++m_count[c];
            int l = c + 1;
            if (k > m_count[l]) {
                while (k > m_count[++l]) {
                }
                --l;
                // Swap node c with node l, the last one with a smaller count.
                m_count[c] = m_count[l];
                m_count[l] = k;
                const int i = m_son[c];
                m_parent[i] = l;
                if (i < kNodes)
                    m_parent[i + 1] = l;
                const int j = m_son[l];
                m_son[l] = i;
                m_parent[j] = c;
                if (j < kNodes)
                    m_parent[j + 1] = c;
                m_son[c] = j;
                c = l;
            }
            c = m_parent[c];
        } while (c != 0);
    }

private:
    // Halves every leaf's count and builds the inner nodes again.
    void Rebuild() {
        int j = 0;
        for (int i = 0; i < kNodes; ++i) {
            if (m_son[i] >= kNodes) {
                m_count[j] = (m_count[i] + 1) / 2;
                m_son[j] = m_son[i];
                ++j;
            }
        }
        for (int i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const std::uint32_t f = m_count[i] + m_count[i + 1];
            int k = n - 1;
            while (f < m_count[k])
                --k;
            ++k;
            for (int m = n; m > k; --m) {
                m_count[m] = m_count[m - 1];
                m_son[m] = m_son[m - 1];
            }
            m_count[k] = f;
            m_son[k] = i;
        }
        for (int i = 0; i < kNodes; ++i) {
            const int k = m_son[i];
            if (k >= kNodes)
                m_parent[k] = i;
            else
                m_parent[k] = m_parent[k + 1] = i;
        }
    }

    std::array<std::uint32_t, kNodes + 1> m_count{};
    std::array<int, kNodes + kSymbols> m_parent{};
    std::array<int, kNodes> m_son{};
};

// ---------------------------------------------------------------------------
// The fixed code of a position's upper 6 bits: 1 code of 3 bits, 3 of 4,
// 8 of 5, 12 of 6, 24 of 7 and 16 of 8, assigned in canonical order.

struct PositionCodes {
    std::array<std::uint8_t, 64> code{};   ///< left-aligned in 8 bits
    std::array<std::uint8_t, 64> length{};
    std::array<std::uint8_t, 256> upperOfByte{};
    std::array<std::uint8_t, 256> lengthOfByte{};

    PositionCodes() {
        constexpr std::array<int, 6> kCounts = {1, 3, 8, 12, 24, 16};
        unsigned next = 0;
        int upper = 0;
        for (int len = 3; len <= 8; ++len) {
            for (int n = 0; n < kCounts[static_cast<std::size_t>(len - 3)]; ++n, ++upper, ++next) {
                const auto u = static_cast<std::size_t>(upper);
                code[u] = static_cast<std::uint8_t>(next << (8 - len));
                length[u] = static_cast<std::uint8_t>(len);
                const unsigned first = next << (8 - len);
                const unsigned last = (next + 1) << (8 - len);
                for (unsigned b = first; b < last; ++b) {
                    upperOfByte[b] = static_cast<std::uint8_t>(upper);
                    lengthOfByte[b] = static_cast<std::uint8_t>(len);
                }
            }
            next <<= 1;
        }
    }
};

const PositionCodes& Codes() {
    static const PositionCodes codes;
    return codes;
}

class BitReader {
public:
    explicit BitReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    /// False when the stream has no bit left.
    bool Bit(unsigned& bit) {
        if (m_pos >= m_bytes.size() * 8)
            return false;
        bit = (m_bytes[m_pos >> 3] >> (7 - (m_pos & 7))) & 1u;
        ++m_pos;
        return true;
    }
    bool Bits(int count, unsigned& value) {
        value = 0;
        for (int i = 0; i < count; ++i) {
            unsigned b;
            if (!Bit(b))
                return false;
            value = (value << 1) | b;
        }
        return true;
    }

private:
    std::span<const std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

class BitWriter {
public:
    void Put(unsigned value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            m_acc = static_cast<std::uint8_t>((m_acc << 1) | ((value >> i) & 1u));
            if (++m_fill == 8) {
                m_out.push_back(m_acc);
                m_acc = 0;
                m_fill = 0;
            }
        }
    }
    std::vector<std::uint8_t> Finish() {
        if (m_fill > 0)
            m_out.push_back(static_cast<std::uint8_t>(m_acc << (8 - m_fill)));
        m_fill = 0;
        m_acc = 0;
        return std::move(m_out);
    }

private:
    std::vector<std::uint8_t> m_out;
    std::uint8_t m_acc = 0;
    int m_fill = 0;
};

bool DecodeSymbol(AdaptiveTree& tree, BitReader& in, int& symbol) {
    int c = tree.RootChildren();
    while (c < AdaptiveTree::kNodes) {
        unsigned bit;
        if (!in.Bit(bit))
            return false;
        c = tree.Son(c + static_cast<int>(bit));
    }
    symbol = c - AdaptiveTree::kNodes;
    tree.Update(symbol);
    return true;
}

bool DecodePosition(BitReader& in, unsigned& position) {
    unsigned first;
    if (!in.Bits(8, first))
        return false;
    const PositionCodes& codes = Codes();
    const unsigned upper = codes.upperOfByte[first];
    const int length = codes.lengthOfByte[first];
    // The byte read holds `length` code bits and 8 - length low bits; the
    // remaining length - 2 low bits follow.
    unsigned rest;
    if (!in.Bits(length - 2, rest))
        return false;
    const unsigned all = (first << (length - 2)) | rest;
    position = (upper << 6) | (all & 0x3F);
    return true;
}

void EncodeSymbol(AdaptiveTree& tree, BitWriter& out, int symbol) {
    // Walk from the leaf to the root, then write the bits root first.
    std::array<std::uint8_t, AdaptiveTree::kNodes> path;
    std::size_t depth = 0;
    int k = tree.LeafOf(symbol);
    do {
        path[depth++] = static_cast<std::uint8_t>(k & 1);
        k = tree.Parent(k);
    } while (k != AdaptiveTree::kRoot);
    while (depth > 0)
        out.Put(path[--depth], 1);
    tree.Update(symbol);
}

void EncodePosition(BitWriter& out, unsigned position) {
    const PositionCodes& codes = Codes();
    const unsigned upper = position >> 6;
    const int length = codes.length[upper];
    out.Put(static_cast<unsigned>(codes.code[upper]) >> (8 - length), length);
    out.Put(position & 0x3F, 6);
}

} // namespace

const char* LzhufStatusText(LzhufStatus status) {
    switch (status) {
    case LzhufStatus::Ok: return "unpacked";
    case LzhufStatus::Truncated: return "the packed data ends before the file is complete";
    case LzhufStatus::Overrun: return "the packed data does not match the stored size";
    case LzhufStatus::TooLarge: return "the stored size is larger than the packed data can hold";
    case LzhufStatus::SinkFailed: return "the unpacked data could not be written";
    }
    return "unknown";
}

std::uint64_t LzhufMaxUnpacked(std::size_t streamBytes) {
    // 10 bits at the least per match of 60 bytes: 6 bytes per bit.
    return static_cast<std::uint64_t>(streamBytes) * 8 * 6;
}

LzhufStatus LzhufDecode(std::span<const std::uint8_t> stream, std::uint64_t size, const ByteSink& sink,
                        std::size_t blockSize) {
    if (size > LzhufMaxUnpacked(stream.size()))
        return LzhufStatus::TooLarge;
    if (blockSize == 0)
        blockSize = kCopyBlockSize;
    std::array<std::uint8_t, kLzhufRingSize> ring;
    ring.fill(' ');
    std::size_t r = kRingStart;
    AdaptiveTree tree;
    BitReader in(stream);
    std::vector<std::uint8_t> block;
    block.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, size)));
    std::uint64_t produced = 0;

    auto emit = [&](std::uint8_t byte) -> bool {
        block.push_back(byte);
        ring[r] = byte;
        r = (r + 1) & kRingMask;
        ++produced;
        if (block.size() == blockSize) {
            if (!sink(block.data(), block.size()))
                return false;
            block.clear();
        }
        return true;
    };

    while (produced < size) {
        int symbol;
        if (!DecodeSymbol(tree, in, symbol))
            return LzhufStatus::Truncated;
        if (symbol < 256) {
            if (!emit(static_cast<std::uint8_t>(symbol)))
                return LzhufStatus::SinkFailed;
            continue;
        }
        unsigned position;
        if (!DecodePosition(in, position))
            return LzhufStatus::Truncated;
        const std::size_t length = static_cast<std::size_t>(symbol) - 255 + kLzhufThreshold;
        if (produced + length > size)
            return LzhufStatus::Overrun;
        const std::size_t from = (r - position - 1) & kRingMask;
        for (std::size_t k = 0; k < length; ++k)
            if (!emit(ring[(from + k) & kRingMask]))
                return LzhufStatus::SinkFailed;
    }
    if (!block.empty() && !sink(block.data(), block.size()))
        return LzhufStatus::SinkFailed;
    return LzhufStatus::Ok;
}

LzhufStatus LzhufDecode(std::span<const std::uint8_t> stream, std::uint64_t size, std::vector<std::uint8_t>& out) {
    out.clear();
    if (size > LzhufMaxUnpacked(stream.size()))
        return LzhufStatus::TooLarge;
    out.reserve(static_cast<std::size_t>(size));
    const LzhufStatus status = LzhufDecode(stream, size, [&out](const std::uint8_t* d, std::size_t n) {
        out.insert(out.end(), d, d + n);
        return true;
    });
    if (status != LzhufStatus::Ok)
        out.clear();
    return status;
}

std::vector<std::uint8_t> LzhufEncode(std::span<const std::uint8_t> data) {
    // The input behind the blanks the ring starts with, so that matches may
    // reach into them as the unpacker sees them.
    const std::size_t n = data.size();
    std::vector<std::uint8_t> text(kRingStart + n, ' ');
    std::copy(data.begin(), data.end(), text.begin() + static_cast<std::ptrdiff_t>(kRingStart));

    constexpr std::size_t kHashBits = 14;
    constexpr std::size_t kChainSize = 8192; // > kMaxDistance
    constexpr int kMaxChain = 96;
    constexpr std::int64_t kNone = -1;
    std::vector<std::int64_t> head(std::size_t{1} << kHashBits, kNone);
    std::vector<std::int64_t> prev(kChainSize, kNone);
    const std::size_t end = text.size();
    auto hashAt = [&](std::size_t p) {
        const unsigned h = (static_cast<unsigned>(text[p]) << 10) ^ (static_cast<unsigned>(text[p + 1]) << 5) ^
                           static_cast<unsigned>(text[p + 2]);
        return (h * 2654435761u) >> (32 - kHashBits);
    };
    auto insert = [&](std::size_t p) {
        if (p + kMinMatch > end)
            return;
        const auto h = hashAt(p);
        prev[p % kChainSize] = head[h];
        head[h] = static_cast<std::int64_t>(p);
    };

    // Only the blanks a match may reach from the first byte are indexed.
    for (std::size_t p = kRingStart > kMaxDistance ? kRingStart - kMaxDistance : 0; p < kRingStart; ++p)
        insert(p);

    AdaptiveTree tree;
    BitWriter out;
    std::size_t p = kRingStart;
    while (p < end) {
        const std::size_t room = std::min(kLzhufMaxMatch, end - p);
        std::size_t bestLength = 0, bestFrom = 0;
        if (room >= kMinMatch) {
            std::int64_t candidate = head[hashAt(p)];
            for (int chain = 0; chain < kMaxChain && candidate != kNone; ++chain) {
                const auto from = static_cast<std::size_t>(candidate);
                if (from >= p || p - from > kMaxDistance)
                    break;
                std::size_t len = 0;
                while (len < room && text[from + len] == text[p + len])
                    ++len;
                if (len > bestLength) {
                    bestLength = len;
                    bestFrom = from;
                    if (len == room)
                        break;
                }
                candidate = prev[from % kChainSize];
            }
        }
        if (bestLength >= kMinMatch) {
            EncodeSymbol(tree, out, static_cast<int>(255 - kLzhufThreshold + bestLength));
            EncodePosition(out, static_cast<unsigned>(p - bestFrom - 1));
            for (std::size_t k = 0; k < bestLength; ++k)
                insert(p + k);
            p += bestLength;
        } else {
            EncodeSymbol(tree, out, text[p]);
            insert(p);
            ++p;
        }
    }
    return out.Finish();
}

} // namespace lyb
