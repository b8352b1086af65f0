// The numbers of WKB and EWKB that more than one reader of geometry blobs
// needs: the byte-order byte, the type word's dimensions and flags, the
// sizes of a header, a count and an SRID.

#ifndef OSTREL_GX_WKB_FORMAT_H
#define OSTREL_GX_WKB_FORMAT_H

#include <cstddef>
#include <cstdint>

// WKB type word: ISO codes count dimensions in thousands (1003 PolygonZ);
// EWKB keeps the base code and sets flags in the high bits.
constexpr uint32_t kEwkbZFlag = 0x80000000;
constexpr uint32_t kEwkbMFlag = 0x40000000;
constexpr uint32_t kEwkbSridFlag = 0x20000000;
constexpr uint32_t kEwkbUnusedBit = 0x10000000;
constexpr uint32_t kEwkbCodeMask = 0x0FFFFFFF;
constexpr uint32_t kIsoDimensionStep = 1000;  // +1000 Z, +2000 M, +3000 ZM
constexpr uint32_t kIsoZ = 1;
constexpr uint32_t kIsoM = 2;
constexpr uint32_t kIsoZM = 3;

constexpr uint8_t kWkbBigEndian = 0;
constexpr uint8_t kWkbLittleEndian = 1;
constexpr size_t kWkbHeaderBytes = 1 + 4;
constexpr size_t kWkbCountBytes = 4;
constexpr size_t kSridBytes = 4;

#endif
