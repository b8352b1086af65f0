// Decodes one run of points into its place in the output: X/Y pairs, Z and M
// values, little-endian, with the run's ranges, its signed area (for ring
// orientation) and whether every X, Y and Z is finite. This is the converter's
// one pass over the coordinates, so it is written for speed: byte order and
// dimensions are template parameters, and the sums are split over even and
// odd points so that no single chain of additions sets the pace.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "gx/gx_shape_build.h"

constexpr double kInfinity = std::numeric_limits<double>::infinity();

// X and Y of a point side by side, so that each step on them (compare, take
// the smaller, subtract, multiply) is one instruction for both.
typedef double GxPair __attribute__((vector_size(16)));

namespace {

// What the points add up to: locals of the copy loop, kept in registers.
struct RunSums {
    GxPair low = {kInfinity, kInfinity};     // X and Y minima
    GxPair high = {-kInfinity, -kInfinity};  // X and Y maxima
    GxPair cross = {0, 0};                   // the two halves of the area sum
    double zmin = kInfinity, zmax = -kInfinity, mmin = kInfinity, mmax = -kInfinity;
    double z_check = 0;  // stays 0 while every Z is finite
};

}  // namespace

static inline void widen(double value, double& low, double& high) {
    low = value < low ? value : low;
    high = value > high ? value : high;
}

template <bool kSwap>
static inline double load_double(const uint8_t* at) {
    return byte_order::load_reversed<double, kSwap>(at);
}

template <bool kSwap>
static inline float load_float(const uint8_t* at) {
    return byte_order::load_reversed<float, kSwap>(at);
}

namespace {

// The area sum runs over offsets from the run's first point, which keeps its
// precision for small rings far from the origin: twice the area is the sum
// of last_dx * dy - dx * last_dy, kept as its two halves, one per lane. An X
// or Y that is NaN or infinite makes a product, and so the sum, NaN or
// infinite (0 * inf is NaN too), so the sum doubles as the finiteness check
// of X and Y.
struct AreaWalk {
    GxPair origin;
    GxPair last = {0, 0};  // offset of the point before
};

// Where the points go, copied out of the GxRunCopy into locals: stores
// through byte pointers may alias anything in memory, so pointers read from
// a struct would be read again after every store.
struct Targets {
    uint8_t* xy;
    uint8_t* z;
    uint8_t* m;
};

}  // namespace

template <bool kSwap>
static inline GxPair load_pair(const uint8_t* at) {
    if (!kSwap) {
        GxPair pair;
        std::memcpy(&pair, at, sizeof pair);
        return pair;
    }
    return GxPair{load_double<kSwap>(at), load_double<kSwap>(at + kGxDoubleBytes)};
}

template <bool kZ, bool kM>
static inline void put_point(RunSums& sums, AreaWalk& area, Targets to, size_t index, GxPair xy,
                             double z, double m) {
    sums.low = xy < sums.low ? xy : sums.low;
    sums.high = xy > sums.high ? xy : sums.high;
    uint8_t* xy_at = to.xy + index * sizeof(GxPair);
    if (byte_order::kHostBigEndian) {
        gx_store_double(xy_at, xy[0]);
        gx_store_double(xy_at + kGxDoubleBytes, xy[1]);
    } else {
        std::memcpy(xy_at, &xy, sizeof xy);
    }
    GxPair offset = xy - area.origin;
    sums.cross += offset * GxPair{area.last[1], area.last[0]};  // dx * last_dy, dy * last_dx
    area.last = offset;
    if (kZ) {
        sums.z_check += z * 0.0;  // NaN for a NaN or infinite z
        widen(z, sums.zmin, sums.zmax);
        gx_store_double(to.z + index * kGxDoubleBytes, z);
    }
    if (kM) {
        // No data (NaN, infinite or below the format's bound) is written as
        // the format's no-data value and stays out of the M range.
        if (std::isfinite(m) && m >= kNoDataMeasureBelow) {
            widen(m, sums.mmin, sums.mmax);
        } else {
            m = kNoDataMeasure;
        }
        gx_store_double(to.m + index * kGxDoubleBytes, m);
    }
}

