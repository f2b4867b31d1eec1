#pragma once
// Test seam: the reader's private state, for tests that check the read and close steps one by
// one, and for standing another handle (a pipe) in for a device. The program never uses it.
#include <cstdint>
#include <vector>

#include "reader/card_reader.h"

namespace ostrel {

struct CardReaderTestAccess {
    static bool ReadPending(const CardReader& reader) { return reader.ReadPending; }
    static EventHandle ReadEvent(const CardReader& reader) { return reader.ReadEvent; }
    static PreparsedData HeldPreparsedData(const CardReader& reader) {
        return reader.PreparsedData;
    }
    static uint16_t InputReportByteLength(const CardReader& reader) {
        return reader.ReaderCaps.InputReportByteLength;
    }
    static const CardBytes& InputReport(const CardReader& reader) { return reader.InputReport; }
    static const Overlapped& ReadOverlapped(const CardReader& reader) {
        return reader.ReadOverlapped;
    }
    // 0 for a usage that never had a buffer.
    static size_t UsageBufferSize(const CardReader& reader, uint16_t usage) {
        const auto found = reader.UsageBuffer.find(usage);
        return found == reader.UsageBuffer.end() ? 0 : found->second.size();
    }
    // The bytes of a usage's buffer; empty for a usage that never had one.
    static std::vector<uint8_t> UsageBuffer(const CardReader& reader, uint16_t usage) {
        const auto found = reader.UsageBuffer.find(usage);
        if (found == reader.UsageBuffer.end()) return {};
        return std::vector<uint8_t>(found->second.begin(), found->second.end());
    }
    // Takes handle as the open reader, with input reports of reportLength bytes.
    static void Adopt(CardReader& reader, FileHandle handle, uint16_t reportLength) {
        reader.ReaderHandle = handle;
        reader.ReaderCaps.InputReportByteLength = reportLength;
        reader.InputReport.assign(reportLength, 0);
    }
};

}  // namespace ostrel
