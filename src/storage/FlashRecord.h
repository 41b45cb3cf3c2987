// The calibration record kept in the camera's flash: big-endian, at 0x1FBC, no magic or checksum.
// Bytes past the last point carry the camera it was written for (kCameraTagAt): the flash store
// cannot tell cameras apart, so with several cameras a record must say whose it is.
#pragma once
#include <cstdint>
#include <string>

#include "MultiIRLight.h"

constexpr uint16_t kFlashRecordAddress = 0x1FBC;
constexpr int kFlashReadBytes = 120;  // the whole record: the camera tag lies past the 25th point
constexpr int kFlashWriteBytes = 120;
constexpr uint32_t kFlashMaxPoints = 25;  // what the record can hold before the tag
constexpr int kCameraTagAt = 110;

// The decoded copy held per camera.
struct FlashCalibration {
    uint32_t screenIndex = 0;
    uint32_t left = 0, top = 0, width = 0, height = 0;
    uint32_t pointCount = 0;
    uint32_t x[36] = {};
    uint32_t y[36] = {};
    uint32_t cameraTag = 0;  // 0: a record that names no camera (written before records named theirs)
};

// A camera's tag, from its device path (never 0).
uint32_t FlashCameraTag(const std::string& devicePath);

// Moves the rectangle, screen index and the record's points into the copy; the point count and any
// points past the record's count stay as they were.
void CopyToFlash(const _SCalibration& cal, FlashCalibration& copy);
// The copy's screen index, count, rectangle and points into the record (its type is left alone).
void CopyFromFlash(const FlashCalibration& copy, _SCalibration& cal);

// Encodes the copy into the written bytes. Counts above what the flash can give back are refused
// (false), so a record is never written that would read back as a different calibration.
bool EncodeFlashRecord(const FlashCalibration& copy, uint8_t (&out)[kFlashWriteBytes]);
// Decodes as many points as the record was written with (its first byte): a record made for another
// point count than the one configured now is read as what it is, never as a grid it is not. False
// when that count is no grid the record can hold (an erased or foreign record).
bool DecodeFlashRecord(const uint8_t (&in)[kFlashReadBytes], FlashCalibration& copy);