static void finish_copy(const RunSums& even, const RunSums& odd, GxRunCopy& copy) {
    GxPair low = odd.low < even.low ? odd.low : even.low;
    GxPair high = odd.high > even.high ? odd.high : even.high;
    GxPair cross = even.cross + odd.cross;
    copy.bounds = GxBounds{low[0],
                           low[1],
                           high[0],
                           high[1],
                           odd.zmin < even.zmin ? odd.zmin : even.zmin,
                           odd.zmax > even.zmax ? odd.zmax : even.zmax,
                           odd.mmin < even.mmin ? odd.mmin : even.mmin,
                           odd.mmax > even.mmax ? odd.mmax : even.mmax};
    copy.twice_area = cross[1] - cross[0];
    copy.all_finite = std::isfinite(copy.twice_area) && even.z_check + odd.z_check == 0;
}

template <bool kSwap, bool kZ, bool kM>
static void copy_full_points(const GxPointRun& run, GxRunCopy& copy) {
    constexpr size_t kStride = kGxDoubleBytes * (2 + kZ + kM);
    const uint8_t* const first = run.first;
    const size_t count = run.count;
    const Targets to{copy.xy, copy.z, copy.m};
    AreaWalk area{load_pair<kSwap>(first)};
    RunSums even, odd;
    auto take = [&](RunSums& sums, size_t index) {
        const uint8_t* at = first + index * kStride;
        put_point<kZ, kM>(sums, area, to, index, load_pair<kSwap>(at),
                          kZ ? load_double<kSwap>(at + 2 * kGxDoubleBytes) : 0.0,
                          kM ? load_double<kSwap>(at + (2 + kZ) * kGxDoubleBytes) : 0.0);
    };
    size_t index = 0;
    for (; index + 2 <= count; index += 2) {
        take(even, index);
        take(odd, index + 1);
    }
    if (index < count) {
        take(even, index);
    }
    finish_copy(even, odd, copy);
}

// SpatiaLite's compressed vertices: each float offset adds to the vertex
// before, as decoded (not as stored), the way SpatiaLite itself reads them.
template <bool kSwap, bool kZ, bool kM>
static void copy_compressed_points(const GxPointRun& run, GxRunCopy& copy) {
    const uint8_t* at = run.first;
    const size_t count = run.count;
    const Targets to{copy.xy, copy.z, copy.m};
    AreaWalk area{load_pair<kSwap>(at)};
    RunSums sums;
    double x = 0, y = 0, z = 0, m = 0;
    for (size_t index = 0; index < count; ++index) {
        if (index == 0 || index == count - 1) {
            x = load_double<kSwap>(at);
            y = load_double<kSwap>(at + kGxDoubleBytes);
            at += 2 * kGxDoubleBytes;
            if (kZ) {
                z = load_double<kSwap>(at);
                at += kGxDoubleBytes;
            }
        } else {
            x += load_float<kSwap>(at);
            y += load_float<kSwap>(at + kGxFloatBytes);
            at += 2 * kGxFloatBytes;
            if (kZ) {
                z += load_float<kSwap>(at);
                at += kGxFloatBytes;
            }
        }
        if (kM) {
            m = load_double<kSwap>(at);
            at += kGxDoubleBytes;
        }
        put_point<kZ, kM>(sums, area, to, index, GxPair{x, y}, z, m);
    }
    finish_copy(sums, RunSums{}, copy);
}

template <bool kSwap>
static void copy_in_order(const GxPointRun& run, GxRunCopy& copy) {
    const bool z = run.layout.has_z;
    const bool m = run.layout.has_m;
    if (run.layout.compressed) {
        return z ? (m ? copy_compressed_points<kSwap, true, true>(run, copy)
                      : copy_compressed_points<kSwap, true, false>(run, copy))
                 : (m ? copy_compressed_points<kSwap, false, true>(run, copy)
                      : copy_compressed_points<kSwap, false, false>(run, copy));
    }
    return z ? (m ? copy_full_points<kSwap, true, true>(run, copy)
                  : copy_full_points<kSwap, true, false>(run, copy))
             : (m ? copy_full_points<kSwap, false, true>(run, copy)
                  : copy_full_points<kSwap, false, false>(run, copy));
}

