#pragma once
// Test seam: the reader's private state, for tests that check the read and close steps one by
// one, and for standing another handle (a pipe) in for a device. The program never uses it.
#include <cstdint>
#include <string>
#include <utility>
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
    // Every buffer of the reader's that holds card data, by name, with its bytes' address
    // (nullptr for one that holds none).
    static std::vector<std::pair<std::string, const void*>> CardBuffers(const CardReader& reader) {
        std::vector<std::pair<std::string, const void*>> buffers{
            {"input report", reader.InputReport.data()}};
        for (const auto& [usage, buffer] : reader.UsageBuffer)
            buffers.emplace_back("usage " + std::to_string(usage), buffer.data());
        const SwipeRecord& s = reader.swipe_;
        for (const auto& [name, track] :
             {std::pair{"Tk1Data", &s.Tk1Data}, {"Tk2Data", &s.Tk2Data}, {"Tk3Data", &s.Tk3Data},
              {"MTk1Data", &s.MTk1Data}, {"MTk2Data", &s.MTk2Data}, {"MTk3Data", &s.MTk3Data}}) {
            buffers.emplace_back(name, track->data());
        }
        return buffers;
    }
    // Takes handle as the open reader, with input reports of reportLength bytes.
    static void Adopt(CardReader& reader, FileHandle handle, uint16_t reportLength) {
        reader.ReaderHandle = handle;
        reader.ReaderCaps.InputReportByteLength = reportLength;
        reader.InputReport.assign(reportLength, 0);
    }
};

}  // namespace ostrel
