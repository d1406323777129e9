#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "math/qmtVector3.h"

// The byte decoder every fuzz target reads its input with. The format is plain so that
// seeds can be written by hand (fuzz/makeCorpus.py): integers are little-endian, a
// double is its eight raw bytes (so NaN, infinities, denormals and 1e300 come up as
// often as ordinary values), and a list is a 16-bit count followed by its elements.
// Counts are bounded (points, faces, corners) and never exceed what the remaining bytes
// can fill, so a short input gives a small case rather than a large zero-filled one.
// Reads past the end give zeros.
class FuzzInput {
public:
    static constexpr std::uint32_t MAX_POINTS = 4096;
    static constexpr std::uint32_t MAX_FACES = 2048;
    static constexpr std::uint32_t MAX_CORNERS = 40;

    FuzzInput(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

    std::size_t remaining() const { return size_ - pos_; }

    std::uint8_t u8() { return pos_ < size_ ? data_[pos_++] : 0; }

    std::uint16_t u16() {
        const std::uint16_t lo = u8();
        return static_cast<std::uint16_t>(lo | u8() << 8);
    }

    std::uint32_t u32() {
        const std::uint32_t lo = u16();
        return lo | std::uint32_t{u16()} << 16;
    }

    bool flag() { return (u8() & 1) != 0; }

    // A double from eight raw bytes (zero-padded at the end of the input).
    double real() {
        std::uint8_t bytes[8] = {};
        for (std::uint8_t& b : bytes) b = u8();
        double d = 0.0;
        std::memcpy(&d, bytes, sizeof d);
        return d;
    }

    Qmt::QmtVector3 vector() {
        const double x = real();
        const double y = real();
        return {x, y, real()};
    }

    // A count in 0..max read from 16 bits, no larger than the remaining bytes can fill
    // with elements of `elementBytes` each.
    std::uint32_t count(std::uint32_t max, std::size_t elementBytes) {
        const std::uint32_t wanted = u16() % (max + 1);
        const std::size_t fits = elementBytes ? remaining() / elementBytes : wanted;
        return static_cast<std::uint32_t>(std::min<std::size_t>(wanted, fits));
    }

    // A 16-bit count, then that many points (at most MAX_POINTS).
    std::vector<Qmt::QmtVector3> points(std::uint32_t max = MAX_POINTS) {
        std::vector<Qmt::QmtVector3> out(count(std::min(max, MAX_POINTS), 24));
        for (Qmt::QmtVector3& p : out) p = vector();
        return out;
    }

    // A 16-bit index; reduced modulo n when `inRange` (n > 0), raw otherwise so that
    // out-of-range indices come up.
    std::uint32_t index(std::uint32_t n, bool inRange) {
        const std::uint32_t raw = u16();
        return inRange && n ? raw % n : raw;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

// A face list read from the input: a 16-bit face count (at most MAX_FACES), then per
// face a corner count (a byte, minCorners..MAX_CORNERS) and its 16-bit vertex indices.
// Without vertices, faces that must be in range are left out.
struct FuzzFaces {
    std::vector<std::vector<std::uint32_t>> faces;

    FuzzFaces(FuzzInput& in, std::uint32_t numVertices, std::uint32_t minCorners, bool inRange) {
        // Faces whose indices must be in range need a vertex to point at.
        const std::uint32_t n = in.count(FuzzInput::MAX_FACES, 1 + 2 * minCorners);
        faces.resize(inRange && numVertices == 0 ? 0 : n);
        const std::uint32_t span = FuzzInput::MAX_CORNERS - minCorners + 1;
        for (std::vector<std::uint32_t>& f : faces) {
            f.resize(minCorners + in.u8() % span);
            for (std::uint32_t& v : f) v = in.index(numVertices, inRange);
        }
    }
};
