// The calibration record kept in the camera's flash: big-endian, at 0x1FBC, no magic or checksum.
#pragma once
#include <cstdint>

#include "MultiIRLight.h"

constexpr uint16_t kFlashRecordAddress = 0x1FBC;
constexpr int kFlashReadBytes = 110;
constexpr int kFlashWriteBytes = 120;
constexpr uint32_t kFlashMaxPoints = 25;  // what the 110 bytes read back can hold

// The decoded copy held per camera.
struct FlashCalibration {
    uint32_t screenIndex = 0;
    uint32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t pointCount = 0;
    uint32_t x[36] = {};
    uint32_t y[36] = {};
};

// Moves the rectangle, screen index and the record's points into the copy; the point count and any
// points past the record's count stay as they were.
void CopyToFlash(const _SCalibration& cal, FlashCalibration& copy);
// The copy's screen index, count, rectangle and points into the record (its type is left alone).
void CopyFromFlash(const FlashCalibration& copy, _SCalibration& cal);

// Encodes the copy into the 120 written bytes. Counts above what the flash can give back are
// refused (false), so a record is never written that would read back as a different calibration.
bool EncodeFlashRecord(const FlashCalibration& copy, uint8_t (&out)[kFlashWriteBytes]);
// Decodes `pointCount` points (the configured count; the record does not say). False when the
// count is 0 or more than the record holds.
bool DecodeFlashRecord(const uint8_t (&in)[kFlashReadBytes], uint32_t pointCount, FlashCalibration& copy);