// Twice the signed area again, on coordinates scaled down by 2^kGxAreaScale so that
// no product overflows: only for runs whose plain sum was not finite although
// every coordinate is (values beyond about 1e154).
static double scaled_twice_area(const GxRunCopy& copy, uint32_t count) {
    auto coordinate = [&](uint32_t index, int axis) {
        double value = gx_load_double(copy.xy + (2 * index + axis) * kGxDoubleBytes, false);
        return std::ldexp(value, kGxAreaScale);
    };
    double twice = 0;
    for (uint32_t index = 0; index + 1 < count; ++index) {
        twice += (coordinate(index, 0) - coordinate(0, 0)) *
                     (coordinate(index + 1, 1) - coordinate(0, 1)) -
                 (coordinate(index + 1, 0) - coordinate(0, 0)) *
                     (coordinate(index, 1) - coordinate(0, 1));
    }
    return twice;
}

void gx_copy_run(const GxPointRun& run, GxRunCopy& copy) {
    if (run.layout.big_endian != byte_order::kHostBigEndian) {
        copy_in_order<true>(run, copy);
    } else {
        copy_in_order<false>(run, copy);
    }
    if (!copy.all_finite && gx_first_not_finite(copy, run.count, nullptr, nullptr) < 0) {
        copy.all_finite = true;
        copy.twice_area = scaled_twice_area(copy, run.count);
        copy.area_scaled = true;
    }
}

int gx_first_not_finite(const GxRunCopy& copy, uint32_t count, uint32_t* index, bool* is_nan) {
    for (uint32_t point = 0; point < count; ++point) {
        const double values[3] = {
            gx_load_double(copy.xy + point * 2 * kGxDoubleBytes, false),
            gx_load_double(copy.xy + point * 2 * kGxDoubleBytes + kGxDoubleBytes, false),
            copy.z ? gx_load_double(copy.z + point * kGxDoubleBytes, false) : 0.0};
        for (int axis = 0; axis < 3; ++axis) {
            if (!std::isfinite(values[axis])) {
                if (index != nullptr) {
                    *index = point;
                    *is_nan = std::isnan(values[axis]);
                }
                return axis;
            }
        }
    }
    return -1;
}

void gx_reverse_points(GxRunCopy& copy, uint32_t count) {
    constexpr size_t kXYBytes = 2 * kGxDoubleBytes;
    for (uint32_t low = 0, high = count - 1; low < high; ++low, --high) {
        uint8_t swap[kXYBytes];
        std::memcpy(swap, copy.xy + low * kXYBytes, kXYBytes);
        std::memcpy(copy.xy + low * kXYBytes, copy.xy + high * kXYBytes, kXYBytes);
        std::memcpy(copy.xy + high * kXYBytes, swap, kXYBytes);
        for (uint8_t* values : {copy.z, copy.m}) {
            if (values) {
                std::memcpy(swap, values + low * kGxDoubleBytes, kGxDoubleBytes);
                std::memcpy(values + low * kGxDoubleBytes, values + high * kGxDoubleBytes,
                            kGxDoubleBytes);
                std::memcpy(values + high * kGxDoubleBytes, swap, kGxDoubleBytes);
            }
        }
    }
}

uint32_t gx_close_ring(GxRunCopy& copy, uint32_t count) {
    constexpr size_t kXYBytes = 2 * kGxDoubleBytes;
    const uint8_t* last = copy.xy + (count - 1) * kXYBytes;
    if (gx_load_double(copy.xy, false) == gx_load_double(last, false) &&
        gx_load_double(copy.xy + kGxDoubleBytes, false) ==
            gx_load_double(last + kGxDoubleBytes, false)) {
        return count;
    }
    std::memcpy(copy.xy + count * kXYBytes, copy.xy, kXYBytes);
    for (uint8_t* values : {copy.z, copy.m}) {
        if (values) {
            std::memcpy(values + count * kGxDoubleBytes, values, kGxDoubleBytes);
        }
    }
    return count + 1;
}
